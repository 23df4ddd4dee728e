#include "insight/MapTree.h"

#include "fs/Keys.h"

#include <algorithm>
#include <string_view>

namespace torvane {

namespace {

std::string_view viewOf(const QByteArray& bytes)
{
    return {bytes.constData(), std::size_t(bytes.size())};
}

// The folder holding an entry, given the entry's path below the volume: what is left when its
// last component and the separator before it are taken off ("" for a top-level entry).
std::string_view parentOf(std::string_view path, qsizetype nameLength)
{
    const std::size_t keep = path.size() > std::size_t(nameLength) ? path.size() - std::size_t(nameLength) - 1 : 0;
    return path.substr(0, keep);
}

// The folders in byte order of their paths, as the index hands them over (anything else is
// sorted here, once). Node numbers follow this order, so the root comes first.
class SortedFolders {
public:
    explicit SortedFolders(const std::vector<IndexedFolder>& folders)
    {
        entries_.reserve(folders.size());
        for (const IndexedFolder& folder : folders)
            entries_.push_back({viewOf(folder.path), &folder});
        const auto less = [](const Entry& a, const Entry& b) { return a.path < b.path; };
        if (!std::is_sorted(entries_.begin(), entries_.end(), less))
            std::stable_sort(entries_.begin(), entries_.end(), less);
        // A path listed twice is one folder: the first says its size.
        const auto same = [](const Entry& a, const Entry& b) { return a.path == b.path; };
        entries_.erase(std::unique(entries_.begin(), entries_.end(), same), entries_.end());
    }

    std::size_t size() const { return entries_.size(); }
    std::string_view path(std::size_t i) const { return entries_[i].path; }
    const IndexedFolder& folder(std::size_t i) const { return *entries_[i].folder; }

    // The position of the first folder with the path, or -1.
    std::int32_t find(std::string_view path) const
    {
        const auto it = std::lower_bound(entries_.begin(), entries_.end(), path,
                                         [](const Entry& e, std::string_view p) { return e.path < p; });
        return it != entries_.end() && it->path == path ? std::int32_t(it - entries_.begin()) : -1;
    }

private:
    struct Entry {
        std::string_view path;
        const IndexedFolder* folder;
    };
    std::vector<Entry> entries_;
};

} // namespace

int MapTree::addNode(int parent, Kind kind, std::uint64_t size, const char* name, qsizetype length)
{
    Node node;
    node.size = size;
    node.parent = parent;
    node.kind = kind;
    node.nameOffset = std::uint32_t(names_.size());
    node.nameLength = std::uint32_t(length);
    names_.append(name, length);
    nodes_.push_back(node);
    return int(nodes_.size()) - 1;
}

MapTree::MapTree(const QByteArray& mountPath, const std::vector<IndexedFolder>& folders,
                 const std::vector<LargeFile>& files, bool allocated)
    : mount_(mountPath)
{
    if (folders.empty())
        return;
    const auto sizeOf = [allocated](std::uint64_t apparent, std::uint64_t onDisk) { return allocated ? onDisk : apparent; };
    nodes_.reserve(folders.size() * 2 + files.size() + 1);

    const SortedFolders sorted(folders);
    const bool rootListed = sorted.path(0).empty();
    const int firstFolder = rootListed ? 0 : 1;
    if (!rootListed)
        addNode(-1, Kind::Folder, 0, "", 0);
    std::vector<std::string_view> parentPaths(sorted.size());
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const IndexedFolder& folder = sorted.folder(i);
        const QByteArray name = lastComponent(folder.path);
        parentPaths[i] = parentOf(sorted.path(i), name.size());
        addNode(-1, Kind::Folder, sizeOf(folder.sizes.apparent, folder.sizes.allocated), name.constData(), name.size());
    }
    const auto nodeAt = [&](std::string_view path) {
        if (path.empty())
            return 0;
        const std::int32_t at = sorted.find(path);
        return at < 0 ? -1 : firstFolder + at;
    };
    const auto pathOfNode = [&](int node) { return node < firstFolder ? std::string_view() : sorted.path(std::size_t(node - firstFolder)); };

    // In byte order a folder nearly always comes right after its parent or a sibling's subtree,
    // so the chain of ancestors of the folder before answers most look-ups without a search.
    std::vector<std::int32_t> chain{0};
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const int index = firstFolder + int(i);
        if (index == 0)
            continue;
        const std::string_view parentPath = parentPaths[i];
        while (chain.size() > 1 && !parentPath.starts_with(pathOfNode(chain.back())))
            chain.pop_back();
        std::int32_t parent = pathOfNode(chain.back()) == parentPath ? chain.back() : nodeAt(parentPath);
        // A folder whose parent the index lacks still belongs to the volume: it hangs from the root.
        if (parent < 0)
            parent = 0;
        nodes_[std::size_t(index)].parent = parent;
        if (parent != chain.back()) {
            chain.clear();
            for (int at = parent; at >= 0; at = nodes_[std::size_t(at)].parent)
                chain.push_back(at);
            std::reverse(chain.begin(), chain.end());
        }
        chain.push_back(index);
    }

    const QByteArray volumeKey = driveKey(mountPath);
    for (const LargeFile& file : files) {
        const std::uint64_t size = sizeOf(file.apparent, file.allocated);
        if (size == 0 || !file.path.startsWith(volumeKey) || file.path.size() == volumeKey.size())
            continue;
        const QByteArray name = lastComponent(file.path);
        const std::string_view below = viewOf(file.path).substr(std::size_t(volumeKey.size()));
        const int folder = nodeAt(parentOf(below, name.size()));
        if (folder >= 0)
            addNode(folder, Kind::File, size, name.constData(), name.size());
    }

    const std::size_t listed = nodes_.size();
    std::vector<std::uint64_t> childSums(listed, 0);
    for (std::size_t i = 1; i < listed; ++i)
        childSums[std::size_t(nodes_[i].parent)] += nodes_[i].size;
    if (!rootListed)
        nodes_[0].size = childSums[0];
    static constexpr char otherName[] = "other files";
    for (std::size_t i = 0; i < listed; ++i) {
        if (nodes_[i].kind == Kind::Folder && nodes_[i].size > childSums[i])
            addNode(int(i), Kind::OtherFiles, nodes_[i].size - childSums[i], otherName, qsizetype(sizeof otherName - 1));
    }

    // Children as one table, each folder's run largest first.
    for (std::size_t i = 1; i < nodes_.size(); ++i)
        ++nodes_[std::size_t(nodes_[i].parent)].childCount;
    std::uint32_t offset = 0;
    for (Node& node : nodes_) {
        node.firstChild = offset;
        offset += node.childCount;
        node.childCount = 0;
    }
    children_.resize(offset);
    for (std::size_t i = 1; i < nodes_.size(); ++i) {
        Node& parent = nodes_[std::size_t(nodes_[i].parent)];
        children_[parent.firstChild + parent.childCount++] = std::int32_t(i);
    }
    const auto larger = [this](std::int32_t a, std::int32_t b) { return comesFirst(a, b); };
    for (const Node& node : nodes_)
        std::sort(children_.begin() + node.firstChild, children_.begin() + node.firstChild + node.childCount, larger);
}

