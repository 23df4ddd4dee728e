// The walk's largest files: each worker keeps its own bounded heap (no lock on the hot path), files
// with several hard links go to one shared heap when their owner is decided, and the heaps are
// merged once every folder has been read.

#include "fs/WalkImpl.h"

#include <algorithm>
#include <iterator>

namespace torvane {

namespace walkimpl {

void LargestHeap::offer(LargeEntry&& file, const Walk::Impl& walk)
{
    // std's heap keeps the "greatest" under the comparison at the front; ordering by rank makes
    // that the file that ranks last, the one to drop.
    const auto rank = [&](std::uint32_t a, std::uint32_t b) { return walk.ranksBefore(items[a], items[b]); };
    if (items.size() < kLargestKept) {
        items.push_back(std::move(file));
        heap.push_back(std::uint32_t(items.size() - 1));
        std::push_heap(heap.begin(), heap.end(), rank);
    } else if (walk.ranksBefore(file, items[heap.front()])) {
        std::pop_heap(heap.begin(), heap.end(), rank);
        items[heap.back()] = std::move(file);
        std::push_heap(heap.begin(), heap.end(), rank);
    } else {
        return;
    }
    if (items.size() == kLargestKept)
        floor = items[heap.front()].size;
}

} // namespace walkimpl

namespace {

std::string pathIn(std::string folder, const std::string& name)
{
    if (!folder.empty())
        folder += '/';
    folder += name;
    return folder;
}

} // namespace

bool Walk::Impl::ranksBefore(const walkimpl::LargeEntry& a, const walkimpl::LargeEntry& b) const
{
    if (a.size != b.size)
        return a.size > b.size;
    if (a.folder == b.folder)
        return a.name < b.name;
    const auto path = [this](const walkimpl::LargeEntry& e) -> const std::string& {
        if (e.path.empty())
            e.path = pathIn(pathOf(e.folder), e.name);
        return e.path;
    };
    return path(a) < path(b);
}

void Walk::Impl::mergeLargest()
{
    // Called when the root completes: every insertion happened before the release of its folder,
    // and those releases are ordered before the root's last one.
    std::vector<walkimpl::LargeEntry> all;
    {
        std::lock_guard lock(largestMutex_);
        all = std::move(linkLargest_.items);
        linkLargest_.items.clear();
        linkLargest_.heap.clear();
    }
    for (const std::unique_ptr<walkimpl::Scratch>& s : scratches_) {
        std::move(s->largest.items.begin(), s->largest.items.end(), std::back_inserter(all));
        s->largest.items.clear();
        s->largest.items.shrink_to_fit();
        s->largest.heap.clear();
        s->largest.heap.shrink_to_fit();
    }
    const auto rank = [this](const walkimpl::LargeEntry& a, const walkimpl::LargeEntry& b) { return ranksBefore(a, b); };
    const std::size_t keep = std::min(all.size(), walkimpl::kLargestKept);
    std::partial_sort(all.begin(), all.begin() + std::ptrdiff_t(keep), all.end(), rank);
    std::vector<Walk::LargeFile> list;
    list.reserve(keep);
    for (std::size_t i = 0; i < keep; ++i) {
        const walkimpl::LargeEntry& e = all[i];
        list.push_back(Walk::LargeFile{pathIn(pathOf(e.folder), e.name), e.size, e.allocated, e.mtimeSec, e.mtimeNsec});
    }
    std::lock_guard lock(largestMutex_);
    largest_ = std::move(list);
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
