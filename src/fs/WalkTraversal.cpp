// The walk's traversal: the worker threads, the shared queue, reading one folder, the budget of
// directory descriptors kept open for queued subfolders, and the completion of folders.

#include "fs/WalkImpl.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace torvane {

namespace {

using walkio::DirEntry;
using walkio::DirReader;
using walkio::Fd;
using walkimpl::DirRef;
using walkimpl::Item;
using walkimpl::kKeepAtime;
using walkimpl::kListed;
using walkimpl::kMountPoint;
using walkimpl::kReadBufferSize;
using walkimpl::Node;
using walkimpl::Scratch;
using walkimpl::Subfolder;

constexpr std::uint32_t kCancelCheckEvery = 1024;

int defaultThreads()
{
    // More walkers than cores: on a cold disk the threads mostly wait for the device, and a
    // deeper request queue is what makes it faster; on a warm cache the extra ones cost little.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return int(std::clamp(cores * 2, 4u, 16u));
}

// Directory descriptors kept open for queued subfolders, counted across every walk of the
// process, so several walks at once still leave room under the descriptor limit.
std::atomic<int> g_openDirs{0};

int descriptorBudget()
{
    rlimit rl{};
    std::uint64_t soft = 1024;
    if (::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY)
        soft = rl.rlim_cur;
    return int(std::clamp<std::uint64_t>(soft / 8, 16, 256));
}

} // namespace

Walk::Impl::Impl(std::string rootPath, int threads)
    : rootPath_(std::move(rootPath)), budget_(descriptorBudget()), uid_(::geteuid()),
      keepsEveryAtime_(walkio::keepsEveryAccessTime())
{
    int err = 0;
    rootFd_ = walkio::openDirectory(rootPath_, err);
    struct stat st {};
    if (rootFd_.valid() && ::fstat(rootFd_.get(), &st) != 0)
        err = errno;
    {
        std::lock_guard lock(indexMutex_);
        nodes_.reserve(1);
        accessTimes_.reserve(1);
        new (nodes_.at(0)) Node;
        *accessTimes_.at(0) = walkimpl::accessTimeOf(st);
        nodeCount_ = 1;
    }
    if (!rootFd_.valid() || err) {
        rootError_ = err ? err : EIO;
        fail(0, rootError_, 0);
        finished_ = true;
        return;
    }
    device_ = st.st_dev;
    bytesAllocated_ = std::uint64_t(st.st_blocks) * 512;
    work_ = 1;
    shared_.push_back(Item{0, nullptr});
    threads_ = threads > 0 ? threads : defaultThreads();
    sharedCount_ = 1;
    workers_.reserve(std::size_t(threads_));
    for (int i = 0; i < threads_; ++i)
        scratches_.push_back(std::make_unique<Scratch>());
    for (int i = 0; i < threads_; ++i)
        workers_.emplace_back([this, i](std::stop_token stop) { run(stop, *scratches_[std::size_t(i)]); });
}

Walk::Impl::~Impl()
{
    {
        std::lock_guard lock(queueMutex_);
        cancel_ = true;
    }
    queueCv_.notify_all();
    workers_.clear();   // joins
    shared_.clear();
}

void Walk::Impl::run(std::stop_token stop, Scratch& scratch)
{
    std::vector<Item> local;
    for (;;) {
        if (cancel_.load(std::memory_order_relaxed) || stop.stop_requested())
            return;
        Item item;
        if (!local.empty()) {
            item = std::move(local.back());
            local.pop_back();
        } else if (!takeShared(local)) {
            return;
        } else {
            item = std::move(local.back());
            local.pop_back();
        }
        process(item, scratch, local);
        item.parent.reset();
        finishItem();
        // Hand the oldest half of this worker's pending folders (the shallowest, largest
        // subtrees) to idle workers; nobody pays for a lock while everyone is busy.
        if (local.size() >= 2 && idle_.load(std::memory_order_relaxed) > 0
            && sharedCount_.load(std::memory_order_relaxed) == 0) {
            const std::size_t give = local.size() / 2;
            {
                std::lock_guard lock(queueMutex_);
                for (std::size_t i = 0; i < give; ++i)
                    shared_.push_back(std::move(local[i]));
                sharedCount_.store(shared_.size(), std::memory_order_relaxed);
            }
            local.erase(local.begin(), local.begin() + std::ptrdiff_t(give));
            queueCv_.notify_all();
        }
    }
}

