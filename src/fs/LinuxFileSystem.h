#pragma once

#include "fs/FileSystem.h"
#include "fs/MountTable.h"

#include <functional>
#include <map>
#include <memory>

namespace torvane {

class MountWatcher;
class Walk;

// The FileSystem of a Linux machine: volumes from the mount table, sizes from one parallel walk of
// the chosen volume, listings read from the disk when asked.
class LinuxFileSystem final : public FileSystem {
public:
    // The mount table is the system's; tests and the scan benchmark give a table of their own, for
    // instance to scan a folder as a volume.
    explicit LinuxFileSystem(std::function<std::vector<MountEntry>()> mountTable = readMountTable);
    ~LinuxFileSystem() override;

    std::vector<Volume> volumes() override;
    void watchVolumes(std::function<void()> onChange) override;
    VolumeSpace volumeSpace(const QByteArray& mountPath) override;
    void beginWalk(const QByteArray& mountPath) override;
    WalkProgress walkProgress() override;
    WalkErrors walkErrors(std::size_t limit) override;
    void waitForWalk(std::chrono::milliseconds limit) override;
    std::optional<FolderSizes> folderSizes(const QByteArray& path) override;
    QByteArray walkedVolume() override { return walkRoot_; }
    std::vector<LargeFile> largestFiles() override;
    std::vector<IndexedFolder> indexedFolders() override;
    std::vector<Folder> subfolders(const QByteArray& path) override;
    QDateTime lastAccess(const QByteArray& path) override;
    bool folderExists(const QByteArray& path) override;

private:
    std::optional<FolderSizes> measureOnDemand(const QByteArray& path);

    std::function<std::vector<MountEntry>()> mountTable_;
    std::unique_ptr<MountWatcher> watcher_;

    std::unique_ptr<Walk> walk_;
    QByteArray walkRoot_;
    std::map<QByteArray, std::unique_ptr<Walk>> onDemand_;   // folders made after the walk read their parent
    std::map<QByteArray, FolderSizes> measured_;
};

} // namespace torvane
