#include "fs/WalkIo.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include <cerrno>
#include <climits>
#include <cstring>

namespace torvane::walkio {

namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr std::uint64_t kResolveBeneath = RESOLVE_NO_SYMLINKS | RESOLVE_NO_XDEV | RESOLVE_BENEATH;

// openat2 refuses symlinks and mount crossings in the same call that opens, so the walk needs no
// stat per folder to stay on its file system. Where it is missing (old kernels, some sandboxes)
// the walk falls back to openat and fstat.
std::atomic<bool> haveOpenat2{true};

int openat2Dir(int dirFd, const char* path, int flags, std::uint64_t resolve)
{
    open_how how{};
    how.flags = std::uint64_t(flags);
    how.resolve = resolve;
    const int fd = int(::syscall(SYS_openat2, dirFd, path, &how, sizeof how));
    // EPERM with O_NOATIME is the folder's owner check speaking, not a sandbox refusing openat2.
    if (fd < 0 && (errno == ENOSYS || (errno == EPERM && !(flags & O_NOATIME)))
        && haveOpenat2.load(std::memory_order_relaxed)) {
        const int saved = errno;
        haveOpenat2.store(false, std::memory_order_relaxed);
        errno = saved;
    }
    return fd;
}

// Reading a folder moves its access time on most mounts (relatime), and the time it had before is
// what a user asks about; O_NOATIME keeps it, but only for its owner or a privileged process.
// The caller predicts that from what it knows, so the common case costs one call; a wrong
// guess costs a second, plain open.
template <class Open>
int openKeepingAtime(int flags, bool keepAtime, Open open)
{
    if (keepAtime) {
        const int fd = open(flags | O_NOATIME);
        if (fd >= 0 || errno != EPERM)
            return fd;
    }
    return open(flags);
}

struct LinuxDirent64 {
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

// Splits a long path at '/' into pieces shorter than PATH_MAX, opening each piece relative to the
// previous one. `last` receives the final component, left unopened.
Fd openParentOf(std::string_view path, std::string& last, int& err)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    std::string_view dir;
    if (slash == std::string_view::npos) {
        dir = ".";
        last.assign(path);
    } else {
        dir = slash == 0 ? std::string_view("/") : path.substr(0, slash);
        last.assign(path.substr(slash + 1));
    }
    if (last.empty())
        last = ".";   // the path was "/"

    Fd current;   // AT_FDCWD until the first piece is open
    std::string piece;
    while (!dir.empty()) {
        std::size_t take = dir.size();
        if (take >= PATH_MAX) {
            take = dir.rfind('/', PATH_MAX - 1);
            if (take == std::string_view::npos || take == 0) {
                err = ENAMETOOLONG;
                return {};
            }
        }
        piece.assign(dir.substr(0, take));
        dir.remove_prefix(take);
        while (!dir.empty() && dir.front() == '/')
            dir.remove_prefix(1);
        const int at = current.valid() ? current.get() : AT_FDCWD;
        const int fd = ::openat(at, piece.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            err = errno;
            return {};
        }
        current = Fd(fd);
    }
    return current;
}

} // namespace

