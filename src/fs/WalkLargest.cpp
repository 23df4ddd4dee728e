// The walk's largest files: each worker keeps its own bounded heap (no lock on the hot path), files
// with several hard links go to one shared heap when their owner is decided, and the heaps are
// merged once every folder has been read.

#include "fs/WalkImpl.h"

#include <algorithm>

namespace torvane {

namespace walkimpl {

void LargestHeap::offer(Walk::LargeFile&& file)
{
    // std's heap keeps the "greatest" under the comparison at the front; ordering by rank makes
    // that the file that ranks last, the one to drop.
    if (items.size() < kLargestKept) {
        items.push_back(std::move(file));
        std::push_heap(items.begin(), items.end(), ranksBefore);
    } else if (ranksBefore(file, items.front())) {
        std::pop_heap(items.begin(), items.end(), ranksBefore);
        items.back() = std::move(file);
        std::push_heap(items.begin(), items.end(), ranksBefore);
    } else {
        return;
    }
    if (items.size() == kLargestKept)
        floor = items.front().size;
}

} // namespace walkimpl

void Walk::Impl::mergeLargest()
{
    // Called once the last folder is read: every worker's last insertion happened before its
    // final decrement of work_, which this thread has acquired.
    walkimpl::LargestHeap all;
    {
        std::lock_guard lock(largestMutex_);
        all.items = std::move(linkLargest_.items);
        linkLargest_.items.clear();
    }
    std::make_heap(all.items.begin(), all.items.end(), walkimpl::LargestHeap::ranksBefore);
    for (const std::unique_ptr<walkimpl::Scratch>& s : scratches_) {
        for (Walk::LargeFile& f : s->largest.items)
            all.offer(std::move(f));
        s->largest.items.clear();
        s->largest.items.shrink_to_fit();
    }
    std::sort(all.items.begin(), all.items.end(), walkimpl::LargestHeap::ranksBefore);
    std::lock_guard lock(largestMutex_);
    largest_ = std::move(all.items);
}

std::vector<Walk::LargeFile> Walk::largest(std::size_t n) const
{
    Impl& s = *impl_;
    if (!s.finished_.load())
        return {};
    std::lock_guard lock(s.largestMutex_);
    return {s.largest_.begin(), s.largest_.begin() + std::ptrdiff_t(std::min(n, s.largest_.size()))};
}

} // namespace torvane
