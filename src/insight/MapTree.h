#pragma once

#include "fs/FileSystem.h"

#include <QByteArray>

#include <cstdint>
#include <span>
#include <vector>

namespace torvane {

// The scanned volume as the map draws it: folders, the large files the walk listed, and one
// "other files" entry per folder for the rest of its own files. Built once per scan; nodes are
// numbered, and a folder's children are kept largest first, so laying out never sorts.
class MapTree {
public:
    enum class Kind : std::uint8_t { Folder, File, OtherFiles };

    struct Node {
        std::uint64_t size = 0;
        std::int32_t parent = -1;
        std::uint32_t firstChild = 0;   // into the children table
        std::uint32_t childCount = 0;
        std::uint32_t nameOffset = 0;   // into the name pool
        std::uint32_t nameLength = 0;
        Kind kind = Kind::Folder;
        bool removed = false;
    };

    MapTree() = default;
    // Folders in byte order of their paths (the root "" among them); files with absolute paths
    // below mountPath (others are left out). `allocated` picks the size on disk.
    MapTree(const QByteArray& mountPath, const std::vector<IndexedFolder>& folders,
            const std::vector<LargeFile>& files, bool allocated);

    bool empty() const { return nodes_.empty(); }
    int root() const { return nodes_.empty() ? -1 : 0; }
    int nodeCount() const { return int(nodes_.size()); }
    const Node& node(int index) const { return nodes_[std::size_t(index)]; }
    std::span<const std::int32_t> children(int index) const;
    QByteArray name(int index) const;
    int depth(int index) const;

    QByteArray mountPath() const { return mount_; }
    // The path of a folder or file node; "other files" has its folder's path.
    QByteArray absolutePath(int index) const;
    // The folder a tile stands for: the node itself, or the folder holding a file.
    int folderOf(int index) const;
    // The node at an absolute path, or -1.
    int find(const QByteArray& absolutePath) const;
    // The folder at the path or its nearest ancestor in the tree; -1 outside the volume.
    int nearestFolder(const QByteArray& absolutePath) const;
    bool isAncestor(int ancestor, int index) const;

    // Drops a node (not the root) and its subtree: its ancestors lose its size and keep their
    // children largest first. Returns false when there is nothing to drop.
    bool remove(int index);

private:
    int addNode(int parent, Kind kind, std::uint64_t size, const char* name, qsizetype length);
    // Largest first; equal sizes in the order they were read, so the map never shuffles.
    bool comesFirst(int a, int b) const;
    void restoreOrder(int child);

    QByteArray mount_;
    std::vector<Node> nodes_;
    std::vector<std::int32_t> children_;
    QByteArray names_;
};

} // namespace torvane
