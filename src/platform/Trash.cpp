#include "platform/Trash.h"

#include "platform/Keys.h"
#include "platform/LongPath.h"
#include "platform/PlatformError.h"
#include "platform/TrashInfo.h"
#include "platform/TrashTree.h"
#include "platform/WalkIo.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace torvane {

namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
constexpr qsizetype kNameMax = NAME_MAX;

QString shown(const QByteArray& path)
{
    return displayName(path);
}

QString errorText(int err)
{
    return PlatformError::fromErrno(err).description();
}

using walkio::Fd;

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

bool isInside(const QByteArray& path, const QByteArray& folder)
{
    if (folder == "/")
        return path.startsWith('/');
    return path == folder || path.startsWith(folder + '/');
}

// The path of a folder with its links resolved; empty when it cannot be opened.
QByteArray canonical(const QByteArray& path)
{
    QByteArray resolved;
    const Fd fd(resolveFolder(path, resolved));
    return fd.valid() ? resolved : QByteArray();
}

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

// The device the home trash is (or will be) on: that of its nearest existing ancestor.
dev_t homeTrashDevice(const QByteArray& trash)
{
    QByteArray p = trash;
    struct stat st;
    while (::stat(p.constData(), &st) != 0) {
        if (p == "/")
            return 0;
        p = parentOf(p);
    }
    return st.st_dev;
}

// The mount point of the file system that holds the folder open at folderFd, whose path (with no
// links) is `folder`: the last ancestor on the same device, climbed to by "..", so that a folder
// deeper than PATH_MAX finds its top as well. Returns the top's path and its descriptor in topFd.
QByteArray volumeTop(int folderFd, const QByteArray& folder, dev_t device, int& topFd)
{
    QByteArray top = folder;
    topFd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (topFd < 0)
        throw PlatformError::fromErrno(errno);
    while (top != "/") {
        const int up = ::openat(topFd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        struct stat st;
        if (up < 0)
            break;
        if (::fstat(up, &st) != 0 || st.st_dev != device) {
            ::close(up);
            break;
        }
        ::close(topFd);
        topFd = up;
        top = parentOf(top);
    }
    return top;
}

// True for $top/.Trash and $top/.Trash-<uid> of any user.
bool isVolumeTrashName(const QByteArray& name)
{
    if (name == ".Trash")
        return true;
    if (!name.startsWith(".Trash-") || name.size() == 7)
        return false;
    for (qsizetype i = 7; i < name.size(); ++i) {
        if (name.at(i) < '0' || name.at(i) > '9')
            return false;
    }
    return true;
}

void refuseTrashFolders(const QByteArray& item, const QByteArray& top, const QByteArray& homeTrash)
{
    bool refused = false;
    // The default home trash stays a trash folder also while XDG_DATA_HOME points elsewhere.
    for (const QByteArray& trash : {homeTrash, qgetenv("HOME") + "/.local/share/Trash"}) {
        // A trash that is not made yet may still be made inside the item, so its literal path counts.
        QByteArray real = canonical(trash);
        if (real.isEmpty())
            real = trash;
        refused = refused || (real.startsWith('/') && (isInside(item, real) || isInside(real, item)));
    }
    const QByteArray below = top == "/" ? item.mid(1) : item.mid(top.size() + 1);
    const qsizetype slash = below.indexOf('/');
    refused = refused || isVolumeTrashName(slash < 0 ? below : below.left(slash));
    if (refused) {
        throw PlatformError(EINVAL, QStringLiteral("%1 is a trash folder or holds one; it cannot be "
                                                   "moved to the trash.").arg(shown(item)));
    }
}

// The trash of another volume, relative to its top (open at topFd): .Trash/$uid when the
// administrator made a valid .Trash, else .Trash-$uid. Returns an empty path with errno set when
// neither can be used.
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

// Room for ".NNNNN.trashinfo" behind the name within one file name's length.
QByteArray shortenedName(const QByteArray& name)
{
    constexpr qsizetype room = kNameMax - qsizetype(sizeof(".trashinfo") - 1) - 7;
    if (name.size() <= room)
        return name;
    qsizetype cut = room;
    // Cut before a UTF-8 continuation byte would split a character.
    while (cut > 0 && (static_cast<unsigned char>(name.at(cut)) & 0xC0) == 0x80)
        --cut;
    return name.left(cut);
}

void writeAll(int fd, const QByteArray& data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw PlatformError::fromErrno(errno);
        }
        done += n;
    }
}

