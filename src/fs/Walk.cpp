// The public Walk: construction, progress and waiting. Its lookups (sizeOf, folders) are in
// WalkIndex.cpp, next to the index they read.

#include "fs/WalkImpl.h"

namespace torvane {

Walk::Walk(std::string rootPath, int threads) : impl_(std::make_unique<Impl>(std::move(rootPath), threads)) {}

Walk::~Walk() = default;

bool Walk::finished() const
{
    return impl_->finished_.load();
}

void Walk::wait()
{
    Impl& s = *impl_;
    std::unique_lock lock(s.doneMutex_);
    s.doneCv_.wait(lock, [&] { return s.finished_.load(); });
}

void Walk::waitFor(std::chrono::milliseconds limit)
{
    Impl& s = *impl_;
    if (s.finished_.load())
        return;
    const std::uint64_t start = s.completed_.load();
    std::unique_lock lock(s.doneMutex_);
    s.waiters_.fetch_add(1);
    s.doneCv_.wait_for(lock, limit, [&] { return s.completed_.load() != start || s.finished_.load(); });
    s.waiters_.fetch_sub(1);
}

int Walk::rootError() const
{
    return impl_->rootError_;
}

dev_t Walk::device() const
{
    return impl_->device_;
}

Walk::Totals Walk::totals() const
{
    const Impl& s = *impl_;
    Totals t;
    t.folders = s.folders_.load();
    t.files = s.files_.load();
    t.bytesWalked = s.bytesWalked_.load();
    t.bytesAllocated = s.bytesAllocated_.load();
    std::lock_guard lock(s.indexMutex_);
    t.indexBytes = std::uint64_t(s.nodeCount_) * (sizeof(walkimpl::Node) + sizeof(walkimpl::AccessTime)) + s.nameBytes_;
    if (s.finished_.load())
    {
        t.bytes = s.node(0).size.load();
        t.allocated = s.node(0).allocated.load();
    }
    return t;
}

} // namespace torvane
