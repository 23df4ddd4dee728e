#include "platform/Walk.h"

#include "platform/WalkIo.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>

namespace torvane {

namespace {

using walkio::DirEntry;
using walkio::DirReader;
using walkio::Fd;

constexpr std::size_t kReadBufferSize = 64 * 1024;
constexpr std::uint32_t kCancelCheckEvery = 1024;

// One folder of the index: 32 bytes plus its name in the name arena. Children of a folder are
// allocated together, sorted by name, so a path is looked up by binary search level by level.
struct Node {
    std::atomic<std::uint64_t> size{0};     // everything below, growing until pending is 0
    std::atomic<std::uint32_t> pending{1};  // its own listing + unfinished subfolders + undecided hard links
    std::uint32_t parent = 0;
    std::uint32_t firstChild = 0;
    std::uint32_t childCount = 0;
    std::uint32_t nameOffset = 0;
    std::uint8_t nameLength = 0;   // kLongName: a 16-bit length precedes the name in the arena
    std::uint8_t flags = 0;
    std::uint16_t error = 0;
};
static_assert(sizeof(Node) == 32, "the index promises 32 bytes per folder");

constexpr std::uint8_t kListed = 1;      // childCount and firstChild are set
constexpr std::uint8_t kMountPoint = 2;  // another file system: listed, not entered
constexpr std::uint8_t kLongName = 255;

// Storage that grows in segments that never move, so what one thread has put there stays valid
// while others add more: segment k holds (1 << firstBits) << k elements.
template <class T, unsigned firstBits>
class Segmented {
public:
    static constexpr std::uint64_t kFirst = std::uint64_t(1) << firstBits;

    Segmented() = default;
    Segmented(const Segmented&) = delete;
    Segmented& operator=(const Segmented&) = delete;
    ~Segmented()
    {
        for (T* s : segments_)
            ::operator delete(static_cast<void*>(s));
    }

    T* at(std::uint64_t i) const
    {
        const std::uint64_t j = i + kFirst;
        const unsigned top = 63u - unsigned(__builtin_clzll(j));
        return segments_[top - firstBits] + (j - (std::uint64_t(1) << top));
    }
    // Makes [0, n) addressable. Caller holds the writers' lock.
    void reserve(std::uint64_t n)
    {
        while (capacity_ < n) {
            const std::uint64_t count = kFirst << used_;
            segments_[used_] = static_cast<T*>(::operator new(count * sizeof(T)));
            ++used_;
            capacity_ += count;
        }
    }
    // Where segment k ends, as an element index.
    static std::uint64_t segmentEnd(std::uint64_t i)
    {
        const std::uint64_t j = i + kFirst;
        const unsigned top = 63u - unsigned(__builtin_clzll(j));
        return (std::uint64_t(1) << (top + 1)) - kFirst;
    }

private:
    T* segments_[40] = {};
    unsigned used_ = 0;
    std::uint64_t capacity_ = 0;
};

// A directory descriptor shared by the queued subfolders that will be opened relative to it.
struct DirRef {
    DirRef(int f, std::atomic<int>& count) : fd(f), openCount(count) {}
    ~DirRef()
    {
        ::close(fd);
        openCount.fetch_sub(1, std::memory_order_relaxed);
    }
    int fd;
    std::atomic<int>& openCount;
};

struct Item {
    std::uint32_t node = 0;
    std::shared_ptr<DirRef> parent;   // null: open by path beneath the root
};

struct LinkOccurrence {
    std::uint32_t folder;
    std::string name;
};

struct LinkGroup {
    std::uint64_t size = 0;
    std::uint64_t links = 0;
    bool decided = false;
    std::vector<LinkOccurrence> seen;
};

// Per-worker scratch space, reused from folder to folder.
struct Scratch {
    std::unique_ptr<char[]> buffer{new char[kReadBufferSize]};
    std::string names;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> spans;   // offset, length into names
};

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

class Walk::Impl {
public:
    Impl(std::string rootPath, int threads);
    ~Impl();

    void run(std::stop_token);
    bool takeShared(std::vector<Item>& local);
    void process(Item& item, Scratch& scratch, std::vector<Item>& local);
    void finishItem();
    void endTraversal();
    void release(std::uint32_t id);
    void fail(std::uint32_t id, int error, std::uint8_t extraFlags);
    void noteLink(std::uint32_t folder, const struct stat& st, std::string_view name);
    void decide(LinkGroup& group);

