// Putting an item into the trash of its volume, with the .trashinfo that lets a file manager
// put it back.

#include "desktop/Trash.h"

#include "desktop/TrashInfo.h"
#include "desktop/TrashPrivate.h"
#include "fs/Keys.h"
#include "fs/LongPath.h"
#include "fs/PlatformError.h"
#include "fs/WalkIo.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace torvane {

using walkio::Fd;
using namespace trashimpl;

namespace {

constexpr qsizetype kNameMax = NAME_MAX;

QString shown(const QByteArray& path)
{
    return displayName(path);
}

QString errorText(int err)
{
    return PlatformError::fromErrno(err).description();
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

} // namespace

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

} // namespace torvane
