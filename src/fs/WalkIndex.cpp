// The walk's compact index: each folder's node, its name in the name arena, paths, and the public
// lookups answered from it.

#include "fs/WalkImpl.h"

#include <algorithm>
#include <cstring>

namespace torvane {

namespace {

using walkimpl::kKeepAtime;
using walkimpl::kListed;
using walkimpl::kLongName;
using walkimpl::kMountPoint;
using walkimpl::Node;
using walkimpl::Scratch;
using walkimpl::Segmented;

} // namespace

std::string_view Walk::Impl::nameOf(std::uint32_t id) const
{
    const Node& n = node(id);
    const char* p = names_.at(n.nameOffset);
    if (n.nameLength != kLongName)
        return {p, n.nameLength};
    std::uint16_t len = 0;
    std::memcpy(&len, p, sizeof len);
    return {p + sizeof len, len};
}

std::string Walk::Impl::pathOf(std::uint32_t id) const
{
    std::vector<std::uint32_t> chain;
    for (std::uint32_t i = id; i != 0; i = node(i).parent)
        chain.push_back(i);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty())
            path += '/';
        path += nameOf(*it);
    }
    return path;
}

std::uint32_t Walk::Impl::addChildren(std::uint32_t parent, const Scratch& scratch,
                                      const std::vector<std::uint32_t>& order)
{
    std::lock_guard lock(indexMutex_);
    const std::uint32_t first = nodeCount_;
    nodes_.reserve(std::uint64_t(first) + order.size());
    accessTimes_.reserve(std::uint64_t(first) + order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const walkimpl::Subfolder& sub = scratch.subfolders[order[i]];
        const std::uint32_t offset = sub.offset;
        const std::uint32_t length = sub.length;
        const std::uint64_t need = length + (length >= kLongName ? 2 : 0);
        if (Segmented<char, 16>::segmentEnd(nameEnd_) - nameEnd_ < need && nameEnd_ != 0)
            nameEnd_ = Segmented<char, 16>::segmentEnd(nameEnd_);
        names_.reserve(nameEnd_ + need);
        Node* n = new (nodes_.at(first + i)) Node;
        *accessTimes_.at(first + i) = sub.accessTime;
        n->parent = parent;
        if (sub.keepAtime)
            n->flags = kKeepAtime;
        n->nameOffset = std::uint32_t(nameEnd_);
        char* dest = names_.at(nameEnd_);
        if (length >= kLongName) {
            const std::uint16_t len16 = std::uint16_t(length);
            std::memcpy(dest, &len16, sizeof len16);
            dest += sizeof len16;
            n->nameLength = kLongName;
        } else {
            n->nameLength = std::uint8_t(length);
        }
        std::memcpy(dest, scratch.names.data() + offset, length);
        nameEnd_ += need;
        nameBytes_ += need;
    }
    nodeCount_ = first + std::uint32_t(order.size());
    Node& p = node(parent);
    p.firstChild = first;
    p.childCount = std::uint32_t(order.size());
    p.flags |= kListed;
    return first;
}

Walk::State Walk::Impl::find(std::string_view relative, std::uint32_t& id) const
{
    id = 0;
    while (!relative.empty()) {
        const std::size_t slash = relative.find('/');
        const std::string_view part = relative.substr(0, slash);
        relative = slash == std::string_view::npos ? std::string_view() : relative.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        const Node& n = node(id);
        if (!(n.flags & kListed))
            return State::Pending;
        std::uint32_t lo = n.firstChild;
        std::uint32_t hi = n.firstChild + n.childCount;
        while (lo < hi) {
            const std::uint32_t mid = lo + (hi - lo) / 2;
            if (nameOf(mid) < part)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo == n.firstChild + n.childCount || nameOf(lo) != part)
            return State::Missing;
        id = lo;
    }
    return State::Found;
}

Walk::Answer Walk::sizeOf(std::string_view relative) const
{
    const Impl& s = *impl_;
    std::lock_guard lock(s.indexMutex_);
    std::uint32_t id = 0;
    if (const State state = s.find(relative, id); state != State::Found)
        return {state, 0, 0};
    // The root's answer waits for the walk's end, so whoever has it also sees finished().
    if (id == 0 && !s.finished_.load())
        return {State::Pending, 0, 0};
    const Node& n = s.node(id);
    if (n.error)
        return {State::Failed, 0, 0, n.error};
    if (n.pending.load(std::memory_order_acquire) != 0)
        return {State::Pending, 0, 0, 0};
    return {State::Found, n.size.load(std::memory_order_acquire), n.allocated.load(std::memory_order_acquire), 0};
}

std::optional<std::int64_t> Walk::accessTimeOf(std::string_view relative) const
{
    const Impl& s = *impl_;
    std::lock_guard lock(s.indexMutex_);
    std::uint32_t id = 0;
    if (s.find(relative, id) != State::Found)
        return std::nullopt;
    if (const walkimpl::AccessTime t = *s.accessTimes_.at(id))
        return std::int64_t(t);
    return std::nullopt;
}

Walk::Failures Walk::failures(std::size_t limit) const
{
    const Impl& s = *impl_;
    std::lock_guard lock(s.indexMutex_);
    Failures out;
    for (std::uint32_t id = 0; id < s.nodeCount_; ++id) {
        const Node& n = s.node(id);
        if (n.error)
            out.first.push_back(FolderRecord{s.pathOf(id), n.size.load(), n.allocated.load(), n.error, false});
    }
    out.total = out.first.size();
    const auto byPath = [](const FolderRecord& a, const FolderRecord& b) { return a.path < b.path; };
    if (out.first.size() > limit) {
        std::partial_sort(out.first.begin(), out.first.begin() + std::ptrdiff_t(limit), out.first.end(), byPath);
        out.first.resize(limit);
    } else {
        std::sort(out.first.begin(), out.first.end(), byPath);
    }
    return out;
}

std::vector<Walk::FolderRecord> Walk::folders() const
{
    const Impl& s = *impl_;
    std::lock_guard lock(s.indexMutex_);
    std::vector<FolderRecord> out;
    out.reserve(s.nodeCount_);
    for (std::uint32_t id = 0; id < s.nodeCount_; ++id) {
        const Node& n = s.node(id);
        FolderRecord r;
        r.path = s.pathOf(id);
        r.size = n.size.load();
        r.allocated = n.allocated.load();
        r.error = n.error;
        r.mountPoint = (n.flags & kMountPoint) != 0;
        out.push_back(std::move(r));
    }
    std::sort(out.begin(), out.end(), [](const FolderRecord& a, const FolderRecord& b) { return a.path < b.path; });
    return out;
}

} // namespace torvane