bool Walk::Impl::takeShared(std::vector<Item>& local)
{
    std::unique_lock lock(queueMutex_);
    if (shared_.empty()) {
        idle_.fetch_add(1);
        queueCv_.wait(lock, [this] { return !shared_.empty() || finished_ || cancel_; });
        idle_.fetch_sub(1);
    }
    if (cancel_ || shared_.empty())
        return false;
    // A share of what is there, so one handover feeds a worker for a while; the oldest item ends
    // on top of its stack and is read first.
    const std::size_t take = std::max<std::size_t>(1, shared_.size() / std::size_t(threads_));
    for (std::size_t i = take; i-- > 0;)
        local.push_back(std::move(shared_[i]));
    shared_.erase(shared_.begin(), shared_.begin() + std::ptrdiff_t(take));
    sharedCount_.store(shared_.size(), std::memory_order_relaxed);
    return true;
}

void Walk::Impl::finishItem()
{
    if (work_.fetch_sub(1, std::memory_order_acq_rel) == 1)
        endTraversal();
}

void Walk::Impl::endTraversal()
{
    // Every folder is read. Hard links whose other names were never met (outside this volume
    // or in unreadable folders) are decided among the names that were.
    decideOpenLinks();
    markFinished();
}

void Walk::Impl::markFinished()
{
    {
        std::scoped_lock lock(queueMutex_, doneMutex_);
        finished_ = true;
    }
    queueCv_.notify_all();
    doneCv_.notify_all();
}

void Walk::Impl::release(std::uint32_t id)
{
    for (;;) {
        Node& n = node(id);
        if (n.pending.fetch_sub(1, std::memory_order_acq_rel) != 1)
            return;
        // Every file has been offered to a heap before its folder completed, and no worker
        // touches its heap again: the list is final before anyone can see the root's size.
        if (id == 0)
            mergeLargest();
        // Waiters ask about the top two levels (what a scan shows); waking them for every folder
        // would cost two system calls per folder.
        const bool shallow = id == 0 || n.parent == 0 || node(n.parent).parent == 0;
        completed_.fetch_add(1);
        if (shallow && waiters_.load() > 0) {
            { std::lock_guard lock(doneMutex_); }
            doneCv_.notify_all();
        }
        if (id == 0) {
            // The root is complete only when every folder is: the walk has finished now, not
            // when the last worker gets round to saying so.
            markFinished();
            return;
        }
        const std::uint32_t parent = n.parent;
        Node& p = node(parent);
        p.size.fetch_add(n.size.load(std::memory_order_acquire), std::memory_order_acq_rel);
        p.allocated.fetch_add(n.allocated.load(std::memory_order_acquire), std::memory_order_acq_rel);
        id = parent;
    }
}

void Walk::Impl::fail(std::uint32_t id, int error, std::uint8_t extraFlags)
{
    {
        std::lock_guard lock(indexMutex_);
        Node& n = node(id);
        n.error = std::uint16_t(std::min(error, 0xffff));
        n.flags |= std::uint8_t(kListed | extraFlags);
    }
    release(id);
}

