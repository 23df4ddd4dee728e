#pragma once

// The walk's private parts, shared by the files that implement it; included by nothing outside
// src/fs. Walk::Impl's members are defined by concern:
//   WalkTraversal.cpp  the worker threads, the queue, reading a folder, the descriptor budget and
//                      the completion of folders (release, fail)
//   WalkIndex.cpp      the compact index: names, paths, adding a folder's children, and the
//                      public lookups answered from it (Walk::sizeOf, Walk::folders)
//   WalkLinks.cpp      hard links: a file with several links counts once, in one folder
//   WalkLargest.cpp    the largest files: per-worker bounded heaps, merged at the end
//   Walk.cpp           the rest of the public Walk: construction, progress and waiting

#include "fs/Walk.h"

#include "fs/WalkIo.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace torvane::walkimpl {

constexpr std::size_t kReadBufferSize = 64 * 1024;

// One folder of the index: 40 bytes plus its name in the name arena. Children of a folder are
// allocated together, sorted by name, so a path is looked up by binary search level by level.
struct Node {
    std::atomic<std::uint64_t> size{0};     // everything below, growing until pending is 0
    std::atomic<std::uint64_t> allocated{0};   // the same entries' st_blocks × 512
    std::atomic<std::uint32_t> pending{1};  // its own listing + unfinished subfolders + undecided hard links
    std::uint32_t parent = 0;
    std::uint32_t firstChild = 0;
    std::uint32_t childCount = 0;
    std::uint32_t nameOffset = 0;
    std::uint8_t nameLength = 0;   // kLongName: a 16-bit length precedes the name in the arena
    std::uint8_t flags = 0;
    std::uint16_t error = 0;
};
static_assert(sizeof(Node) == 40, "the index promises 40 bytes per folder");

constexpr std::uint8_t kListed = 1;      // childCount and firstChild are set
constexpr std::uint8_t kMountPoint = 2;  // another file system: listed, not entered
constexpr std::uint8_t kKeepAtime = 4;   // ours to open with O_NOATIME (owned, or we are privileged)
constexpr std::uint8_t kLongName = 255;

// Beside each node, the folder's access time as the parent's read found it, before the walk read
// the folder itself: whole seconds since 1970 (what the program shows), 0 when unknown. Four
// bytes more per folder, kept apart so the node stays at 32.
using AccessTime = std::uint32_t;
static_assert(sizeof(AccessTime) == 4);

inline AccessTime accessTimeOf(const struct stat& st)
{
    const auto seconds = st.st_atim.tv_sec;
    return seconds > 0 && std::uint64_t(seconds) <= 0xffffffffu ? AccessTime(seconds) : 0;
}

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
    std::uint64_t allocated = 0;
    std::int64_t mtimeSec = 0;
    std::int64_t mtimeNsec = 0;
    std::uint64_t links = 0;
    bool decided = false;
    std::vector<LinkOccurrence> seen;
};

constexpr std::size_t kLargestKept = 1000;

// A file met that may be among the largest. Its path is built only for the files that make the
// final list (and to break a tie on size), so most entries cost no allocation: names are short.
struct LargeEntry {
    std::uint64_t size = 0;
    std::uint64_t allocated = 0;
    std::int64_t mtimeSec = 0;
    std::int64_t mtimeNsec = 0;
    std::uint32_t folder = 0;
    std::string name;
    // Built the first time the file ties with another on size: equal sizes are common near the
    // cut, and the heap compares the same entries again and again.
    mutable std::string path;
};

// A bounded heap of the largest files met: its front is the one that would leave first, so a file
// that cannot get in costs one comparison against `floor`.
struct LargestHeap {
    std::vector<LargeEntry> items;       // the entries, in no order; a slot is reused when its file leaves
    std::vector<std::uint32_t> heap;     // slots of items as a heap: moving indices is cheap, entries are not
    std::uint64_t floor = 0;   // 0 while not full: everything may enter
    void offer(LargeEntry&& file, const Walk::Impl& walk);
};

// A subfolder met while reading its parent.
struct Subfolder {
    std::uint32_t offset = 0;   // its name in Scratch::names
    std::uint32_t length = 0;
    AccessTime accessTime = 0;
    bool keepAtime = false;
};

