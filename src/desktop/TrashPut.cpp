// Putting an item into the trash of its volume, with the .trashinfo that lets a file manager
// put it back.

#include "desktop/Trash.h"

#include "desktop/TrashInfo.h"
#include "desktop/TrashPrivate.h"
#include "desktop/TrashTree.h"
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

PlatformError moveFailed(const QByteArray& item, int err)
{
    return PlatformError(err, QStringLiteral("%1 could not be moved to the trash: %2").arg(shown(item), errorText(err)));
}

// A trash opened for one move: its folder, with files/ and info/ inside it.
struct OpenTrash {
    QByteArray path;
    Fd dir;
    Fd files;
    Fd info;
};

// Opens the trash at `relative` from base (AT_FDCWD for an absolute path). The home trash itself
// may be a link the user made; its files/ and info/, like everything in a volume's trash, are
// never reached through a link, which could lead the item anywhere.
OpenTrash openTrash(int base, const QByteArray& relative, const QByteArray& path, bool mayBeLink)
{
    OpenTrash trash{path, Fd(::openat(base, relative.constData(), kDirFlags | (mayBeLink ? 0 : O_NOFOLLOW))), {}, {}};
    if (trash.dir.valid())
        trash.files = Fd(::openat(trash.dir.get(), "files", kDirFlags | O_NOFOLLOW));
    if (trash.files.valid())
        trash.info = Fd(::openat(trash.dir.get(), "info", kDirFlags | O_NOFOLLOW));
    if (!trash.info.valid()) {
        const int err = errno;
        throw PlatformError(err, QStringLiteral("The trash %1 could not be used: %2. Nothing was moved.")
                                     .arg(shown(path), errorText(err)));
    }
    return trash;
}

// Moves the entry `name` of folderFd into files/ under the first free name, its info claimed
// first. Returns the name, or an empty name with `error` set when the move itself failed.
QByteArray putInto(const OpenTrash& trash, int folderFd, const QByteArray& name, const QByteArray& info, int& error)
{
    const QByteArray base = shortenedName(name);
    for (int n = 1; n < 100000; ++n) {
        const QByteArray candidate = n == 1 ? base : base + '.' + QByteArray::number(n);
        const QByteArray infoName = candidate + ".trashinfo";
        // The info file is claimed with O_EXCL before anything moves: two trashing programs can
        // never pick the same name, and a crash leaves at worst an info without its item.
        const int fd = ::openat(trash.info.get(), infoName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            throw PlatformError::fromErrno(errno);
        }
        try {
            writeAll(fd, info);
        } catch (...) {
            ::close(fd);
            ::unlinkat(trash.info.get(), infoName.constData(), 0);
            throw;
        }
        if (::close(fd) != 0) {
            const int err = errno;
            ::unlinkat(trash.info.get(), infoName.constData(), 0);
            throw PlatformError::fromErrno(err);
        }
        const int err = moveNoReplace(folderFd, name, trash.files.get(), candidate);
        if (err == 0)
            return candidate;
        ::unlinkat(trash.info.get(), infoName.constData(), 0);
        if (err != EEXIST && err != ENOTEMPTY) {
            error = err;
            return {};
        }
    }
    throw PlatformError(EEXIST, QStringLiteral("The trash holds too many items named %1.").arg(shown(name)));
}

// The folder's line in directorysizes. Only a shortcut for whoever totals the trash: the item is
// in the trash whether or not the line could be written.
TrashedItem noted(const OpenTrash& trash, const QByteArray& trashed)
{
    struct stat item;
    struct stat info;
    if (::fstatat(trash.files.get(), trashed.constData(), &item, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(item.st_mode)
        && ::fstatat(trash.info.get(), (trashed + ".trashinfo").constData(), &info, 0) == 0) {
        const TreeTotals totals = measureTree(trash.files.get(), trashed);
        if (totals.error == 0)
            addDirectorySize(trash.dir.get(), trash.files.get(), trashed, totals.allocated, info.st_mtime);
    }
    return TrashedItem{trash.path, trashed};
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
    MountPlace folderPlace;
    MountPlace itemPlace;
    if (!placeOf(folderFd.get(), "", AT_EMPTY_PATH, folderPlace)
        || !placeOf(folderFd.get(), name.constData(), AT_SYMLINK_NOFOLLOW, itemPlace))
        throw PlatformError::fromErrno(errno);
    if (!sameMount(itemPlace, folderPlace)) {
        throw PlatformError(EBUSY, QStringLiteral("%1 is the mount point of another volume; it cannot "
                                                  "be moved to the trash.").arg(shown(item)));
    }

    const QByteArray homeTrash = homeTrashPath();
    int topDescriptor = -1;
    const QByteArray top = volumeTop(folderFd.get(), folder, folderPlace, topDescriptor);
    const Fd topFd(topDescriptor);
    refuseTrashFolders(item, top, homeTrash);

    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    // The trash of the item's own top directory, where the path is kept relative to the top, so
    // the item can be restored wherever the volume is mounted.
    auto putOnVolume = [&]() {
        const QByteArray relative = volumeTrash(topFd.get());
        if (relative.isEmpty()) {
            const int err = errno;
            throw PlatformError(err, QStringLiteral("The volume at %1 has no trash that could be used "
                                                    "(%2). Nothing was moved.").arg(shown(top), errorText(err)));
        }
        const OpenTrash trash = openTrash(topFd.get(), relative, joinPath(top, relative), false);
        const QByteArray info = trashInfoText(top == "/" ? item.mid(1) : item.mid(top.size() + 1), local);
        int err = 0;
        const QByteArray trashed = putInto(trash, folderFd.get(), name, info, err);
        if (trashed.isEmpty())
            throw moveFailed(item, err);
        return noted(trash, trashed);
    };

    // The home trash takes what is on its own mount: a bind mount of the home file system is
    // another top directory, with a trash of its own.
    if (!sameMount(folderPlace, homeTrashPlace(homeTrash)))
        return putOnVolume();
    if (!makeHomeTrash(homeTrash)) {
        const int err = errno;
        throw PlatformError(err, QStringLiteral("The trash %1 could not be made: %2. Nothing was "
                                                "moved.").arg(shown(homeTrash), errorText(err)));
    }
    const OpenTrash trash = openTrash(AT_FDCWD, homeTrash, homeTrash, true);
    int err = 0;
    const QByteArray trashed = putInto(trash, folderFd.get(), name, trashInfoText(item, local), err);
    if (!trashed.isEmpty())
        return noted(trash, trashed);
    // A mount the ids did not show (an older kernel, or a mount on files/ itself): the item cannot
    // reach the home trash, but the trash of its own top directory is on its mount.
    if (err == EXDEV)
        return putOnVolume();
    throw moveFailed(item, err);
}

} // namespace torvane
