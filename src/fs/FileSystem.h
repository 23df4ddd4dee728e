#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <chrono>
#include <cstddef>
#include <functional>
#include <cstdint>
#include <optional>
#include <vector>

namespace torvane {

// A mounted volume a person would call a drive.
struct Volume {
    QByteArray mountPath;   // "/", "/home", "/media/usb" (bytes as in the mount table, unescaped)
    QByteArray device;      // "/dev/sda1", "server:/export"
    QByteArray fsType;      // "ext4", "vfat", "nfs4"
};

struct VolumeSpace {
    bool ready = false;
    std::uint64_t totalBytes = 0;
    std::uint64_t availableBytes = 0;   // what an unprivileged user can still use, as df shows it
};

// One direct subfolder of a folder. Paths and names are bytes, exactly as on disk.
struct Folder {
    QByteArray name;
    QByteArray path;
};

struct WalkProgress {
    std::uint64_t bytesWalked = 0;      // apparent bytes of the entries stat'ed so far
    std::uint64_t bytesAllocated = 0;   // allocated bytes (st_blocks × 512, hard links once) so far
    bool finished = true;               // no walk is running
};

// A folder's size two ways: the bytes its files hold, and the bytes they take on the disk
// (st_blocks × 512), which is what deleting the folder would free.
struct FolderSizes {
    std::uint64_t apparent = 0;
    std::uint64_t allocated = 0;
};

// One of the largest files of the last walk.
struct LargeFile {
    QByteArray path;   // absolute
    std::uint64_t apparent = 0;
    std::uint64_t allocated = 0;
    QDateTime modified;
};

// One folder of the last walk's index.
struct IndexedFolder {
    QByteArray path;   // below the walked volume, without a leading '/'; "" is its root
    FolderSizes sizes;
};

// A folder the walk could not open or read; its size is what could be read below it.
struct FailedFolder {
    QByteArray path;   // below the walked volume, without a leading '/'
    int error = 0;     // errno
    QString description;
};

struct WalkErrors {
    std::vector<FailedFolder> first;   // in byte order of their paths, at most the limit asked for
    std::size_t total = 0;             // every failed folder of the walk
};

// Folders, sizes and volumes. Every call is made on the user-interface thread; sizes come from a
// parallel walk that runs on worker threads. Failing calls throw PlatformError.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Volumes for the drive list, the one holding the user's home folder first.
    virtual std::vector<Volume> volumes() = 0;
    // onChange runs on the user-interface thread whenever the mount table may have changed
    // (a volume mounted or unmounted). One watcher at a time; a later call replaces it.
    virtual void watchVolumes(std::function<void()> onChange) = 0;
    // Never throws: a volume that cannot be asked, or is no longer mounted at that path, is not
    // ready.
    virtual VolumeSpace volumeSpace(const QByteArray& mountPath) = 0;

    // Starts walking the whole volume at mountPath in the background, replacing the previous
    // walk and its index. Returns at once.
    virtual void beginWalk(const QByteArray& mountPath) = 0;
    virtual WalkProgress walkProgress() = 0;
    // The folders the current walk could not open or read, once it has finished.
    virtual WalkErrors walkErrors(std::size_t limit) = 0;
    // Blocks the caller at most `limit`, returning early when the walk has completed more folders.
    virtual void waitForWalk(std::chrono::milliseconds limit) = 0;

    // Size of everything below the folder (apparent sizes, hard links counted once), or nothing
    // while the walk has not finished it. A folder outside the index (made after the walk) is
    // walked on demand: nothing until that walk is done. Throws when the folder itself cannot
    // be read.
    virtual std::optional<FolderSizes> folderSizes(const QByteArray& path) = 0;
    std::optional<std::uint64_t> folderSize(const QByteArray& path)
    {
        const std::optional<FolderSizes> sizes = folderSizes(path);
        return sizes ? std::optional<std::uint64_t>(sizes->apparent) : std::nullopt;
    }

    // The mount path the last walk began on; empty before any walk.
    virtual QByteArray walkedVolume() = 0;
    // Once the walk has finished: the largest files that are not folders (at most 1,000, largest
    // first by apparent size, ties by path bytes; hard links once), and every indexed folder in
    // byte order of its path. Empty while the walk runs.
    virtual std::vector<LargeFile> largestFiles() = 0;
    virtual std::vector<IndexedFolder> indexedFolders() = 0;

    // Direct subfolders, read from the disk now, in byte order of their names. A mount point of
    // another file system has none.
    virtual std::vector<Folder> subfolders(const QByteArray& path) = 0;

    // The folder's access time as it was before the walk read it (reading a folder may move it).
    virtual QDateTime lastAccess(const QByteArray& path) = 0;
    virtual bool folderExists(const QByteArray& path) = 0;
};

} // namespace torvane