// Per-worker scratch space, reused from folder to folder.
struct Scratch {
    LargestHeap largest;
    std::unique_ptr<char[]> buffer{new char[kReadBufferSize]};
    std::string names;
    std::vector<Subfolder> subfolders;
};

} // namespace torvane::walkimpl

namespace torvane {

class Walk::Impl {
public:
    // Traversal (WalkTraversal.cpp)
    Impl(std::string rootPath, int threads);
    ~Impl();
    void run(std::stop_token, walkimpl::Scratch& scratch);
    bool takeShared(std::vector<walkimpl::Item>& local);
    void process(walkimpl::Item& item, walkimpl::Scratch& scratch, std::vector<walkimpl::Item>& local);
    void finishItem();
    void endTraversal();
    void release(std::uint32_t id);
    void markFinished();
    void fail(std::uint32_t id, int error, std::uint8_t extraFlags);

    // Hard links (WalkLinks.cpp)
    // True the first time the walk meets the file under any of its names.
    bool noteLink(std::uint32_t folder, const struct stat& st, std::string_view name);
    void decide(walkimpl::LinkGroup& group);
    void decideOpenLinks();

    // The largest files (WalkLargest.cpp)
    void mergeLargest();
    bool ranksBefore(const walkimpl::LargeEntry& a, const walkimpl::LargeEntry& b) const;

    // Index (WalkIndex.cpp)
    walkimpl::Node& node(std::uint32_t id) const { return *nodes_.at(id); }
    std::string_view nameOf(std::uint32_t id) const;
    std::string pathOf(std::uint32_t id) const;
    // The node at `relative`, or the state that says why there is none. Caller holds indexMutex_.
    State find(std::string_view relative, std::uint32_t& id) const;
    std::uint32_t addChildren(std::uint32_t parent, const walkimpl::Scratch& scratch,
                              const std::vector<std::uint32_t>& order);

    // The root
    std::string rootPath_;
    walkio::Fd rootFd_;
    int rootError_ = 0;
    dev_t device_ = 0;
    int budget_ = 0;
    uid_t uid_ = 0;
    bool keepsEveryAtime_ = false;

    // The index
    mutable std::mutex indexMutex_;   // guards node allocation, names and the listing fields
    walkimpl::Segmented<walkimpl::Node, 10> nodes_;
    walkimpl::Segmented<walkimpl::AccessTime, 10> accessTimes_;
    std::uint32_t nodeCount_ = 0;
    walkimpl::Segmented<char, 16> names_;
    std::uint64_t nameEnd_ = 0;
    std::uint64_t nameBytes_ = 0;

    // The queue of folders to read and the workers' state
    std::mutex queueMutex_;
    std::condition_variable queueCv_;
    std::deque<walkimpl::Item> shared_;
    std::atomic<int> idle_{0};
    std::atomic<std::size_t> sharedCount_{0};
    int threads_ = 1;
    std::atomic<std::int64_t> work_{0};
    std::atomic<bool> cancel_{false};
    std::atomic<bool> finished_{false};

    // Completed folders, for waiters
    std::mutex doneMutex_;
    std::condition_variable doneCv_;
    std::atomic<int> waiters_{0};
    std::atomic<std::uint64_t> completed_{0};

    // Hard links met but not yet decided
    std::mutex linkMutex_;
    std::unordered_map<ino_t, walkimpl::LinkGroup> links_;

    // Progress
    std::atomic<std::uint64_t> folders_{0};
    std::atomic<std::uint64_t> files_{0};
    std::atomic<std::uint64_t> bytesWalked_{0};
    std::atomic<std::uint64_t> bytesAllocated_{0};

    // The largest files: the workers' heaps, the hard links' heap, and the list once finished
    std::vector<std::unique_ptr<walkimpl::Scratch>> scratches_;
    std::mutex largestMutex_;
    walkimpl::LargestHeap linkLargest_;
    std::vector<Walk::LargeFile> largest_;

    std::vector<std::jthread> workers_;
};

} // namespace torvane
