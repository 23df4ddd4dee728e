#include "insight/SnapshotComparison.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace torvane {

namespace {

std::string_view view(const QByteArray& bytes)
{
    return std::string_view(bytes.constData(), std::size_t(bytes.size()));
}

// The snapshots come in byte order from the walk; one read from a file might not.
std::vector<std::uint32_t> byteOrder(const std::vector<SnapshotFolder>& folders)
{
    std::vector<std::uint32_t> order(folders.size());
    std::iota(order.begin(), order.end(), 0u);
    const auto less = [&](std::uint32_t a, std::uint32_t b) { return folders[a].path < folders[b].path; };
    if (!std::is_sorted(order.begin(), order.end(), less))
        std::stable_sort(order.begin(), order.end(), less);
    return order;
}

std::uint64_t sizeOf(const SnapshotFolder& folder, SizeKind kind)
{
    return kind == SizeKind::Apparent ? folder.apparent : folder.allocated;
}

} // namespace

std::int64_t FolderChange::change() const
{
    constexpr auto top = std::uint64_t(std::numeric_limits<std::int64_t>::max());
    const std::uint64_t m = std::min(magnitude(), top);
    return newSize >= oldSize ? std::int64_t(m) : -std::int64_t(m);
}

std::uint64_t FolderChange::magnitude() const
{
    return newSize >= oldSize ? newSize - oldSize : oldSize - newSize;
}

SnapshotComparison::SnapshotComparison(const Snapshot& older, const Snapshot& newer, SizeKind kind)
{
    merge(older, newer, kind);
    linkParents();
    markListed();
    indexChildren();
}

void SnapshotComparison::merge(const Snapshot& older, const Snapshot& newer, SizeKind kind)
{
    // The root is always entry 0, even when a damaged snapshot lacks it.
    entries_.reserve(std::max(older.folders.size(), newer.folders.size()) + 1);
    entries_.emplace_back();
    const std::vector<std::uint32_t> oldOrder = byteOrder(older.folders);
    const std::vector<std::uint32_t> newOrder = byteOrder(newer.folders);
    std::size_t o = 0, n = 0;
    while (o < oldOrder.size() || n < newOrder.size()) {
        const SnapshotFolder* before = o < oldOrder.size() ? &older.folders[oldOrder[o]] : nullptr;
        const SnapshotFolder* after = n < newOrder.size() ? &newer.folders[newOrder[n]] : nullptr;
        if (before && after) {
            if (before->path < after->path)
                after = nullptr;
            else if (after->path < before->path)
                before = nullptr;
        }
        const QByteArray& path = before ? before->path : after->path;
        // A path listed twice in one snapshot counts once, with its first sizes.
        if (before)
            while (o < oldOrder.size() && older.folders[oldOrder[o]].path == path)
                ++o;
        if (after)
            while (n < newOrder.size() && newer.folders[newOrder[n]].path == path)
                ++n;
        Entry& entry = path.isEmpty() ? entries_.front() : entries_.emplace_back();
        entry.path = path;
        entry.inOld = before != nullptr;
        entry.inNew = after != nullptr;
        entry.oldSize = before ? sizeOf(*before, kind) : 0;
        entry.newSize = after ? sizeOf(*after, kind) : 0;
    }
    Entry& root = entries_.front();
    if (!root.inOld && !root.inNew)
        root.inOld = root.inNew = true;
}

void SnapshotComparison::linkParents()
{
    byPath_.reserve(entries_.size());
    for (std::uint32_t i = 0; i < entries_.size(); ++i)
        byPath_.emplace(view(entries_[i].path), i);
    // A folder's parent is its nearest ancestor in either snapshot, the root when there is none.
    for (std::uint32_t i = 1; i < entries_.size(); ++i) {
        Entry& entry = entries_[i];
        const std::string_view path = view(entry.path);
        for (std::size_t slash = path.rfind('/'); slash != std::string_view::npos && slash > 0;
             slash = path.rfind('/', slash - 1)) {
            const auto found = byPath_.find(path.substr(0, slash));
            if (found != byPath_.end()) {
                entry.parent = found->second;
                entry.nameAt = std::uint32_t(slash + 1);
                break;
            }
        }
    }
}

void SnapshotComparison::markListed()
{
    for (std::uint32_t i = 1; i < entries_.size(); ++i) {
        Entry& entry = entries_[i];
        if (entry.inOld == entry.inNew && entry.oldSize == entry.newSize)
            continue;
        entry.listed = true;
        // Up to the first ancestor already marked: each folder is marked once, O(n) in all.
        for (std::uint32_t up = entry.parent;; up = entries_[up].parent) {
            Entry& ancestor = entries_[up];
            if (ancestor.hasListedChild)
                break;
            ancestor.hasListedChild = true;
            if (up == 0)
                break;
            ancestor.listed = true;
        }
    }
}

void SnapshotComparison::indexChildren()
{
    childrenAt_.assign(entries_.size() + 1, 0);
    for (std::uint32_t i = 1; i < entries_.size(); ++i)
        if (entries_[i].listed)
            ++childrenAt_[entries_[i].parent + 1];
    std::partial_sum(childrenAt_.begin(), childrenAt_.end(), childrenAt_.begin());
    children_.resize(childrenAt_.back());
    std::vector<std::uint32_t> fill(childrenAt_.begin(), childrenAt_.end() - 1);
    for (std::uint32_t i = 1; i < entries_.size(); ++i)
        if (entries_[i].listed)
            children_[fill[entries_[i].parent]++] = i;

    const auto larger = [this](std::uint32_t a, std::uint32_t b) {
        const Entry& x = entries_[a];
        const Entry& y = entries_[b];
        const std::uint64_t mx = x.newSize >= x.oldSize ? x.newSize - x.oldSize : x.oldSize - x.newSize;
        const std::uint64_t my = y.newSize >= y.oldSize ? y.newSize - y.oldSize : y.oldSize - y.newSize;
        return mx != my ? mx > my : a < b;   // entries are in byte order already
    };
    for (std::size_t p = 0; p + 1 < childrenAt_.size(); ++p)
        if (childrenAt_[p + 1] - childrenAt_[p] > 1)
            std::sort(children_.begin() + childrenAt_[p], children_.begin() + childrenAt_[p + 1], larger);
}

FolderChange SnapshotComparison::changeOf(std::uint32_t index) const
{
    const Entry& entry = entries_[index];
    FolderChange change;
    change.path = entry.path;
    change.name = entry.path.mid(entry.nameAt);
    change.oldSize = entry.oldSize;
    change.newSize = entry.newSize;
    change.kind = entry.inOld == entry.inNew ? FolderChange::Kind::Changed
                  : entry.inNew             ? FolderChange::Kind::New
                                            : FolderChange::Kind::Gone;
    change.hasChangedChildren = entry.hasListedChild;
    return change;
}

FolderChange SnapshotComparison::total() const
{
    return changeOf(0);
}

std::optional<FolderChange> SnapshotComparison::find(const QByteArray& path) const
{
    const auto found = byPath_.find(view(path));
    if (found == byPath_.end())
        return std::nullopt;
    return changeOf(found->second);
}

std::vector<FolderChange> SnapshotComparison::children(const QByteArray& path) const
{
    std::vector<FolderChange> out;
    const auto found = byPath_.find(view(path));
    if (found == byPath_.end())
        return out;
    const std::uint32_t from = childrenAt_[found->second], to = childrenAt_[found->second + 1];
    out.reserve(to - from);
    for (std::uint32_t c = from; c < to; ++c)
        out.push_back(changeOf(children_[c]));
    return out;
}

} // namespace torvane
