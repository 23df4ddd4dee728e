// The main window's tree: the scans that build it, the lazy fill on expansion, clicks and the
// pop-up menus, and finding the selected folder again after a refresh (F5).

#include "mainwindow/MainWindow.h"

#include "mainwindow/MainWindowPrivate.h"
#include "mainwindow/TreeLogic.h"
#include "desktop/BusyCursor.h"
#include "desktop/Events.h"
#include "desktop/Trash.h"
#include "fs/FileSystem.h"
#include "fs/Keys.h"
#include "scan/DriveScan.h"
#include "scan/FolderNode.h"
#include "scan/StatusText.h"

#include <QLineEdit>
#include <QMenu>
#include <QTreeWidget>

#include <utility>

namespace torvane {

// ---- scans ----------------------------------------------------------------------------------

// Failure style: none here; the scan skips what fails and reports it in the status text.
// Run empties the status text first and disables the start controls while the scan runs.
void MainWindow::runClicked()
{
    if (busy())
        return;
    setStartControlsEnabled(false);
    {
        BusyCursor busy;
        setTimerEnabled(true);
        status_->setText(QString());
        scanVolume();
        setTimerEnabled(false);
    }
    setStartControlsEnabled(true);
}

// Failure style: none here, as runClicked. The menu keeps the status text.
void MainWindow::processDriveTriggered()
{
    if (busy())
        return;
    BusyCursor busy;
    setTimerEnabled(true);
    scanVolume();
    setTimerEnabled(false);
}

// Failure style: stop silently. Rescans the drive, then selects the folder that was selected.
void MainWindow::refreshTriggered()
{
    const QByteArray key = tree_->selectedKey();
    if (key.isEmpty() || busy())
        return;
    refreshKey_ = key;
    const QByteArray oldRoot = trvDir_->topLevelItemCount() ? FolderTree::keyOf(trvDir_->topLevelItem(0)) : QByteArray();
    stopSilentlyOnFailure([&] {
        scanVolume();
        reselect(refreshKey_, oldRoot);
    });
}

bool MainWindow::busy() const
{
    return scanner_->scanning() || !filling_.isEmpty() || saving_;
}

void MainWindow::scanVolume()
{
    deferred_.clear();
    scanner_->scanVolume();
    fillDeferredExpansions();
    scanFinished();
}

// The scan itself adds the root's children and theirs: a node on those two levels that is opened
// while the scan runs waits for the scan to end, so it never adds a node the scan will add.
bool MainWindow::scanWillList(QTreeWidgetItem* item) const
{
    return scanner_->scanning() && (!item->parent() || !item->parent()->parent());
}

void MainWindow::fillDeferredExpansions()
{
    const QSet<QByteArray> keys = std::exchange(deferred_, {});
    for (const QByteArray& key : keys) {
        if (QTreeWidgetItem* node = tree_->find(key); node && node->isExpanded())
            folderExpanded(node);
    }
}

// ---- tree events ----------------------------------------------------------------------------

// Failure style: skip the failing step. Lists the children of each child so that every child
// shows an expand mark exactly when it has subfolders; a folder made after the scan gets its node
// here. While a fill runs no scan starts, so the keys it goes on with stay those of this tree.
void MainWindow::folderExpanded(QTreeWidgetItem* item)
{
    const QByteArray key = FolderTree::keyOf(item);
    if (FolderTree::tagged(item) || filling_.contains(key))
        return;
    if (scanWillList(item)) {
        deferred_.insert(key);
        return;
    }
    filling_.insert(key);
    std::vector<Folder> children;
    skipStepOnFailure([&] { children = services_.fileSystem->subfolders(key); });
    BusyCursor busy;
    addChildNodes(key, children);
    if (QTreeWidgetItem* again = tree_->find(key))
        FolderTree::setTagged(again);
    filling_.remove(key);
}

// A node for each child the tree lacks, then each child's own subfolders. Events run in between,
// so every node is looked up again by its key.
void MainWindow::addChildNodes(const QByteArray& key, const std::vector<Folder>& children)
{
    EventThrottle throttle;
    bool added = false;
    for (const Folder& child : children) {
        const QByteArray childKey = folderKey(child.path);
        if (!tree_->find(childKey) && tree_->find(key))
            added |= scanner_->addFolderNode(key, child);
        if (tree_->find(childKey))
            scanner_->listSubfolders(childKey);
        throttle.tick();
    }
    if (added)
        tree_->sortChildren(key);
}

void MainWindow::folderClicked(QTreeWidgetItem* item)
{
    file1Key_ = FolderTree::keyOf(item);
    File1_->setText(displayName(file1Key_));
}

// A right click on a node: the Admin menu for a trash folder, the Edit menu for any other (a
// volume's root among them, whatever its mount path is called). The menus act on the selected
// node, which the right press left as it was.
void MainWindow::treeMouseReleased(const QPoint& pos)
{
    if (!trvDir_->itemAt(pos))
        return;
    const QByteArray key = tree_->selectedKey();
    const QTreeWidgetItem* selected = trvDir_->currentItem();
    const bool root = selected && !selected->parent();
    lastPopup_ = !root && isTrashFolder(key, homeTrashPath()) ? mnuDir3_ : mnuDir2_;
    lastPopup_->popup(trvDir_->viewport()->mapToGlobal(pos));
}

// ---- re-selection after a refresh -----------------------------------------------------------

// Finds the folder again under the rebuilt root, one component at a time, expanding (and so
// filling) each level on the way; missing components are skipped.
void MainWindow::reselect(const QByteArray& refreshKey, const QByteArray& oldDriveKey)
{
    if (!services_.fileSystem->folderExists(refreshKey))
        return;
    QByteArray current = tree_->selectedKey();
    for (const QByteArray& component : componentsBelow(refreshKey, oldDriveKey)) {
        current = joinPath(current, component);
        selectKey(current);
        letEventsRun();
    }
    if (QTreeWidgetItem* selected = trvDir_->currentItem())
        trvDir_->scrollToItem(selected);
}

// Selecting a node expands its collapsed ancestors first, top down, each filling its children.
void MainWindow::selectKey(const QByteArray& key)
{
    QTreeWidgetItem* item = tree_->find(key);
    if (!item)
        return;
    QByteArrayList ancestors;
    for (QTreeWidgetItem* p = item->parent(); p; p = p->parent())
        ancestors.prepend(FolderTree::keyOf(p));
    for (const QByteArray& a : ancestors) {
        if (QTreeWidgetItem* node = tree_->find(a); node && !node->isExpanded())
            node->setExpanded(true);
    }
    if (QTreeWidgetItem* again = tree_->find(key))
        trvDir_->setCurrentItem(again);
}

} // namespace torvane