Fd& Fd::operator=(Fd&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

Fd::~Fd()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int Fd::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

DirReader::DirReader(int dirFd, char* buffer, std::size_t bufferSize)
    : fd_(dirFd), buf_(buffer), size_(bufferSize)
{
}

bool DirReader::next(DirEntry& entry)
{
    for (;;) {
        if (pos_ >= end_) {
            if (done_)
                return false;
            const long n = ::syscall(SYS_getdents64, fd_, buf_, size_);
            if (n < 0) {
                error_ = errno;
                done_ = true;
                return false;
            }
            if (n == 0) {
                done_ = true;
                return false;
            }
            pos_ = 0;
            end_ = std::size_t(n);
        }
        const auto* d = reinterpret_cast<const LinuxDirent64*>(buf_ + pos_);
        pos_ += d->d_reclen;
        const char* name = d->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        entry.name = std::string_view(name, std::strlen(name));
        entry.type = d->d_type;
        return true;
    }
}

// A path the kernel takes in one call, without its trailing slashes (which would make it follow
// a final link); empty when the path must be opened piece by piece.
static std::string wholePath(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    if (path.empty() || path.size() >= PATH_MAX)
        return {};
    return std::string(path);
}

Fd openDirectory(std::string_view path, int& err)
{
    if (const std::string whole = wholePath(path); !whole.empty()) {
        const int fd = openKeepingAtime(kDirFlags, true, [&](int flags) { return ::openat(AT_FDCWD, whole.c_str(), flags); });
        if (fd < 0)
            err = errno;
        return Fd(fd);
    }
    std::string last;
    Fd parent = openParentOf(path, last, err);
    if (!parent.valid())
        return {};
    const int base = last == "." ? (O_RDONLY | O_DIRECTORY | O_CLOEXEC) : kDirFlags;
    const int fd = openKeepingAtime(base, true, [&](int flags) { return ::openat(parent.get(), last.c_str(), flags); });
    if (fd < 0) {
        err = errno;
        return {};
    }
    return Fd(fd);
}

int lstatPath(std::string_view path, struct stat& st)
{
    if (const std::string whole = wholePath(path); !whole.empty())
        return ::fstatat(AT_FDCWD, whole.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
    std::string last;
    int err = 0;
    Fd parent = openParentOf(path, last, err);
    if (!parent.valid())
        return err;
    return ::fstatat(parent.get(), last.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

bool keepsEveryAccessTime()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    return ((data[CAP_FOWNER / 32].effective >> (CAP_FOWNER % 32)) & 1u) != 0;
}

void allowOpenat2(bool allowed)
{
    haveOpenat2.store(allowed, std::memory_order_relaxed);
}

int openSubfolder(int parentFd, const char* name, dev_t device, bool& otherDevice, bool keepAtime)
{
    otherDevice = false;
    int fd = -1;
    if (haveOpenat2.load(std::memory_order_relaxed)) {
        fd = openKeepingAtime(kDirFlags, keepAtime,
                              [&](int flags) { return openat2Dir(parentFd, name, flags, kResolveBeneath); });
        if (fd >= 0)
            return fd;
        if (errno != EXDEV && haveOpenat2.load(std::memory_order_relaxed))
            return -1;
        // A mount point (a bind mount of this very file system is entered like du -x does).
    }
    fd = openKeepingAtime(kDirFlags, keepAtime, [&](int flags) { return ::openat(parentFd, name, flags); });
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    if (st.st_dev != device) {
        ::close(fd);
        otherDevice = true;
        errno = EXDEV;
        return -1;
    }
    return fd;
}

int openBeneath(int rootFd, std::string_view relative, bool keepAtime)
{
    // Without openat2 each component is opened on its own with O_NOFOLLOW. Only the last one is
    // read, so only it needs O_NOATIME.
    std::string piece;
    int current = rootFd;
    bool own = false;
    while (!relative.empty()) {
        std::size_t take = relative.size();
        if (take >= PATH_MAX) {
            take = relative.rfind('/', PATH_MAX - 1);
            if (take == std::string_view::npos || take == 0) {
                if (own)
                    ::close(current);
                errno = ENAMETOOLONG;
                return -1;
            }
        }
        piece.assign(relative.substr(0, take));
        relative.remove_prefix(take);
        while (!relative.empty() && relative.front() == '/')
            relative.remove_prefix(1);
        const bool lastPiece = relative.empty();

        int fd = -1;
        if (haveOpenat2.load(std::memory_order_relaxed))
            fd = openKeepingAtime(kDirFlags, keepAtime && lastPiece,
                                  [&](int flags) { return openat2Dir(current, piece.c_str(), flags, kResolveBeneath); });
        if (!haveOpenat2.load(std::memory_order_relaxed)) {
            fd = current;
            std::size_t start = 0;
            while (start <= piece.size()) {
                std::size_t stop = piece.find('/', start);
                if (stop == std::string::npos)
                    stop = piece.size();
                const std::string name = piece.substr(start, stop - start);
                const bool lastName = lastPiece && piece.find_first_not_of('/', stop) == std::string::npos;
                start = stop + 1;
                if (name.empty())
                    continue;
                const int next = openKeepingAtime(kDirFlags, keepAtime && lastName,
                                                  [&](int flags) { return ::openat(fd, name.c_str(), flags); });
                const int saved = errno;
                if (fd != current)
                    ::close(fd);
                fd = next;
                if (fd < 0) {
                    errno = saved;
                    break;
                }
            }
        }
        const int saved = errno;
        if (own)
            ::close(current);
        if (fd < 0) {
            errno = saved;
            return -1;
        }
        current = fd;
        own = true;
    }
    if (!own)
        return ::fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
    return current;
}

} // namespace torvane::walkio