std::span<const std::int32_t> MapTree::children(int index) const
{
    const Node& n = node(index);
    return {children_.data() + n.firstChild, n.childCount};
}

QByteArray MapTree::name(int index) const
{
    const Node& n = node(index);
    return names_.mid(n.nameOffset, n.nameLength);
}

int MapTree::depth(int index) const
{
    int depth = 0;
    for (int at = node(index).parent; at >= 0; at = node(at).parent)
        ++depth;
    return depth;
}

QByteArray MapTree::absolutePath(int index) const
{
    if (node(index).kind == Kind::OtherFiles)
        index = node(index).parent;
    std::vector<int> chain;
    for (int at = index; at > 0; at = node(at).parent)
        chain.push_back(at);
    QByteArray path = mount_;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        path = joinPath(path, name(*it));
    return path;
}

int MapTree::folderOf(int index) const
{
    return node(index).kind == Kind::Folder ? index : node(index).parent;
}

int MapTree::nearestFolder(const QByteArray& absolutePath) const
{
    if (empty())
        return -1;
    const QByteArray volumeKey = driveKey(mount_);
    if (absolutePath == mount_ || absolutePath == volumeKey)
        return 0;
    if (!absolutePath.startsWith(volumeKey))
        return -1;
    // The components from the top down, found by taking the last one off each time.
    std::vector<QByteArray> names;
    for (QByteArray rest = absolutePath.mid(volumeKey.size()); !rest.isEmpty();) {
        names.push_back(lastComponent(rest));
        const std::string_view up = parentOf(viewOf(rest), names.back().size());
        rest = QByteArray(up.data(), qsizetype(up.size()));
    }
    int at = 0;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        int next = -1;
        for (const std::int32_t child : children(at)) {
            if (node(child).kind == Kind::Folder && name(child) == *it) {
                next = child;
                break;
            }
        }
        if (next < 0)
            return at;
        at = next;
    }
    return at;
}

int MapTree::find(const QByteArray& absolutePath) const
{
    const int folder = nearestFolder(absolutePath);
    if (folder < 0)
        return -1;
    const QByteArray folderPath = this->absolutePath(folder);
    if (folderPath == absolutePath || (folder == 0 && absolutePath == driveKey(mount_)))
        return folder;
    // Not a folder: perhaps one of its listed files.
    for (const std::int32_t child : children(folder)) {
        if (node(child).kind == Kind::File && joinPath(folderPath, name(child)) == absolutePath)
            return child;
    }
    return -1;
}

bool MapTree::isAncestor(int ancestor, int index) const
{
    for (int at = index; at >= 0; at = node(at).parent) {
        if (at == ancestor)
            return true;
    }
    return false;
}

bool MapTree::comesFirst(int a, int b) const
{
    const std::uint64_t sa = node(a).size, sb = node(b).size;
    return sa != sb ? sa > sb : a < b;
}

void MapTree::restoreOrder(int child)
{
    const Node& parent = node(node(child).parent);
    std::int32_t* run = children_.data() + parent.firstChild;
    std::uint32_t pos = 0;
    while (pos < parent.childCount && run[pos] != child)
        ++pos;
    // The child only shrank, so it can only move towards the small end.
    for (; pos + 1 < parent.childCount && comesFirst(run[pos + 1], run[pos]); ++pos)
        std::swap(run[pos], run[pos + 1]);
}

bool MapTree::remove(int index)
{
    if (index <= 0 || index >= nodeCount() || node(index).removed)
        return false;
    const std::uint64_t size = node(index).size;
    Node& parent = nodes_[std::size_t(node(index).parent)];
    std::int32_t* run = children_.data() + parent.firstChild;
    std::int32_t* end = run + parent.childCount;
    std::int32_t* it = std::find(run, end, index);
    if (it == end)
        return false;
    std::copy(it + 1, end, it);
    --parent.childCount;
    nodes_[std::size_t(index)].removed = true;
    for (int at = node(index).parent; at >= 0; at = node(at).parent) {
        Node& ancestor = nodes_[std::size_t(at)];
        ancestor.size = ancestor.size > size ? ancestor.size - size : 0;
        if (at > 0)
            restoreOrder(at);
    }
    return true;
}

} // namespace torvane
