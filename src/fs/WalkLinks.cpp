// The walk's hard links: a file with several links counts once, in the folder of its link whose
// path sorts first. Its folders wait (a pending count each) until every link was met, or until
// the traversal ends and the links met so far decide.

#include "fs/WalkImpl.h"

namespace torvane {

namespace {

using walkimpl::LinkGroup;
using walkimpl::LinkOccurrence;

} // namespace

bool Walk::Impl::noteLink(std::uint32_t folder, const struct stat& st, std::string_view name)
{
    LinkGroup ready;
    bool first = false;
    {
        std::lock_guard lock(linkMutex_);
        LinkGroup& group = links_[st.st_ino];
        if (group.decided)
            return false;   // a name made while the walk ran: the file is counted already
        if (group.seen.empty()) {
            group.size = std::uint64_t(st.st_size);
            group.allocated = std::uint64_t(st.st_blocks) * 512;
            group.mtimeSec = st.st_mtim.tv_sec;
            group.mtimeNsec = st.st_mtim.tv_nsec;
            group.links = st.st_nlink;
            first = true;
        }
        group.seen.push_back({folder, std::string(name)});
        node(folder).pending.fetch_add(1, std::memory_order_relaxed);
        if (group.seen.size() < group.links)
            return first;
        group.decided = true;
        ready.size = group.size;
        ready.allocated = group.allocated;
        ready.mtimeSec = group.mtimeSec;
        ready.mtimeNsec = group.mtimeNsec;
        ready.seen = std::move(group.seen);
        group.seen.clear();
        group.seen.shrink_to_fit();
    }
    decide(ready);
    return first;
}

void Walk::Impl::decide(LinkGroup& group)
{
    // The name whose full path sorts first owns the file, whatever order the threads met them in.
    std::size_t best = 0;
    std::string bestPath;
    for (std::size_t i = 0; i < group.seen.size(); ++i) {
        std::string p = pathOf(group.seen[i].folder);
        if (!p.empty())
            p += '/';
        p += group.seen[i].name;
        if (i == 0 || p < bestPath) {
            best = i;
            bestPath = std::move(p);
        }
    }
    if (group.seen.empty())
        return;
    walkimpl::Node& owner = node(group.seen[best].folder);
    owner.size.fetch_add(group.size, std::memory_order_acq_rel);
    owner.allocated.fetch_add(group.allocated, std::memory_order_acq_rel);
    {
        std::lock_guard lock(largestMutex_);
        if (group.size >= linkLargest_.floor) {
            walkimpl::LargeEntry f;
            f.size = group.size;
            f.allocated = group.allocated;
            f.mtimeSec = group.mtimeSec;
            f.mtimeNsec = group.mtimeNsec;
            f.folder = group.seen[best].folder;
            f.name = std::move(group.seen[best].name);
            linkLargest_.offer(std::move(f), *this);
        }
    }
    for (const LinkOccurrence& o : group.seen)
        release(o.folder);
}

void Walk::Impl::decideOpenLinks()
{
    std::vector<LinkGroup> open;
    {
        std::lock_guard lock(linkMutex_);
        for (auto& [ino, group] : links_) {
            if (!group.decided) {
                group.decided = true;
                open.push_back(std::move(group));
            }
        }
        links_.clear();
    }
    for (LinkGroup& group : open)
        decide(group);
}

} // namespace torvane