void Walk::Impl::process(Item& item, Scratch& scratch, std::vector<Item>& local)
{
    const std::uint32_t id = item.node;
    const bool keepAtime = (node(id).flags & kKeepAtime) != 0;
    int fd;
    bool otherDevice = false;
    if (id == 0) {
        fd = ::fcntl(rootFd_.get(), F_DUPFD_CLOEXEC, 0);
    } else if (item.parent) {
        const std::string_view name = nameOf(id);
        char buf[300];
        std::string longName;
        const char* z = buf;
        if (name.size() < sizeof buf) {
            std::memcpy(buf, name.data(), name.size());
            buf[name.size()] = 0;
        } else {
            longName.assign(name);
            z = longName.c_str();
        }
        fd = walkio::openSubfolder(item.parent->fd, z, device_, otherDevice, keepAtime);
        item.parent.reset();
    } else {
        fd = walkio::openBeneath(rootFd_.get(), pathOf(id), keepAtime);
        struct stat st {};
        if (fd >= 0 && (::fstat(fd, &st) != 0 || st.st_dev != device_)) {
            otherDevice = true;
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        // Gone since its parent was read, swapped for a link or a file, not ours to read, or
        // another file system (listed, not entered).
        if (otherDevice)
            fail(id, 0, kMountPoint);
        else
            fail(id, errno, 0);
        return;
    }
    Fd dir(fd);

    scratch.names.clear();
    scratch.subfolders.clear();
    std::uint64_t bytes = 0;
    std::uint64_t allocated = 0;       // the folder's own files, hard links left to their owner
    std::uint64_t walked = 0;
    std::uint64_t allocatedSeen = 0;   // for the progress: every entry once, folders included
    std::uint64_t files = 0;
    std::uint32_t count = 0;
    int statError = 0;
    const auto addSubfolder = [&scratch](std::string_view name, const struct stat* st, bool keep) {
        scratch.subfolders.push_back(Subfolder{std::uint32_t(scratch.names.size()), std::uint32_t(name.size()),
                                               st ? walkimpl::accessTimeOf(*st) : 0, keep});
        scratch.names.append(name);
    };
    DirReader reader(fd, scratch.buffer.get(), kReadBufferSize);
    DirEntry entry;
    while (reader.next(entry)) {
        if (++count % kCancelCheckEvery == 0 && cancel_.load(std::memory_order_relaxed))
            return;
        // Folders are stat'ed too: their access time is read here, before the walk reads them
        // and moves it, and their owner tells whether they may be opened with O_NOATIME.
        struct stat st {};
        if (::fstatat(fd, entry.name.data(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            // Vanished since the read: nothing to count. A folder that cannot be stat'ed is
            // listed all the same; opening it tells what is wrong with it. A file that cannot
            // (in a folder that may be listed but not searched, mode 0644) leaves the size
            // unknown, which is an error to show, not a size of 0.
            if (errno == ENOENT || errno == ENOTDIR)
                continue;
            if (entry.type == DT_DIR)
                addSubfolder(entry.name, nullptr, false);
            else if (statError == 0)
                statError = errno;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if (st.st_dev == device_)   // a mount point shows the other file system's root
                allocatedSeen += std::uint64_t(st.st_blocks) * 512;
            addSubfolder(entry.name, &st, keepsEveryAtime_ || st.st_uid == uid_);
            continue;
        }
        ++files;
        walked += std::uint64_t(st.st_size);
        const std::uint64_t blocks = std::uint64_t(st.st_blocks) * 512;
        if (st.st_nlink > 1) {
            if (noteLink(id, st, entry.name))
                allocatedSeen += blocks;
            continue;
        }
        const std::uint64_t size = std::uint64_t(st.st_size);
        bytes += size;
        allocated += blocks;
        allocatedSeen += blocks;
        if (size >= scratch.largest.floor) {
            walkimpl::LargeEntry f;
            f.size = size;
            f.allocated = blocks;
            f.mtimeSec = st.st_mtim.tv_sec;
            f.mtimeNsec = st.st_mtim.tv_nsec;
            f.folder = id;
            f.name = entry.name;
            scratch.largest.offer(std::move(f), *this);
        }
    }

    std::vector<std::uint32_t> order(scratch.subfolders.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const auto nameAt = [&scratch](std::uint32_t i) {
        return std::string_view(scratch.names).substr(scratch.subfolders[i].offset, scratch.subfolders[i].length);
    };
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return nameAt(a) < nameAt(b); });
    const std::uint32_t first = addChildren(id, scratch, order);
    if (reader.error() || statError) {
        std::lock_guard lock(indexMutex_);
        node(id).error = std::uint16_t(reader.error() ? reader.error() : statError);
    }

    Node& n = node(id);
    const std::uint32_t k = std::uint32_t(order.size());
    n.pending.fetch_add(k, std::memory_order_relaxed);
    n.size.fetch_add(bytes, std::memory_order_relaxed);
    n.allocated.fetch_add(allocated, std::memory_order_relaxed);
    files_.fetch_add(files, std::memory_order_relaxed);
    bytesWalked_.fetch_add(walked, std::memory_order_relaxed);
    bytesAllocated_.fetch_add(allocatedSeen, std::memory_order_relaxed);
    folders_.fetch_add(1, std::memory_order_relaxed);

    if (k > 0) {
        std::shared_ptr<DirRef> ref;
        if (g_openDirs.fetch_add(1, std::memory_order_relaxed) < budget_)
            ref = std::make_shared<DirRef>(dir.release(), g_openDirs);
        else
            g_openDirs.fetch_sub(1, std::memory_order_relaxed);
        work_.fetch_add(k, std::memory_order_acq_rel);
        if (id == 0) {
            // Top-level folders go out in name order, so they tend to finish in the order a
            // scan asks for them.
            {
                std::lock_guard lock(queueMutex_);
                for (std::uint32_t i = 0; i < k; ++i)
                    shared_.push_back(Item{first + i, ref});
                sharedCount_.store(shared_.size(), std::memory_order_relaxed);
            }
            queueCv_.notify_all();
        } else {
            for (std::uint32_t i = k; i-- > 0;)
                local.push_back(Item{first + i, ref});
        }
    }
    release(id);
}

} // namespace torvane
