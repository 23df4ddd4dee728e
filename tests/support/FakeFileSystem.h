#pragma once

#include "fs/FileSystem.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <utility>

namespace torvane::test {

// An in-memory file system: folders with sizes, access times and chosen failures, volumes of any
// size. Paths are byte strings without a trailing '/' (except "/").
class FakeFileSystem final : public FileSystem {
public:
    using Failure = std::pair<int, QString>;

    struct FolderData {
        std::uint64_t size = 0;
        std::optional<std::uint64_t> allocated;   // unset: as large as size
        QDateTime lastAccess;
        std::optional<Failure> listFails;     // subfolders() throws
        std::optional<Failure> sizeFails;     // folderSize() throws
        int pendingPolls = 0;                 // folderSize() answers nothing this many times
        FolderSizes sizes() const { return {size, allocated.value_or(size)}; }
    };

    // Adds a folder and every missing ancestor (ancestors get size 0).
    FolderData& addFolder(const QByteArray& path, std::uint64_t size = 0);
    void removeFolder(const QByteArray& path);   // with everything below it

    // A volume is known by its mount path: adding one again only changes its space.
    void addVolume(const QByteArray& mountPath, VolumeSpace space);
    void removeVolume(const QByteArray& mountPath) { volumes_.erase(normal(mountPath)); }   // its folders stay

    std::vector<Volume> volumes() override;
    void watchVolumes(std::function<void()> onChange) override { volumesChanged = std::move(onChange); }
    VolumeSpace volumeSpace(const QByteArray& mountPath) override;
    void beginWalk(const QByteArray& mountPath) override { walksBegun.append(mountPath); }
    WalkProgress walkProgress() override { return progress; }
    WalkErrors walkErrors(std::size_t limit) override;
    void waitForWalk(std::chrono::milliseconds) override {}
    std::optional<FolderSizes> folderSizes(const QByteArray& path) override;
    QByteArray walkedVolume() override { return walksBegun.isEmpty() ? QByteArray() : walksBegun.last(); }
    std::vector<LargeFile> largestFiles() override { return largest; }
    std::vector<IndexedFolder> indexedFolders() override;
    std::vector<Folder> subfolders(const QByteArray& path) override;
    QDateTime lastAccess(const QByteArray& path) override;
    bool folderExists(const QByteArray& path) override { return folders_.count(normal(path)) != 0; }

    QList<QByteArray> walksBegun;
    int subfolderCalls = 0;
    std::function<void(const QByteArray&)> onSubfolders;   // runs inside subfolders(), before it answers
    WalkProgress progress{0, 0, true};
    std::vector<FailedFolder> failedFolders;   // what walkErrors() reports, in this order
    std::vector<LargeFile> largest;            // what largestFiles() reports
    std::function<void()> volumesChanged;      // the watcher the program installed

private:
    static QByteArray normal(const QByteArray& path);
    FolderData& at(const QByteArray& path);   // throws ENOENT for an unknown folder
    std::map<QByteArray, FolderData> folders_;   // byte order, like the real listing
    std::map<QByteArray, VolumeSpace> volumes_;   // by mount path
};

} // namespace torvane::test
