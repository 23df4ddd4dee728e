#include "fs/RenameNoReplace.h"

#include "fs/LongPath.h"
#include "fs/PlatformError.h"
#include "fs/WalkIo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace torvane {

namespace {

using walkio::Fd;

// A path as its folder's descriptor and the last name in it. Every call below works relative to
// the folder, so a path longer than PATH_MAX is handled like a short one.
struct Located {
    Fd folder;
    QByteArray name;
    int error;   // why the folder could not be opened, or 0
};

Located locate(const QByteArray& path)
{
    PathParts parts = splitPath(path);
    const int fd = openFolder(parts.folder, O_PATH);
    return Located{Fd(fd), std::move(parts.name), fd < 0 ? errno : 0};
}

int renameat2NoReplace(int fromFd, const char* from, int toFd, const char* to)
{
#ifdef SYS_renameat2
    return int(::syscall(SYS_renameat2, fromFd, from, toFd, to, RENAME_NOREPLACE));
#else
    errno = ENOSYS;
    return -1;
#endif
}

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

// Calls visit(folder fd, entry) for each entry but "." and "..".
template <typename Visit>
void forEachEntry(const QByteArray& folder, Visit visit)
{
    const int fd = openFolder(folder, O_RDONLY);
    if (fd < 0)
        throw PlatformError::fromErrno(errno);
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
    if (!dir) {
        const int err = errno;
        ::close(fd);
        throw PlatformError::fromErrno(err);
    }
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(dir.get());
        if (!e) {
            if (errno != 0)
                throw PlatformError::fromErrno(errno);
            return;
        }
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            visit(fd, e);
    }
}

// lstat of a path of any length; 0 or the errno.
int statEntry(const QByteArray& path, struct stat& st)
{
    const Located at = locate(path);
    if (!at.folder.valid())
        return at.error;
    return ::fstatat(at.folder.get(), at.name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

} // namespace

void renameNoReplace(const QByteArray& oldPath, const QByteArray& newPath)
{
    const Located from = locate(oldPath);
    if (!from.folder.valid())
        throw PlatformError::fromErrno(from.error);
    // A rename within one folder, the usual case, opens it once.
    const PathParts newParts = splitPath(newPath);
    const bool sameFolder = newParts.folder == splitPath(oldPath).folder;
    const Fd newFolder(sameFolder ? -1 : openFolder(newParts.folder, O_PATH));
    const int toFd = sameFolder ? from.folder.get() : newFolder.get();
    if (toFd < 0)
        throw PlatformError::fromErrno(errno);
    const char* fromName = from.name.constData();
    const char* toName = newParts.name.constData();

    if (renameat2NoReplace(from.folder.get(), fromName, toFd, toName) == 0)
        return;
    const int err = errno;
    // A file system without the flag (some FUSE and network mounts) says EINVAL; there the check
    // and the rename are two steps, which is the best such a file system allows.
    if (err != EINVAL && err != ENOSYS)
        throw PlatformError::fromErrno(err);
    struct stat st {};
    if (::fstatat(toFd, toName, &st, AT_SYMLINK_NOFOLLOW) == 0)
        throw PlatformError::fromErrno(EEXIST);
    if (errno != ENOENT && errno != ENOTDIR)
        throw PlatformError::fromErrno(errno);
    if (::renameat(from.folder.get(), fromName, toFd, toName) != 0)
        throw PlatformError::fromErrno(errno);
}

bool sameInode(const QByteArray& a, const QByteArray& b)
{
    struct stat sa {};
    struct stat sb {};
    if (statEntry(a, sa) != 0 || statEntry(b, sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool entryExists(const QByteArray& path)
{
    struct stat st {};
    const int err = statEntry(path, st);
    if (err == 0)
        return true;
    if (err == ENOENT || err == ENOTDIR)
        return false;
    throw PlatformError::fromErrno(err);
}

bool isFolder(const QByteArray& path)
{
    const Fd folder(openFolder(path, O_PATH));
    return folder.valid();
}

bool folderListsName(const QByteArray& folder, const QByteArray& name)
{
    bool found = false;
    forEachEntry(folder, [&](int, const dirent* e) { found = found || name == e->d_name; });
    return found;
}

FolderEntries readFolderEntries(const QByteArray& path)
{
    FolderEntries entries;
    forEachEntry(path, [&](int fd, const dirent* e) {
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                return;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR)
            entries.folders.emplace_back(e->d_name);
        else if (type == DT_REG)
            entries.files.emplace_back(e->d_name);
    });
    return entries;
}

} // namespace torvane
