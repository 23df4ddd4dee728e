#include "platform/RenameNoReplace.h"

#include "platform/PlatformError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

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

int renameat2NoReplace(const char* from, const char* to)
{
#ifdef SYS_renameat2
    return int(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE));
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
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

} // namespace

void renameNoReplace(const QByteArray& oldPath, const QByteArray& newPath)
{
    if (renameat2NoReplace(oldPath.constData(), newPath.constData()) == 0)
        return;
    const int err = errno;
    // A file system without the flag (some FUSE and network mounts) says EINVAL; there the check
    // and the rename are two steps, which is the best such a file system allows.
    if (err != EINVAL && err != ENOSYS)
        throw PlatformError::fromErrno(err);
    if (entryExists(newPath))
        throw PlatformError::fromErrno(EEXIST);
    if (::rename(oldPath.constData(), newPath.constData()) != 0)
        throw PlatformError::fromErrno(errno);
}

bool sameInode(const QByteArray& a, const QByteArray& b)
{
    struct stat sa {};
    struct stat sb {};
    if (::lstat(a.constData(), &sa) != 0 || ::lstat(b.constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool entryExists(const QByteArray& path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0)
        return true;
    if (errno == ENOENT || errno == ENOTDIR)
        return false;
    throw PlatformError::fromErrno(errno);
}

bool isFolder(const QByteArray& path)
{
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
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