// Moves with RENAME_NOREPLACE so an entry already in files/ (left there without its info) is
// never overwritten; file systems without it get a look first.
int moveNoReplace(int fromFd, const QByteArray& from, int toFd, const QByteArray& to)
{
    if (::renameat2(fromFd, from.constData(), toFd, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    struct stat st;
    if (::fstatat(toFd, to.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(fromFd, from.constData(), toFd, to.constData()) == 0 ? 0 : errno;
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

} // namespace

QByteArray homeTrashPath()
{
    QByteArray data = qgetenv("XDG_DATA_HOME");
    if (!data.startsWith('/'))
        data = qgetenv("HOME") + "/.local/share";
    while (data.size() > 1 && data.endsWith('/'))
        data.chop(1);
    return data + "/Trash";
}

TrashedItem moveToTrash(const QByteArray& path)
{
    QByteArray trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith('/'))
        trimmed.chop(1);
    const QByteArray name = lastComponent(trimmed);
    if (name.isEmpty() || name == "." || name == ".." || !trimmed.startsWith('/'))
        throw PlatformError(EINVAL, QStringLiteral("%1 cannot be moved to the trash.").arg(shown(path)));

    // The folder is opened component by component and everything after works relative to it,
    // so an item deeper than PATH_MAX is trashed like any other.
    QByteArray folder;
    const Fd folderFd(resolveFolder(parentOf(trimmed), folder));
    if (!folderFd.valid())
        throw PlatformError::fromErrno(errno);
    const QByteArray item = joinPath(folder, name);
    struct stat folderStat;
    struct stat itemStat;
    if (::fstat(folderFd.get(), &folderStat) != 0
        || ::fstatat(folderFd.get(), name.constData(), &itemStat, AT_SYMLINK_NOFOLLOW) != 0)
        throw PlatformError::fromErrno(errno);
    if (itemStat.st_dev != folderStat.st_dev) {
        throw PlatformError(EBUSY, QStringLiteral("%1 is the mount point of another volume; it cannot "
                                                  "be moved to the trash.").arg(shown(item)));
    }

    const QByteArray homeTrash = homeTrashPath();
    int topDescriptor = -1;
    const QByteArray top = volumeTop(folderFd.get(), folder, folderStat.st_dev, topDescriptor);
    const Fd topFd(topDescriptor);
    refuseTrashFolders(item, top, homeTrash);

    QByteArray trash;
    int trashBase = AT_FDCWD;   // the trash's path is relative to this
    QByteArray trashRelative;
    QByteArray infoPath;
    if (folderStat.st_dev == homeTrashDevice(homeTrash)) {
        if (!makeHomeTrash(homeTrash)) {
            const int err = errno;
            throw PlatformError(err, QStringLiteral("The trash %1 could not be made: %2. Nothing was "
                                                    "moved.").arg(shown(homeTrash), errorText(err)));
        }
        trash = homeTrash;
        trashRelative = homeTrash;
        infoPath = item;
    } else {
        trashRelative = volumeTrash(topFd.get());
        if (trashRelative.isEmpty()) {
            const int err = errno;
            throw PlatformError(err, QStringLiteral("The volume at %1 has no trash that could be used "
                                                    "(%2). Nothing was moved.").arg(shown(top), errorText(err)));
        }
        trashBase = topFd.get();
        trash = joinPath(top, trashRelative);
        // Relative to the volume's top, so the item can be restored wherever the volume is mounted.
        infoPath = top == "/" ? item.mid(1) : item.mid(top.size() + 1);
    }

    const Fd filesFd(::openat(trashBase, (trashRelative + "/files").constData(), kDirFlags | O_NOFOLLOW));
    const Fd infoFd(::openat(trashBase, (trashRelative + "/info").constData(), kDirFlags | O_NOFOLLOW));
    if (!filesFd.valid() || !infoFd.valid())
        throw PlatformError::fromErrno(errno);

    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    const QByteArray info = trashInfoText(infoPath, local);
    const QByteArray base = shortenedName(name);

    for (int n = 1; n < 100000; ++n) {
        const QByteArray candidate = n == 1 ? base : base + '.' + QByteArray::number(n);
        const QByteArray infoName = candidate + ".trashinfo";
        // The info file is claimed with O_EXCL before anything moves: two trashing programs can
        // never pick the same name, and a crash leaves at worst an info without its item.
        const int fd = ::openat(infoFd.get(), infoName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            throw PlatformError::fromErrno(errno);
        }
        try {
            writeAll(fd, info);
        } catch (...) {
            ::close(fd);
            ::unlinkat(infoFd.get(), infoName.constData(), 0);
            throw;
        }
        if (::close(fd) != 0) {
            const int err = errno;
            ::unlinkat(infoFd.get(), infoName.constData(), 0);
            throw PlatformError::fromErrno(err);
        }
        const int err = moveNoReplace(folderFd.get(), name, filesFd.get(), candidate);
        if (err == 0)
            return TrashedItem{trash, candidate};
        ::unlinkat(infoFd.get(), infoName.constData(), 0);
        if (err == EEXIST || err == ENOTEMPTY)
            continue;
        throw PlatformError(err, QStringLiteral("%1 could not be moved to the trash: %2").arg(
                                     shown(item), errorText(err)));
    }
    throw PlatformError(EEXIST, QStringLiteral("The trash holds too many items named %1.").arg(shown(name)));
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

void emptyTrash(const std::vector<QByteArray>& volumeMounts)
{
    int firstError = 0;
    auto note = [&firstError](int err) {
        if (firstError == 0 && err != 0)
            firstError = err;
    };
    for (const QByteArray& trash : trashDirectories(volumeMounts)) {
        const Fd trashFd(::open(trash.constData(), kDirFlags));
        if (!trashFd.valid()) {
            note(errno);
            continue;
        }
        // Items first, then their info: an interrupted run leaves info without items, which file
        // managers clean up, never items nobody can restore.
        for (const char* sub : {"files", "info"}) {
            const Fd fd(::openat(trashFd.get(), sub, kDirFlags | O_NOFOLLOW));
            if (!fd.valid()) {
                if (errno != ENOENT)
                    note(errno);
                continue;
            }
            int error = 0;
            for (const QByteArray& name : entryNames(fd.get(), error)) {
                try {
                    removeTree(fd.get(), name);
                } catch (const PlatformError& e) {
                    note(e.number());
                }
            }
            note(error);
        }
        if (::unlinkat(trashFd.get(), "directorysizes", 0) != 0 && errno != ENOENT)
            note(errno);
    }
    if (firstError != 0)
        throw PlatformError::fromErrno(firstError);
}

} // namespace torvane