    Node& node(std::uint32_t id) const { return *nodes_.at(id); }
    std::string_view nameOf(std::uint32_t id) const;
    std::string pathOf(std::uint32_t id) const;
    std::uint32_t addChildren(std::uint32_t parent, const Scratch& scratch,
                              const std::vector<std::uint32_t>& order);

    std::string rootPath_;
    Fd rootFd_;
    int rootError_ = 0;
    dev_t device_ = 0;
    int budget_ = 0;

    mutable std::mutex indexMutex_;   // guards node allocation, names and the listing fields
    Segmented<Node, 10> nodes_;
    std::uint32_t nodeCount_ = 0;
    Segmented<char, 16> names_;
    std::uint64_t nameEnd_ = 0;
    std::uint64_t nameBytes_ = 0;

    std::mutex queueMutex_;
    std::condition_variable queueCv_;
    std::deque<Item> shared_;
    std::atomic<int> idle_{0};
    std::atomic<std::size_t> sharedCount_{0};
    int threads_ = 1;
    std::atomic<std::int64_t> work_{0};
    std::atomic<bool> cancel_{false};
    std::atomic<bool> finished_{false};

    std::mutex doneMutex_;
    std::condition_variable doneCv_;
    std::atomic<int> waiters_{0};
    std::atomic<std::uint64_t> completed_{0};

    std::mutex linkMutex_;
    std::unordered_map<ino_t, LinkGroup> links_;

    std::atomic<std::uint64_t> folders_{0};
    std::atomic<std::uint64_t> files_{0};
    std::atomic<std::uint64_t> bytesWalked_{0};

