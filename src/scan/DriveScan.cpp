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
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{scanning_};

    c_.tree->clear();
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
    fs_.beginWalk(mount);
    std::vector<Folder> topLevel;
    try {
        topLevel = fs_.subfolders(rootKey);
    } catch (const PlatformError& e) {
        c_.status->prependLine(errorLine(rootKey, e.number(), e.description()));
    }

    ReportWriter report;
    report_ = &report;
    report.begin(reportPath_, space.totalBytes, rootKey);
    for (const Folder& folder : topLevel) {
        std::uint64_t size = 0;
        try {
            size = waitForSize(folder.path);
            c_.tree->add(rootKey, folderKey(folder.path), folderCaption(size, folder.name), FolderTree::Image::Folder);
        } catch (const PlatformError& e) {
            c_.status->prependLine(errorLine(folder.name, e.number(), e.description()));
            continue;
        }
        report.parentFolderOpen(size, folder.name);
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
    c_.setTimerEnabled(false);
    c_.progress->setValue(0);
    c_.status->completeScan(scanTimeStamp(QDateTime::currentDateTime()));
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
        if (!toReport)
            c_.progress->setValue(0);
        c_.status->prependLine(errorLine(lastComponent(key), e.number(), e.description()));
        return;
    }
    const int barMaximum = int(children.size()) + 4;
    c_.progress->setMaximum(barMaximum);
    c_.progress->setValue(0);
    BusyCursor busy;
    EventThrottle throttle;
    int listed = 0;
    for (const Folder& child : children) {
        if (!c_.tree->find(key)) {   // the tree was rebuilt while events ran
            if (!toReport)
                c_.progress->setValue(0);
            return;
        }
        try {
            const std::uint64_t size = waitForSize(child.path);
            c_.status->prependLine(readingLine(size, child.name, fs_.lastAccess(child.path)));
            c_.progress->setMaximum(barMaximum);   // a wait for the walk may have shown its own progress
            c_.progress->setValue(++listed);
            c_.tree->add(key, folderKey(child.path), folderCaption(size, child.name), FolderTree::Image::Folder);
            if (toReport && report_)
                report_->subFolder(size, child.name);
        } catch (const PlatformError& e) {
            c_.status->prependLine(errorLine(child.name, e.number(), e.description()));
        }
        if (throttle.due()) {
            c_.status->repaint();
            c_.progress->repaint();
            letEventsRun();
        }
    }
    c_.tree->sortChildren(key);
    if (!toReport)
        c_.progress->setValue(0);
}

bool DriveScanner::addFolderNode(const QByteArray& parentKey, const Folder& folder)
{
    try {
        const std::uint64_t size = waitForSize(folder.path);
        if (!c_.tree->find(parentKey))
            return false;
        c_.tree->add(parentKey, folderKey(folder.path), folderCaption(size, folder.name), FolderTree::Image::Folder);
        return true;
    } catch (const PlatformError& e) {
        c_.status->prependLine(errorLine(folder.name, e.number(), e.description()));
        return false;
    }
}

std::uint64_t DriveScanner::waitForSize(const QByteArray& path)
{
    for (;;) {
        if (const std::optional<std::uint64_t> size = fs_.folderSize(path))
            return *size;
        showWalkProgress();
        fs_.waitForWalk(std::chrono::milliseconds(16));
        letEventsRun();
    }
}

void DriveScanner::showWalkProgress()
{
    const WalkProgress p = fs_.walkProgress();
    c_.progress->setMaximum(kWalkBarSteps);
    const double share = usedBytes_ ? double(p.bytesWalked) / double(usedBytes_) : 0.0;
    c_.progress->setValue(int(std::min(1.0, share) * kWalkBarSteps));
}

} // namespace torvane
