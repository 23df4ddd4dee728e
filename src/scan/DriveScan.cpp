#include "scan/DriveScan.h"

#include "desktop/BusyCursor.h"
#include "desktop/Events.h"
#include "fs/FileSystem.h"
#include "fs/Keys.h"
#include "fs/PlatformError.h"
#include "desktop/Prompter.h"
#include "scan/FolderNode.h"
#include "scan/Report.h"
#include "scan/StatusText.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QProgressBar>
#include <QTreeWidget>

namespace torvane {

namespace {

constexpr double kLargeDriveMb = 12000.0;
constexpr int kWalkBarSteps = 1000;
// More error lines than this would bury the scan's other lines; the rest are counted in one line.
constexpr std::size_t kWalkErrorLines = 1000;

const QString kLargeDriveText = QStringLiteral(
    "This is a very large drive\r\nand may take some time to\r\ncomplete. You may want to\r\n"
    "use the view XML output to\r\nbrowse the folders.");


} // namespace

DriveScanner::DriveScanner(FileSystem& fs, Prompter& prompter, ScanControls controls, QString reportPath)
    : fs_(fs), prompter_(prompter), c_(std::move(controls)), reportPath_(std::move(reportPath))
{
}

DriveScanner::~DriveScanner() = default;

// Failure style: skip the failing step and go on; unreadable top-level folders get an error line.
void DriveScanner::scanVolume()
{
    if (scanning_)
        return;
    scanning_ = true;
    completed_ = false;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{scanning_};

    c_.tree->clear();
    reported_.clear();
    BusyCursor busy;

    QByteArray mount = c_.currentDrive();
    VolumeSpace space = fs_.volumeSpace(mount);
    if (!space.ready) {
        mount = "/";
        c_.setCurrentDrive(mount);
        space = fs_.volumeSpace(mount);
    }
    const QByteArray rootKey = driveKey(mount);
    try {
        QTreeWidgetItem* root = c_.tree->add(QByteArray(), rootKey,
                                             rootCaption(rootKey, space.totalBytes, space.availableBytes),
                                             FolderTree::Image::Drive);
        FolderTree::setTagged(root);
    } catch (const PlatformError&) {
    }

    if (mbText(space.totalBytes).toDouble() > kLargeDriveMb
        && prompter_.ask(kLargeDriveText, BoxIcon::None, BoxButtons::OkCancel) != BoxAnswer::Ok) {
        c_.setTimerEnabled(false);
        c_.progress->setValue(0);
        c_.status->prependLine(QStringLiteral("Operation Canceled. "));
        return;
    }

    usedBytes_ = space.totalBytes > space.availableBytes ? space.totalBytes - space.availableBytes : 0;
    c_.progress->setValue(0);
    fs_.beginWalk(mount);
    std::vector<Folder> topLevel;
    try {
        topLevel = fs_.subfolders(rootKey);
    } catch (const PlatformError& e) {
        writeErrorLine(rootKey, rootKey, e);
    }

    ReportWriter report;
    report_ = &report;
    report.begin(reportPath_, space.totalBytes, rootKey);
    for (const Folder& folder : topLevel) {
        FolderSizes sizes;
        try {
            sizes = waitForSizes(folder.path);
            c_.tree->add(rootKey, folderKey(folder.path), folderCaption(shown(sizes), folder.name), FolderTree::Image::Folder);
        } catch (const PlatformError& e) {
            writeErrorLine(folder.path, folder.name, e);
            continue;
        }
        report.parentFolderOpen(sizes.apparent, folder.name);   // the report's format knows one size
        listSubfoldersToReport(folderKey(folder.path));
        report.parentFolderClose();
        letEventsRun();
    }
    report_ = nullptr;

    c_.tree->sortChildren(rootKey);
    if (QTreeWidgetItem* root = c_.tree->find(rootKey)) {
        root->setExpanded(true);
        c_.tree->view()->setCurrentItem(root);
    }
    report.finish();
    reportWalkErrors(rootKey);
    c_.setTimerEnabled(false);
    c_.progress->setValue(0);
    c_.status->completeScan(scanTimeStamp(QDateTime::currentDateTime()));
    completed_ = true;
}

void DriveScanner::abandon()
{
    if (report_)
        report_->abandon();
}

void DriveScanner::listSubfoldersToReport(const QByteArray& key)
{
    listChildren(key, true);
}

void DriveScanner::listSubfolders(const QByteArray& key)
{
    listChildren(key, false);
}

// Failure style: an error line on top of the status text; the lister goes on with the next
// subfolder so one unreadable folder never hides its readable siblings.
void DriveScanner::listChildren(const QByteArray& key, bool toReport)
{
    std::vector<Folder> children;
    try {
        children = fs_.subfolders(key);
    } catch (const PlatformError& e) {
        if (!scanning_)
            c_.progress->setValue(0);
        writeErrorLine(key, lastComponent(key), e);
        return;
    }
    // During a scan the bar shows the walk alone; afterwards it counts the listed subfolders.
    const bool countOnBar = !scanning_;
    const int barMaximum = int(children.size()) + 4;
    if (countOnBar) {
        c_.progress->setMaximum(barMaximum);
        c_.progress->setValue(0);
    }
    BusyCursor busy;
    EventThrottle throttle;
    int listed = 0;
    for (const Folder& child : children) {
        if (!c_.tree->find(key)) {   // the tree was rebuilt while events ran
            if (countOnBar)
                c_.progress->setValue(0);
            return;
        }
        try {
            const FolderSizes sizes = waitForSizes(child.path);
            const std::uint64_t size = shown(sizes);
            c_.status->prependLine(readingLine(size, child.name, fs_.lastAccess(child.path)));
            if (countOnBar) {
                c_.progress->setMaximum(barMaximum);   // a wait for the walk may have shown its own progress
                c_.progress->setValue(++listed);
            }
            c_.tree->add(key, folderKey(child.path), folderCaption(size, child.name), FolderTree::Image::Folder);
            if (toReport && report_)
                report_->subFolder(sizes.apparent, child.name);
        } catch (const PlatformError& e) {
            writeErrorLine(child.path, child.name, e);
        }
        if (throttle.due()) {
            if (!countOnBar)
                showWalkProgress();
            c_.status->repaint();
            c_.progress->repaint();
            letEventsRun();
        }
    }
    c_.tree->sortChildren(key);
    if (countOnBar && !toReport)
        c_.progress->setValue(0);
}

bool DriveScanner::addFolderNode(const QByteArray& parentKey, const Folder& folder)
{
    try {
        const std::uint64_t size = shown(waitForSizes(folder.path));
        if (!c_.tree->find(parentKey))
            return false;
        c_.tree->add(parentKey, folderKey(folder.path), folderCaption(size, folder.name), FolderTree::Image::Folder);
        return true;
    } catch (const PlatformError& e) {
        writeErrorLine(folder.path, folder.name, e);
        return false;
    }
}

FolderSizes DriveScanner::waitForSizes(const QByteArray& path)
{
    for (;;) {
        if (const std::optional<FolderSizes> sizes = fs_.folderSizes(path))
            return *sizes;
        showWalkProgress();
        fs_.waitForWalk(std::chrono::milliseconds(16));
        letEventsRun();
    }
}

// Allocated bytes against the volume's used bytes: apparent sizes of sparse files would overrun
// the used bytes long before the walk ends.
void DriveScanner::showWalkProgress()
{
    const WalkProgress p = fs_.walkProgress();
    c_.progress->setMaximum(kWalkBarSteps);
    const double share = usedBytes_ ? double(p.bytesAllocated) / double(usedBytes_) : 0.0;
    c_.progress->setValue(std::max(c_.progress->value(), int(std::min(1.0, share) * kWalkBarSteps)));
}

std::uint64_t DriveScanner::shown(const FolderSizes& sizes) const
{
    return sizeOnDisk_ ? sizes.allocated : sizes.apparent;
}

void DriveScanner::writeErrorLine(const QByteArray& path, const QByteArray& shownName, const PlatformError& e)
{
    reported_.insert(path);
    c_.status->prependLine(errorLine(shownName, e.number(), e.description()));
}

// Folders the walk could not open or read anywhere on the volume: their ancestors' sizes count
// only what could be read, so each gets one error line, named by its path below the volume,
// unless the listers already wrote one for it.
void DriveScanner::reportWalkErrors(const QByteArray& rootKey)
{
    while (!fs_.walkProgress().finished) {
        fs_.waitForWalk(std::chrono::milliseconds(16));
        letEventsRun();
    }
    const WalkErrors errors = fs_.walkErrors(kWalkErrorLines);
    for (const FailedFolder& f : errors.first) {
        const QByteArray path = joinPath(rootKey, f.path);
        if (!reported_.contains(path))
            writeErrorLine(path, f.path, PlatformError(f.error, f.description));
    }
    if (errors.total > errors.first.size())
        c_.status->prependLine(QStringLiteral("Error: %1 more folders could not be read.").arg(errors.total - errors.first.size()));
}

} // namespace torvane
