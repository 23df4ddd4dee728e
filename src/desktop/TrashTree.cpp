#include "desktop/TrashTree.h"

#include "fs/PlatformError.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace torvane {

namespace {

struct Entry {
    QByteArray name;
    struct stat st;
};

// One directory being walked. Only the current directory's descriptor is open; the way back up
// goes through ".." and is checked against the device and inode remembered here, so the depth of
// a tree costs memory for names but never descriptors or stack.
struct Level {
    dev_t dev;
    ino_t ino;
    QByteArray name;
    std::vector<Entry> subfolders;
    std::size_t next = 0;
};

class Visitor {
public:
    virtual ~Visitor() = default;
    virtual void file(int dirFd, const Entry& entry) = 0;
    virtual void folder(const Entry&) {}
    // A directory of another file system, mounted below the walked one.
    virtual void mountPoint(const Entry& entry) = 0;
    // The directory `name` in dirFd is done: everything below it has been visited.
    virtual void leave(int, const QByteArray&) {}
    // The directory is open; called before it is read.
    virtual void entered(int, const struct stat&) {}
    // Opening the directory failed with EACCES; true when it was made accessible and may be retried.
    virtual bool unlock(int, const Entry&) { return false; }
    virtual bool stopped() const { return false; }

    void fail(int err)
    {
        if (firstError == 0)
            firstError = err;
    }
    int firstError = 0;
};

int openFolder(int dirFd, const Entry& entry, Visitor& visitor)
{
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(dirFd, entry.name.constData(), flags);
    if (fd < 0 && errno == EACCES && visitor.unlock(dirFd, entry))
        fd = ::openat(dirFd, entry.name.constData(), flags);
    if (fd < 0) {
        visitor.fail(errno);
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_dev != entry.st.st_dev || st.st_ino != entry.st.st_ino) {
        // Replaced between the look and the open: not the directory that was listed.
        ::close(fd);
        visitor.fail(ESTALE);
        return -1;
    }
    visitor.entered(fd, st);
    return fd;
}

// Reads the directory open at fd: non-directories go to the visitor at once, subdirectories of
// the same file system are kept in the level for the walk to descend into.
void readLevel(int fd, dev_t device, Level& level, Visitor& visitor)
{
    const int streamFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    DIR* dir = streamFd < 0 ? nullptr : ::fdopendir(streamFd);
    if (!dir) {
        visitor.fail(errno);
        if (streamFd >= 0)
            ::close(streamFd);
        return;
    }
    std::vector<Entry> files;
    errno = 0;
    while (const dirent* d = ::readdir(dir)) {
        const QByteArray name(d->d_name);
        if (name == "." || name == "..")
            continue;
        Entry entry{name, {}};
        if (::fstatat(fd, d->d_name, &entry.st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                visitor.fail(errno);
            errno = 0;
            continue;
        }
        if (!S_ISDIR(entry.st.st_mode))
            files.push_back(std::move(entry));
        else if (entry.st.st_dev != device)
            visitor.mountPoint(entry);
        else
            level.subfolders.push_back(std::move(entry));
        errno = 0;
    }
    if (errno != 0)
        visitor.fail(errno);
    ::closedir(dir);
    // The listing is complete before anything in it is removed, so removal cannot disturb it.
    for (const Entry& entry : files)
        visitor.file(fd, entry);
    for (const Entry& entry : level.subfolders)
        visitor.folder(entry);
}

void walkTree(int dirFd, const QByteArray& name, Visitor& visitor)
{
    Entry root{name, {}};
    if (::fstatat(dirFd, name.constData(), &root.st, AT_SYMLINK_NOFOLLOW) != 0) {
        visitor.fail(errno);
        return;
    }
    if (!S_ISDIR(root.st.st_mode)) {
        visitor.file(dirFd, root);
        return;
    }
    const dev_t device = root.st.st_dev;
    int fd = openFolder(dirFd, root, visitor);
    if (fd < 0)
        return;
    std::vector<Level> levels;
    levels.push_back(Level{root.st.st_dev, root.st.st_ino, name, {}, 0});
    readLevel(fd, device, levels.back(), visitor);

    while (!visitor.stopped()) {
        Level& level = levels.back();
        if (level.next < level.subfolders.size()) {
            const Entry child = level.subfolders[level.next++];
            const int childFd = openFolder(fd, child, visitor);
            if (childFd < 0)
                continue;
            ::close(fd);
            fd = childFd;
            levels.push_back(Level{child.st.st_dev, child.st.st_ino, child.name, {}, 0});
            readLevel(fd, device, levels.back(), visitor);
            continue;
        }
        const QByteArray done = level.name;
        levels.pop_back();
        if (levels.empty()) {
            ::close(fd);
            visitor.leave(dirFd, done);
            return;
        }
        const int parentFd = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st;
        const bool sameParent = parentFd >= 0 && ::fstat(parentFd, &st) == 0
            && st.st_dev == levels.back().dev && st.st_ino == levels.back().ino;
        ::close(fd);
        if (!sameParent) {
            // The tree was moved while it was walked; going on could act on another folder.
            visitor.fail(parentFd < 0 ? errno : ESTALE);
            if (parentFd >= 0)
                ::close(parentFd);
            return;
        }
        fd = parentFd;
        visitor.leave(fd, done);
    }
    ::close(fd);
}

class Measure final : public Visitor {
public:
    explicit Measure(const std::atomic<bool>* stop) : stop_(stop) {}

    void file(int, const Entry& entry) override
    {
        ++totals.files;
        if (entry.st.st_nlink > 1 && !seen_.insert({entry.st.st_dev, entry.st.st_ino}).second)
            return;
        totals.bytes += std::uint64_t(entry.st.st_size);
        totals.allocated += std::uint64_t(entry.st.st_blocks) * 512;
    }
    void folder(const Entry&) override { ++totals.folders; }
    void entered(int, const struct stat& st) override { totals.allocated += std::uint64_t(st.st_blocks) * 512; }
    void mountPoint(const Entry&) override { ++totals.folders; }
    bool stopped() const override { return stop_ && stop_->load(std::memory_order_relaxed); }

    TreeTotals totals;

private:
    const std::atomic<bool>* stop_;
    std::set<std::pair<dev_t, ino_t>> seen_;
};

class Remove final : public Visitor {
public:
    void file(int dirFd, const Entry& entry) override
    {
        if (::unlinkat(dirFd, entry.name.constData(), 0) != 0 && errno != ENOENT)
            fail(errno);
    }
    void mountPoint(const Entry&) override { fail(EBUSY); }
    void leave(int dirFd, const QByteArray& name) override
    {
        if (::unlinkat(dirFd, name.constData(), AT_REMOVEDIR) != 0 && errno != ENOENT)
            fail(errno);
    }
    // Read-only folders (a module cache, an unpacked archive) are common in a trash; their owner
    // may empty them, so they are opened up before their entries are removed.
    void entered(int fd, const struct stat& st) override
    {
        if (st.st_uid == ::geteuid() && (st.st_mode & S_IRWXU) != S_IRWXU)
            ::fchmod(fd, (st.st_mode & 07777) | S_IRWXU);
    }
    bool unlock(int dirFd, const Entry& entry) override
    {
        if (entry.st.st_uid != ::geteuid())
            return false;
        return ::fchmodat(dirFd, entry.name.constData(), (entry.st.st_mode & 07777) | S_IRWXU, 0) == 0;
    }
};

} // namespace

TreeTotals measureTree(int dirFd, const QByteArray& name, const std::atomic<bool>* stop)
{
    Measure measure(stop);
    walkTree(dirFd, name, measure);
    measure.totals.error = measure.firstError;
    return measure.totals;
}

void removeTree(int dirFd, const QByteArray& name)
{
    // A file system mounted on the entry itself is not ours to empty either.
    struct stat parent;
    struct stat entry;
    if (dirFd != AT_FDCWD && ::fstat(dirFd, &parent) == 0
        && ::fstatat(dirFd, name.constData(), &entry, AT_SYMLINK_NOFOLLOW) == 0 && entry.st_dev != parent.st_dev)
        throw PlatformError::fromErrno(EBUSY);
    Remove remove;
    walkTree(dirFd, name, remove);
    if (remove.firstError != 0)
        throw PlatformError::fromErrno(remove.firstError);
}

} // namespace torvane