    std::vector<std::jthread> workers_;
};

Walk::Impl::Impl(std::string rootPath, int threads)
    : rootPath_(std::move(rootPath)), budget_(descriptorBudget())
{
    {
        std::lock_guard lock(indexMutex_);
        nodes_.reserve(1);
        new (nodes_.at(0)) Node;
        nodeCount_ = 1;
    }
    int err = 0;
    rootFd_ = walkio::openDirectory(rootPath_, err);
    struct stat st {};
    if (rootFd_.valid() && ::fstat(rootFd_.get(), &st) != 0)
        err = errno;
    if (!rootFd_.valid() || err) {
        rootError_ = err ? err : EIO;
        fail(0, rootError_, 0);
        finished_ = true;
        return;
    }
    device_ = st.st_dev;
    work_ = 1;
    shared_.push_back(Item{0, nullptr});
    threads_ = threads > 0 ? threads : defaultThreads();
    sharedCount_ = 1;
    workers_.reserve(std::size_t(threads_));
    for (int i = 0; i < threads_; ++i)
        workers_.emplace_back([this](std::stop_token stop) { run(stop); });
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

void Walk::Impl::run(std::stop_token stop)
{
    Scratch scratch;
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
        // Waiters ask about the top two levels (what a scan shows); waking them for every folder
        // would cost two system calls per folder.
        const bool shallow = id == 0 || n.parent == 0 || node(n.parent).parent == 0;
        completed_.fetch_add(1);
        if (shallow && waiters_.load() > 0) {
            { std::lock_guard lock(doneMutex_); }
            doneCv_.notify_all();
        }
        if (id == 0)
            return;
        const std::uint32_t parent = n.parent;
        node(parent).size.fetch_add(n.size.load(std::memory_order_acquire), std::memory_order_acq_rel);
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

void Walk::Impl::noteLink(std::uint32_t folder, const struct stat& st, std::string_view name)
{
    LinkGroup ready;
    {
        std::lock_guard lock(linkMutex_);
        LinkGroup& group = links_[st.st_ino];
        if (group.decided)
            return;   // a name made while the walk ran: the file is counted already
        if (group.seen.empty()) {
            group.size = std::uint64_t(st.st_size);
            group.links = st.st_nlink;
        }
        group.seen.push_back({folder, std::string(name)});
        node(folder).pending.fetch_add(1, std::memory_order_relaxed);
        if (group.seen.size() < group.links)
            return;
        group.decided = true;
        ready.size = group.size;
        ready.seen = std::move(group.seen);
        group.seen.clear();
        group.seen.shrink_to_fit();
    }
    decide(ready);
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
    node(group.seen[best].folder).size.fetch_add(group.size, std::memory_order_acq_rel);
    for (const LinkOccurrence& o : group.seen)
        release(o.folder);
}

std::uint32_t Walk::Impl::addChildren(std::uint32_t parent, const Scratch& scratch,
                                      const std::vector<std::uint32_t>& order)
{
    std::lock_guard lock(indexMutex_);
    const std::uint32_t first = nodeCount_;
    nodes_.reserve(std::uint64_t(first) + order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const auto [offset, length] = scratch.spans[order[i]];
        const std::uint64_t need = length + (length >= kLongName ? 2 : 0);
        if (Segmented<char, 16>::segmentEnd(nameEnd_) - nameEnd_ < need && nameEnd_ != 0)
            nameEnd_ = Segmented<char, 16>::segmentEnd(nameEnd_);
        names_.reserve(nameEnd_ + need);
        Node* n = new (nodes_.at(first + i)) Node;
        n->parent = parent;
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

void Walk::Impl::process(Item& item, Scratch& scratch, std::vector<Item>& local)
{
    const std::uint32_t id = item.node;
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
        fd = walkio::openSubfolder(item.parent->fd, z, device_, otherDevice);
        item.parent.reset();
    } else {
        fd = walkio::openBeneath(rootFd_.get(), pathOf(id));
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
    scratch.spans.clear();
    std::uint64_t bytes = 0;
    std::uint64_t walked = 0;
    std::uint64_t files = 0;
    std::uint32_t count = 0;
    int statError = 0;
    DirReader reader(fd, scratch.buffer.get(), kReadBufferSize);
    DirEntry entry;
    while (reader.next(entry)) {
        if (++count % kCancelCheckEvery == 0 && cancel_.load(std::memory_order_relaxed))
            return;
        bool isDir = entry.type == DT_DIR;
        if (!isDir) {
            struct stat st {};
            if (::fstatat(fd, entry.name.data(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                // Vanished since the read: nothing to count. Anything else (a folder that may be
                // listed but not searched, mode 0644) leaves the size unknown, which is an error
                // to show, not a size of 0.
                if (errno != ENOENT && errno != ENOTDIR && statError == 0)
                    statError = errno;
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                isDir = true;   // DT_UNKNOWN, or a file replaced by a folder
            } else {
                ++files;
                walked += std::uint64_t(st.st_size);
                if (st.st_nlink > 1)
                    noteLink(id, st, entry.name);
                else
                    bytes += std::uint64_t(st.st_size);
            }
        }
        if (isDir) {
            scratch.spans.emplace_back(std::uint32_t(scratch.names.size()), std::uint32_t(entry.name.size()));
            scratch.names.append(entry.name);
        }
    }

    std::vector<std::uint32_t> order(scratch.spans.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const auto nameAt = [&scratch](std::uint32_t i) {
        return std::string_view(scratch.names).substr(scratch.spans[i].first, scratch.spans[i].second);
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
    files_.fetch_add(files, std::memory_order_relaxed);
    bytesWalked_.fetch_add(walked, std::memory_order_relaxed);
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

// ---------------------------------------------------------------------------------------------

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

Walk::Answer Walk::sizeOf(std::string_view relative) const
{
    const Impl& s = *impl_;
    std::lock_guard lock(s.indexMutex_);
    std::uint32_t id = 0;
    while (!relative.empty()) {
        const std::size_t slash = relative.find('/');
        const std::string_view part = relative.substr(0, slash);
        relative = slash == std::string_view::npos ? std::string_view() : relative.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        const Node& n = s.node(id);
        if (!(n.flags & kListed))
            return {State::Pending, 0, 0};
        std::uint32_t lo = n.firstChild;
        std::uint32_t hi = n.firstChild + n.childCount;
        while (lo < hi) {
            const std::uint32_t mid = lo + (hi - lo) / 2;
            if (s.nameOf(mid) < part)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo == n.firstChild + n.childCount || s.nameOf(lo) != part)
            return {State::Missing, 0, 0};
        id = lo;
    }
    const Node& n = s.node(id);
    if (n.error)
        return {State::Failed, 0, n.error};
    if (n.pending.load(std::memory_order_acquire) != 0)
        return {State::Pending, 0, 0};
    return {State::Found, n.size.load(std::memory_order_acquire), 0};
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
    std::lock_guard lock(s.indexMutex_);
    t.indexBytes = std::uint64_t(s.nodeCount_) * sizeof(Node) + s.nameBytes_;
    if (s.finished_.load())
        t.bytes = s.node(0).size.load();
    return t;
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
        r.error = n.error;
        r.mountPoint = (n.flags & kMountPoint) != 0;
        out.push_back(std::move(r));
    }
    std::sort(out.begin(), out.end(), [](const FolderRecord& a, const FolderRecord& b) { return a.path < b.path; });
    return out;
}

} // namespace torvane
