// Where the trashes are: the home trash and those of other volumes, found for listing and
// emptying, or made for an item being put in the trash; and what they hold.

#include "desktop/Trash.h"

#include "desktop/TrashPrivate.h"
#include "desktop/TrashTree.h"
#include "fs/PlatformError.h"
#include "fs/WalkIo.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

namespace torvane {

using walkio::Fd;

namespace {

QByteArray uidText()
{
    return QByteArray::number(qulonglong(::getuid()));
}

// A trash folder the user may put things in: a real directory (not a link) that the user owns.
bool ownDirectory(int dirFd, const QByteArray& path)
{
    struct stat st;
    return ::fstatat(dirFd, path.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)
           && st.st_uid == ::getuid();
}

// An administrator's shared $top/.Trash: a real directory with the sticky bit, so users cannot
// remove each other's $uid folders. Anything else there must not be used.
bool validSharedTrash(int dirFd, const QByteArray& path)
{
    struct stat st;
    return ::fstatat(dirFd, path.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)
           && (st.st_mode & S_ISVTX);
}

bool makeDirectory(int dirFd, const QByteArray& path)
{
    return ::mkdirat(dirFd, path.constData(), 0700) == 0 || errno == EEXIST;
}

// The trash's files/ and info/, made when missing. Returns false with errno set.
bool makeTrashFolders(int dirFd, const QByteArray& trash)
{
    return makeDirectory(dirFd, trash + "/files") && makeDirectory(dirFd, trash + "/info");
}

} // namespace

namespace trashimpl {

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

bool makeHomeTrash(const QByteArray& trash)
{
    // Every missing folder on the way (XDG_DATA_HOME may not exist yet) is private to the user.
    for (qsizetype i = 1; i <= trash.size(); ++i) {
        if (i == trash.size() || trash.at(i) == '/') {
            if (!makeDirectory(AT_FDCWD, trash.left(i)))
                return false;
        }
    }
    struct stat st;
    if (::stat(trash.constData(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return makeTrashFolders(AT_FDCWD, trash);
}

bool sameMount(const MountPlace& a, const MountPlace& b)
{
    if (a.mountKnown && b.mountKnown)
        return a.device == b.device && a.mount == b.mount;
    return a.device == b.device;
}

bool placeOf(int dirFd, const char* name, int flags, MountPlace& place)
{
    struct statx stx;
    if (::statx(dirFd, name, flags | AT_STATX_SYNC_AS_STAT, STATX_INO | STATX_MNT_ID, &stx) != 0)
        return false;
    place.device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
    // Kernels before 5.8 leave the mount id out; the device is all there is then.
    place.mountKnown = (stx.stx_mask & STATX_MNT_ID) != 0;
    place.mount = place.mountKnown ? stx.stx_mnt_id : 0;
    return true;
}

MountPlace homeTrashPlace(const QByteArray& trash)
{
    QByteArray p = trash;
    MountPlace place;
    while (!placeOf(AT_FDCWD, p.constData(), 0, place)) {
        if (p == "/")
            return {};
        p = parentOf(p);
    }
    return place;
}

QByteArray volumeTop(int folderFd, const QByteArray& folder, const MountPlace& place, int& topFd)
{
    QByteArray top = folder;
    topFd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (topFd < 0)
        throw PlatformError::fromErrno(errno);
    while (top != "/") {
        const int up = ::openat(topFd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        MountPlace upPlace;
        if (up < 0)
            break;
        if (!placeOf(up, "", AT_EMPTY_PATH, upPlace) || !sameMount(upPlace, place)) {
            ::close(up);
            break;
        }
        ::close(topFd);
        topFd = up;
        top = parentOf(top);
    }
    return top;
}

QByteArray volumeTrash(int topFd)
{
    if (validSharedTrash(topFd, ".Trash")) {
        const QByteArray own = ".Trash/" + uidText();
        if (makeDirectory(topFd, own) && ownDirectory(topFd, own) && makeTrashFolders(topFd, own))
            return own;
    }
    const QByteArray own = ".Trash-" + uidText();
    if (!makeDirectory(topFd, own))
        return {};
    if (!ownDirectory(topFd, own)) {
        errno = EPERM;
        return {};
    }
    if (!makeTrashFolders(topFd, own))
        return {};
    return own;
}

std::vector<QByteArray> entryNames(int fd, int& error)
{
    std::vector<QByteArray> names;
    const int streamFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    DIR* dir = streamFd < 0 ? nullptr : ::fdopendir(streamFd);
    if (!dir) {
        error = errno;
        if (streamFd >= 0)
            ::close(streamFd);
        return names;
    }
    errno = 0;
    while (const dirent* d = ::readdir(dir)) {
        const QByteArray name(d->d_name);
        if (name != "." && name != "..")
            names.push_back(name);
    }
    if (errno != 0)
        error = errno;
    ::closedir(dir);
    return names;
}

} // namespace trashimpl

using namespace trashimpl;

QByteArray homeTrashPath()
{
    QByteArray data = qgetenv("XDG_DATA_HOME");
    if (!data.startsWith('/'))
        data = qgetenv("HOME") + "/.local/share";
    while (data.size() > 1 && data.endsWith('/'))
        data.chop(1);
    return data + "/Trash";
}

std::vector<QByteArray> trashDirectories(const std::vector<QByteArray>& volumeMounts)
{
    std::vector<QByteArray> candidates;
    candidates.push_back(homeTrashPath());
    for (const QByteArray& mount : volumeMounts) {
        QByteArray top = mount;
        while (top.size() > 1 && top.endsWith('/'))
            top.chop(1);
        const QByteArray base = top == "/" ? QByteArray() : top;
        if (validSharedTrash(AT_FDCWD, base + "/.Trash"))
            candidates.push_back(base + "/.Trash/" + uidText());
        candidates.push_back(base + "/.Trash-" + uidText());
    }
    std::vector<QByteArray> trashes;
    std::set<std::pair<dev_t, ino_t>> seen;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        struct stat st;
        // The home trash may be a link the user made; a volume's trash folder never is.
        const int rc = i == 0 ? ::stat(candidates[i].constData(), &st) : ::lstat(candidates[i].constData(), &st);
        if (rc != 0 || !S_ISDIR(st.st_mode) || (i > 0 && st.st_uid != ::getuid()))
            continue;
        if (seen.insert({st.st_dev, st.st_ino}).second)
            trashes.push_back(candidates[i]);
    }
    return trashes;
}

TrashContents trashContents(const std::vector<QByteArray>& volumeMounts)
{
    TrashContents contents;
    for (const QByteArray& trash : trashDirectories(volumeMounts)) {
        const Fd files(::open((trash + "/files").constData(), kDirFlags | O_NOFOLLOW));
        if (!files.valid())
            continue;
        int error = 0;
        for (const QByteArray& name : entryNames(files.get(), error)) {
            ++contents.items;
            contents.bytes += measureTree(files.get(), name).bytes;
        }
    }
    return contents;
}

} // namespace torvane
