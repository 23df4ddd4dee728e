#pragma once

// The parallel size walk of one volume and its compact index of folder sizes. Plain C++ on worker
// threads (no Qt), so it runs the same in the program, the benchmark and the sanitizer tests.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace torvane {

class Walk {
public:
    // Starts walking the folder at rootPath (absolute or relative, any length) on `threads` worker
    // threads (0: a default that suits both warm and cold disks). Returns at once.
    explicit Walk(std::string rootPath, int threads = 0);
    // Stops the workers and joins them.
    ~Walk();
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    // Every folder has its size (or its error). The root's answer is Pending until then, so a
    // caller that has the root's size sees the walk finished.
    bool finished() const;
    void wait();
    // Blocks at most `limit`; returns earlier when a folder is completed or the walk ends.
    void waitFor(std::chrono::milliseconds limit);

    enum class State { Pending, Found, Missing, Failed };
    struct Answer {
        State state = State::Pending;
        std::uint64_t size = 0;        // Found: apparent bytes
        std::uint64_t allocated = 0;   // Found: st_blocks × 512, the same entries
        int error = 0;            // Failed: the errno of opening or reading the folder itself
    };
    // The size of the folder at `relative` (components below the root joined by '/'; "" is the
    // root). Missing: not in the index (made after its parent was read, or below a folder that
    // could not be read).
    Answer sizeOf(std::string_view relative) const;
    // The folder's access time (seconds since 1970) from before the walk read it, known once its
    // parent was read; nothing when it is not in the index or its time was not known.
    std::optional<std::int64_t> accessTimeOf(std::string_view relative) const;

    // The root could not be opened: its errno, else 0.
    int rootError() const;
    dev_t device() const;

    struct Totals {
        std::uint64_t folders = 0;      // folders read, the root included
        std::uint64_t files = 0;        // entries that are not folders
        std::uint64_t bytes = 0;        // the root's size once finished
        std::uint64_t allocated = 0;    // the root's allocated bytes once finished
        std::uint64_t indexBytes = 0;   // the index's own storage
        std::uint64_t bytesWalked = 0;  // apparent bytes stat'ed so far
        std::uint64_t bytesAllocated = 0;   // allocated bytes stat'ed so far, folders and all, a
                                            // file of several links once
    };
    Totals totals() const;

    // Every indexed folder with its relative path and size (or error), in byte order of paths;
    // for tests and diagnostics, once finished.
    struct FolderRecord {
        std::string path;
        std::uint64_t size = 0;
        std::uint64_t allocated = 0;
        int error = 0;
        bool mountPoint = false;
    };
    std::vector<FolderRecord> folders() const;
    // The folders that could not be opened or read (or whose entries could not be stat'ed), in
    // byte order of paths: the first `limit` of them, and how many there are in all.
    struct Failures {
        std::vector<FolderRecord> first;
        std::size_t total = 0;
    };
    Failures failures(std::size_t limit) const;

    // The largest entries that are not folders, largest first (ties: smaller path bytes first),
    // hard links once under the owner rule; at most 1,000 are kept. Empty until finished.
    struct LargeFile {
        std::string path;   // below the root
        std::uint64_t size = 0;
        std::uint64_t allocated = 0;
        std::int64_t mtimeSec = 0;
        std::int64_t mtimeNsec = 0;
    };
    std::vector<LargeFile> largest(std::size_t n = 1000) const;

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace torvane
