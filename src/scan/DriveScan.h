#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

#include <cstdint>
#include <functional>

class QProgressBar;

namespace torvane {

class FileSystem;
class PlatformError;
class Prompter;
class FolderTree;
class StatusBox;
class ReportWriter;
struct Folder;
struct FolderSizes;

// The main window's controls that a scan writes.
struct ScanControls {
    FolderTree* tree = nullptr;
    StatusBox* status = nullptr;
    QProgressBar* progress = nullptr;
    std::function<QByteArray()> currentDrive;                  // mount path chosen in drvHDs
    std::function<void(const QByteArray&)> setCurrentDrive;    // the fall-back to "/"
    std::function<void(bool)> setTimerEnabled;
};

// scanVolume and the two one-level folder listers.
class DriveScanner {
public:
    DriveScanner(FileSystem& fs, Prompter& prompter, ScanControls controls, QString reportPath);
    ~DriveScanner();

    // Rebuilds the tree from the drive in drvHDs: root, top-level folders, their subfolders, the
    // report and the status lines. Ignored while a scan runs.
    void scanVolume();
    bool scanning() const { return scanning_; }
    // The last scan ran to its end (not cancelled at the large-drive question).
    bool completed() const { return completed_; }
    // Captions and status lines show the bytes taken on the disk instead of the files' sizes;
    // the report keeps the files' sizes.
    void setSizeOnDisk(bool on) { sizeOnDisk_ = on; }
    bool sizeOnDisk() const { return sizeOnDisk_; }
    std::uint64_t shown(const FolderSizes& sizes) const;
    // The program ends in the middle of a scan: its partial report goes, the old one stays.
    void abandon();

    // Adds one node per direct subfolder of the node's folder; never throws.
    void listSubfolders(const QByteArray& key);
    // A node for a folder made after the scan; false (with an error line) when it can't be read.
    bool addFolderNode(const QByteArray& parentKey, const Folder& folder);

private:
    void listSubfoldersToReport(const QByteArray& key);
    void listChildren(const QByteArray& key, bool toReport);
    FolderSizes waitForSizes(const QByteArray& path);
    void showWalkProgress();
    void reportWalkErrors(const QByteArray& rootKey);
    void writeErrorLine(const QByteArray& path, const QByteArray& shownName, const PlatformError& e);

    FileSystem& fs_;
    Prompter& prompter_;
    ScanControls c_;
    QString reportPath_;
    ReportWriter* report_ = nullptr;   // open only inside scanVolume
    bool scanning_ = false;
    bool sizeOnDisk_ = false;
    bool completed_ = false;
    std::uint64_t usedBytes_ = 0;
    QSet<QByteArray> reported_;   // folders this scan wrote an error line for
};

} // namespace torvane
