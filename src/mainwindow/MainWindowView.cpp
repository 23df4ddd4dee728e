// The main window's View menu and what it shows beyond the tree of folder sizes; opening the
// tree down to a folder (start on a folder, Show in Tree).

#include "mainwindow/MainWindow.h"

#include "mainwindow/MainWindowPrivate.h"
#include "mainwindow/TreeLogic.h"
#include "desktop/Events.h"
#include "desktop/Shell.h"
#include "fs/FileSystem.h"
#include "fs/VolumeIdentity.h"
#include "insight/ChangesWindow.h"
#include "insight/LargestFilesWindow.h"
#include "insight/MapWindow.h"
#include "insight/Snapshot.h"
#include "insight/SnapshotStore.h"
#include "fs/Keys.h"
#include "scan/DriveScan.h"
#include "scan/FolderNode.h"
#include "scan/StatusText.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace torvane {

namespace {

const QString kSizeOnDiskSetting = QStringLiteral("view/sizeOnDisk");

// $XDG_DATA_HOME/torvane, else ~/.local/share/torvane.
QString snapshotFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/torvane");
}

// Shown, or brought in front of the others when it already is.
void bringForward(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

void MainWindow::createViewMenu()
{
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("mnuView"));
    sizeOnDisk_ = menuEntry(view, "mSizeOnDisk", QStringLiteral("Size on Disk"));
    sizeOnDisk_->setCheckable(true);
    sizeOnDisk_->setChecked(QSettings().value(kSizeOnDiskSetting, false).toBool());
    connect(sizeOnDisk_, &QAction::toggled, this, &MainWindow::sizeOnDiskToggled);
    view->addSeparator();
    connect(menuEntry(view, "mLargestFiles", QStringLiteral("Largest Files"), QKeySequence(Qt::CTRL | Qt::Key_B)),
            &QAction::triggered, this, &MainWindow::largestFilesTriggered);
    connect(menuEntry(view, "mChanges", QStringLiteral("Changes Since Last Scan"), QKeySequence(Qt::CTRL | Qt::Key_G)),
            &QAction::triggered, this, &MainWindow::changesTriggered);
    connect(menuEntry(view, "mMap", QStringLiteral("Map"), QKeySequence(Qt::CTRL | Qt::Key_K)), &QAction::triggered,
            this, &MainWindow::mapTriggered);
}

// Failure style: none needed; a folder whose size is not known keeps its caption.
void MainWindow::sizeOnDiskToggled(bool on)
{
    QSettings().setValue(kSizeOnDiskSetting, on);
    scanner_->setSizeOnDisk(on);
    recaptionTree();
    if (largestFiles_)
        largestFiles_->setSizeOnDisk(on);
    if (changes_)
        changes_->setSizeKind(on ? SizeKind::Allocated : SizeKind::Apparent);
    showScanOnMap();
}

// Failure style: the window's commands report their own failures.
void MainWindow::mapTriggered()
{
    if (!map_) {
        MapActions actions;
        actions.showInTree = [this](const QByteArray& folder) { showInTree(folder); };
        actions.openFolder = [this](const QByteArray& folder) { openFolderFromView(folder); };
        actions.moveToTrash = [this](const QByteArray& path) { return trashItem(path); };
        map_ = new MapWindow(std::move(actions), this);
        map_->setWindowFlag(Qt::Window);
        showScanOnMap();
    }
    if (const QByteArray selected = tree_->selectedKey(); !selected.isEmpty())
        map_->showFolder(selected);
    bringForward(map_);
}

// The map draws from the index and the largest files, which need no disk access.
void MainWindow::showScanOnMap()
{
    FileSystem& fs = *services_.fileSystem;
    const QByteArray mount = fs.walkedVolume();
    if (!map_ || mount.isEmpty() || scanner_->scanning())
        return;
    const QString note = driveKey(mount) == driveKey(currentDrive())
        ? QString()
        : QStringLiteral("The map shows %1; scan %2 to see it.").arg(displayName(mount), displayName(currentDrive()));
    // The snapshot of the last complete scan holds every indexed folder already: reading the
    // index again here would hold the user-interface thread for nothing.
    std::vector<IndexedFolder> folders;
    if (lastSnapshot_) {
        folders.reserve(lastSnapshot_->folders.size());
        for (const SnapshotFolder& f : lastSnapshot_->folders)
            folders.push_back({f.path, FolderSizes{f.apparent, f.allocated}});
    } else {
        folders = fs.indexedFolders();
    }
    map_->setScan(mount, folders, fs.largestFiles(), sizeOnDisk_->isChecked(), note);
}

// Failure style: the window's own (an unreadable earlier snapshot gets one status line).
void MainWindow::changesTriggered()
{
    if (!changes_) {
        ChangesWindowHooks hooks;
        hooks.showInTree = [this](const QByteArray& folder) { showInTree(folder); };
        hooks.openFolder = [this](const QByteArray& folder) { openFolderFromView(folder); };
        hooks.statusLine = [this](const QString& line) { status_->prependLine(line); };
        changes_ = new ChangesWindow(SnapshotStore(snapshotFolder()), std::move(hooks), this);
        changes_->setWindowFlag(Qt::Window);
        changes_->setSizeKind(sizeOnDisk_->isChecked() ? SizeKind::Allocated : SizeKind::Apparent);
        changes_->setCurrent(lastSnapshot_, services_.fileSystem->walkedVolume());
    }
    bringForward(changes_);
}

