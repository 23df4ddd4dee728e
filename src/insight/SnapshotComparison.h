#pragma once

#include "insight/Snapshot.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace torvane {

enum class SizeKind { Apparent, Allocated };

// One folder as it changed between two snapshots.
struct FolderChange {
    enum class Kind { Changed, New, Gone };
    QByteArray path;   // below the volume, as in the snapshots
    QByteArray name;   // the path below the parent it is listed under
    std::uint64_t oldSize = 0;   // 0 for a new folder
    std::uint64_t newSize = 0;   // 0 for a gone folder
    Kind kind = Kind::Changed;
    bool hasChangedChildren = false;

    // newSize - oldSize, held at the ends of the range where it does not fit.
    std::int64_t change() const;
    std::uint64_t magnitude() const;
};

// Two snapshots of one volume side by side. A folder is listed when its size changed, when it is
// new or gone, or when something below it is listed (a rename inside it changes no size). Built
// once in O(n log n), on any thread; after that every question is a lookup.
class SnapshotComparison {
public:
    SnapshotComparison(const Snapshot& older, const Snapshot& newer, SizeKind kind);

    // The volume's root: its total change.
    FolderChange total() const;
    // The listed children of the folder at `path`, largest change first (ties in byte order).
    std::vector<FolderChange> children(const QByteArray& path) const;
    std::optional<FolderChange> find(const QByteArray& path) const;
    // Listed folders, the root not counted.
    std::size_t listedCount() const { return children_.size(); }

private:
    struct Entry {
        QByteArray path;
        std::uint64_t oldSize = 0;
        std::uint64_t newSize = 0;
        std::uint32_t parent = 0;
        std::uint32_t nameAt = 0;
        bool inOld = false;
        bool inNew = false;
        bool listed = false;
        bool hasListedChild = false;
    };

    void merge(const Snapshot& older, const Snapshot& newer, SizeKind kind);
    void linkParents();
    void markListed();
    void indexChildren();
    FolderChange changeOf(std::uint32_t index) const;

    std::vector<Entry> entries_;   // byte order of paths, the root first
    std::unordered_map<std::string_view, std::uint32_t> byPath_;
    std::vector<std::uint32_t> childrenAt_;   // per entry, where its children start in children_
    std::vector<std::uint32_t> children_;
};

} // namespace torvane
