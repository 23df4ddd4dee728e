#pragma once

// Private to src/desktop: what the Trash*.cpp files share. Nothing outside src/desktop includes
// this; the public interface is desktop/Trash.h.

#include <QByteArray>

#include <cstdint>
#include <fcntl.h>
#include <sys/types.h>
#include <vector>

namespace torvane::trashimpl {

inline constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// The folder holding the path: its text up to the last '/', or "/".
QByteArray parentOf(const QByteArray& path);

// The home trash with its files/ and info/, every missing folder on the way made private to the
// user. Returns false with errno set.
bool makeHomeTrash(const QByteArray& trash);

// The mount an entry is on. A bind mount shows a file system under another mount with the same
// device number, and nothing can be renamed from one mount to another, so the device alone does
// not tell where an item may go.
struct MountPlace {
    dev_t device = 0;
    std::uint64_t mount = 0;   // the kernel's mount id, where it reports one
    bool mountKnown = false;
};

// Same mount where both ids are known, otherwise the same device.
bool sameMount(const MountPlace& a, const MountPlace& b);

// The place of `name` in dirFd (statx flags: AT_EMPTY_PATH with "" for dirFd itself,
// AT_SYMLINK_NOFOLLOW for an entry that may be a link). Returns false with errno set.
bool placeOf(int dirFd, const char* name, int flags, MountPlace& place);

// The mount the home trash is (or will be) on: that of its nearest existing ancestor.
MountPlace homeTrashPlace(const QByteArray& trash);

// The top directory of the mount that holds the folder open at folderFd, whose path (with no
// links) is `folder`: the last ancestor on the same mount, climbed to by "..", so that a folder
// deeper than PATH_MAX finds its top as well. Returns the top's path and its descriptor in topFd.
QByteArray volumeTop(int folderFd, const QByteArray& folder, const MountPlace& place, int& topFd);

// The trash of another volume, relative to its top (open at topFd): .Trash/$uid when the
// administrator made a valid .Trash, else .Trash-$uid. Returns an empty path with errno set when
// neither can be used.
QByteArray volumeTrash(int topFd);

// The trash's directorysizes, as the freedesktop trash specification describes it: one line
// "bytes mtime name" per folder in files/, with the folder's disk usage, the mtime of its
// .trashinfo and its percent-encoded name, so a file manager can total the trash without walking
// it. Each change writes a temporary file in the trash folder and renames it over the old one, so
// no reader sees half a file, and drops the lines of folders no longer in files/. Both return 0
// or the errno of the failure.

// Adds the line of `name`, a folder just put into files/.
int addDirectorySize(int trashFd, int filesFd, const QByteArray& name, std::uint64_t bytes, std::int64_t infoMtime);

// Drops the lines of folders gone from files/; removes the file when no line is left.
int pruneDirectorySizes(int trashFd, int filesFd);

// The names in the directory open at fd, without "." and ".."; error gets the errno of a failed
// read, and is left alone otherwise.
std::vector<QByteArray> entryNames(int fd, int& error);

} // namespace torvane::trashimpl