// After a complete scan the volume's folder sizes are kept, so a later scan can say what
// changed. Reading the index and writing the file run off the user-interface thread; no scan
// may replace the index meanwhile. Failure style: one status line.
void MainWindow::saveSnapshot()
{
    FileSystem& fs = *services_.fileSystem;
    const QByteArray mount = fs.walkedVolume();
    Volume volume{mount, {}, {}};
    for (const Volume& v : fs.volumes()) {
        if (v.mountPath == mount)
            volume = v;
    }
    saving_ = true;
    const SnapshotStore store(snapshotFolder());
    QString failure;
    bool saved = false;
    lastSnapshot_ = runWhileEventsRun([&fs, &store, &failure, &saved, volume] {
        auto made = std::make_shared<Snapshot>();
        made->volumeId = volumeIdentity(volume);
        made->taken = QDateTime::currentDateTime();
        for (IndexedFolder& folder : fs.indexedFolders())
            made->folders.push_back({std::move(folder.path), folder.sizes.apparent, folder.sizes.allocated});
        saved = store.save(*made, &failure);
        return std::shared_ptr<const Snapshot>(std::move(made));
    });
    saving_ = false;
    // Not saved, the scan can still be compared with the earlier ones while the program runs.
    if (!saved)
        status_->prependLine(QStringLiteral("The scan could not be kept for comparison: ") + failure);
    if (changes_)
        changes_->setCurrent(lastSnapshot_, mount);
}

// The View windows' Open Folder. Failure style: skip the step; the window stays as it was.
void MainWindow::openFolderFromView(const QByteArray& folder)
{
    skipStepOnFailure([&] { services_.shell->openFolder(folder); });
}

// Failure style: none here; the window's commands report their own failures.
void MainWindow::largestFilesTriggered()
{
    if (!largestFiles_) {
        LargestFilesActions actions;
        actions.openFolder = [this](const QByteArray& folder) { openFolderFromView(folder); };
        actions.showInTree = [this](const QByteArray& folder) { showInTree(folder); };
        actions.moveToTrash = [this](const QByteArray& file) { return trashFile(file); };
        largestFiles_ = new LargestFilesWindow(std::move(actions), this);
        largestFiles_->setWindowFlag(Qt::Window);
        largestFiles_->setSizeOnDisk(sizeOnDisk_->isChecked());
        if (!services_.fileSystem->walkedVolume().isEmpty() && !scanner_->scanning())
            largestFiles_->setFiles(services_.fileSystem->largestFiles(), services_.fileSystem->walkedVolume());
    }
    largestFiles_->setChosenVolume(currentDrive());
    bringForward(largestFiles_);
}

void MainWindow::scanFinished()
{
    if (scanner_->completed())
        saveSnapshot();
    showScanOnMap();
    if (largestFiles_) {
        largestFiles_->setFiles(services_.fileSystem->largestFiles(), services_.fileSystem->walkedVolume());
        largestFiles_->setChosenVolume(currentDrive());
    }
}

// Every folder node gets its caption in the chosen size from the index, and every family its
// order anew. Sizes come from the index, so this reads nothing from the disk.
void MainWindow::recaptionTree()
{
    QByteArrayList parents;
    for (QTreeWidgetItemIterator it(trvDir_); *it; ++it) {
        QTreeWidgetItem* item = *it;
        const QByteArray key = FolderTree::keyOf(item);
        if (item->childCount() > 1)
            parents.append(key);
        if (!item->parent())
            continue;   // the root's caption shows the volume's capacity, not a folder size
        std::optional<FolderSizes> sizes;
        skipStepOnFailure([&] { sizes = services_.fileSystem->folderSizes(key); });
        if (sizes && item->text(0) != QStringLiteral("$$Deleted Folder$$"))
            item->setText(0, folderCaption(scanner_->shown(*sizes), lastComponent(key)));
    }
    for (const QByteArray& parent : parents)
        tree_->sortChildren(parent);
}

// Failure style: a status line when the folder does not exist; otherwise as Run.
void MainWindow::startOn(const QByteArray& path)
{
    if (!services_.fileSystem->folderExists(path)) {
        status_->prependLine(QStringLiteral("The folder ") + displayName(path) + QStringLiteral(" does not exist."));
        return;
    }
    QByteArray volume;
    for (const QByteArray& mount : volumeMounts()) {
        const QByteArray key = driveKey(mount);
        if ((path == mount || path.startsWith(key) || key == "/") && mount.size() >= volume.size())
            volume = mount;
    }
    if (volume.isEmpty())
        return;
    setCurrentDrive(volume);
    runClicked();
    openTreeDownTo(path);
}

void MainWindow::showInTree(const QByteArray& path)
{
    if (busy())
        return;
    openTreeDownTo(path);
}

// One level at a time from the root, each opened (and so listed) on the way; a level that is not
// in the tree ends the way there.
void MainWindow::openTreeDownTo(const QByteArray& path)
{
    if (trvDir_->topLevelItemCount() == 0)
        return;
    QByteArray current = FolderTree::keyOf(trvDir_->topLevelItem(0));
    for (const QByteArray& component : componentsBelow(path, current)) {
        const QByteArray next = joinPath(current, component);
        if (!tree_->find(next))
            break;
        current = next;
        selectKey(current);
        letEventsRun();
    }
    selectKey(current);
    if (QTreeWidgetItem* selected = trvDir_->currentItem())
        trvDir_->scrollToItem(selected);
}

} // namespace torvane
