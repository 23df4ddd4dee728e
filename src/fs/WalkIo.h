#pragma once

// Low-level directory access shared by the walk and the folder calls: descriptors, a getdents64
// reader and path opening that survives paths longer than PATH_MAX. Linux only; no Qt, so the
// walk's worker threads never touch Qt state.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace torvane::walkio {

// Owns one file descriptor.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd();

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();

private:
    int fd_ = -1;
};

struct DirEntry {
    std::string_view name;   // NUL-terminated in the reader's buffer
    unsigned char type = 0;   // DT_* as the file system reported it
};

// Reads a directory's entries with getdents64 into a caller-owned buffer, skipping "." and "..".
class DirReader {
public:
    DirReader(int dirFd, char* buffer, std::size_t bufferSize);
    // False at the end or on an error (then error() is the errno).
    bool next(DirEntry& entry);
    int error() const { return error_; }

private:
    int fd_;
    char* buf_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    int error_ = 0;
    bool done_ = false;
};

// Opens a directory by an absolute or relative path of any length: a path longer than PATH_MAX is
// opened piecewise relative to descriptors. The last component is never a symlink. Reading it
// leaves its access time alone where this process may ask that (O_NOATIME).
Fd openDirectory(std::string_view path, int& err);
// lstat of a path of any length; 0 or an errno.
int lstatPath(std::string_view path, struct stat& st);

// Whether this process may open folders of any owner with O_NOATIME (CAP_FOWNER); an owner may
// always open their own.
bool keepsEveryAccessTime();

// Opens the subfolder `name` of parentFd for the walk: never through a symlink, and never into
// another file system. A mount point of a file system other than `device` gives -1 with
// `otherDevice` set; other failures -1 with errno. With `keepAtime` (the caller expects to be
// allowed) reading the folder leaves its access time alone; where the kernel refuses that, the
// folder is opened all the same.
int openSubfolder(int parentFd, const char* name, dev_t device, bool& otherDevice, bool keepAtime);

// Opens `relative` (components joined by '/') beneath `rootFd` without following any symlink and
// without crossing into another mount; -1 with errno on failure. `keepAtime` as above.
int openBeneath(int rootFd, std::string_view relative, bool keepAtime);

// Off: every open goes the way it goes on kernels without openat2 (or where a sandbox blocks it),
// so tests check both ways. The walk finds out by itself when openat2 is missing.
void allowOpenat2(bool allowed);

} // namespace torvane::walkio
