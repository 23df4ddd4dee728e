#pragma once

#include "mainwindow/Services.h"
#include "rename/RenameHost.h"

#include <QByteArray>
#include <QMainWindow>
#include <QPointer>
#include <QSet>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace torvane {

class DriveScanner;
class Resizer;
class WidgetFormAccess;
class FolderTree;
class StatusBox;
class LargestFilesWindow;
class ChangesWindow;
class MapWindow;
struct Snapshot;
struct Folder;

// The main window: drive chooser, folder tree, folder buttons, progress bar, status box.
// Its definition is split by concern:
//   MainWindowControls.cpp  construction, controls, tab order, drive list, resizing
//   MainWindowMenus.cpp     the menu bar and the pop-up menus
//   MainWindowTree.cpp      scans, tree events, pop-up menus, re-selection after a refresh
//   MainWindowCommands.cpp  the folder commands, the report and the log, the other windows
//   MainWindow.cpp          start-up and the routing of the watched controls' events
class MainWindow final : public QMainWindow, public RenameHost {
    Q_OBJECT

public:
    // endProgram ends the process at once (no close handlers); tests pass a recorder.
    MainWindow(const Services& services, std::function<void()> endProgram, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up steps that follow showing the window: version texts, proportions recorded.
    void startUp();

    // For tests and the handlers of other windows.
    QByteArray file1Key() const { return file1Key_; }
    StatusBox& status() const { return *status_; }
    FolderTree& tree() const { return *tree_; }
    DriveScanner& scanner() const { return *scanner_; }
    QMenu* lastPopup() const { return lastPopup_; }
    void setTimerEnabled(bool on) override;
    void prependStatusLine(const QString& line) override;

    // Handlers, public so menus, buttons and tests reach the same code.
    // Scans (MainWindowTree.cpp).
    void runClicked();
    void processDriveTriggered();
    void refreshTriggered();
    // Folder commands (MainWindowCommands.cpp).
    void openClicked();
    void deleteClicked();
    void propertiesTriggered();
    void emptyTrashTriggered();
    void openXmlOutputTriggered();
    void saveAndShowLog();
    void renameClicked();
    void checkForUpdatesTriggered();

    // Starts on a folder (the program's argument): its volume chosen and scanned, the tree opened
    // down to it. A folder that does not exist gets a status line instead.
    void startOn(const QByteArray& path);
    // Opens the tree down to a folder of the scanned volume and selects it.
    void showInTree(const QByteArray& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Controls and menus (MainWindowControls.cpp, MainWindowMenus.cpp).
    void createControls();
    void createMenus();
    void setTabOrder();
    void fillDriveList();
    void volumesChanged();
    void endProgram();   // the partial report goes first
    QByteArray currentDrive() const;
    void setCurrentDrive(const QByteArray& mount);
    void setStartControlsEnabled(bool on);
    std::vector<QByteArray> volumeMounts() const;   // every volume in drvHDs
    QString reportPath() const;
    void windowResized();

    // The View menu: sizes on disk, opening the tree at a folder (MainWindowView.cpp).
    void createViewMenu();
    void sizeOnDiskToggled(bool on);
    void largestFilesTriggered();
    void changesTriggered();
    void mapTriggered();
    void showScanOnMap();
    void saveSnapshot();
    void scanFinished();   // the windows beyond the tree take the new scan
    void recaptionTree();
    void openTreeDownTo(const QByteArray& path);

    // Tree events (MainWindowTree.cpp).
    bool busy() const;   // a scan or a fill runs: no new scan may rebuild the tree under it
    void scanVolume();
    bool scanWillList(QTreeWidgetItem* item) const;
    void fillDeferredExpansions();
    void folderExpanded(QTreeWidgetItem* item);
    void addChildNodes(const QByteArray& key, const std::vector<Folder>& children);
    void folderClicked(QTreeWidgetItem* item);
    void treeMouseReleased(const QPoint& pos);
    void reselect(const QByteArray& refreshKey, const QByteArray& oldDriveKey);
    void selectKey(const QByteArray& key);

    // Folder commands (MainWindowCommands.cpp).
    bool refuseVolumeRoot(const QByteArray& key);
    bool confirmDelete(const QByteArray& key);
    bool trashFile(const QByteArray& path);
    bool trashFolder(const QByteArray& key);
    bool trashItem(const QByteArray& path);   // a folder or a file
    void openFolderFromView(const QByteArray& folder);
    void showDeleteOutcome(const QByteArray& key);

    Services services_;
    std::function<void()> endProgram_;

    QWidget* client_ = nullptr;
    QGroupBox* Frame1_ = nullptr;
    QComboBox* drvHDs_ = nullptr;
    QPushButton* cmdRun_ = nullptr;
    QGroupBox* frmMain_ = nullptr;
    QTreeWidget* trvDir_ = nullptr;
    QPushButton* cmdOpen_ = nullptr;
    QPushButton* cmdDelete_ = nullptr;
    QPushButton* cmdRename_ = nullptr;
    QPushButton* cmdExit_ = nullptr;
    QLineEdit* File1_ = nullptr;
    QProgressBar* ProgressBar_ = nullptr;
    QGroupBox* frameStatus_ = nullptr;
    QPlainTextEdit* txtStatus_ = nullptr;
    QLabel* lblVersion_ = nullptr;
    QTimer* Timer_ = nullptr;
    QMenu* mnuDir2_ = nullptr;
    QMenu* mnuDir3_ = nullptr;
    QMenu* lastPopup_ = nullptr;
    QAction* sizeOnDisk_ = nullptr;
    QPointer<LargestFilesWindow> largestFiles_;
    QPointer<ChangesWindow> changes_;
    QPointer<MapWindow> map_;
    std::shared_ptr<const Snapshot> lastSnapshot_;   // of the last complete scan
    bool saving_ = false;                             // a snapshot is being written

    std::unique_ptr<FolderTree> tree_;
    std::unique_ptr<StatusBox> status_;
    std::unique_ptr<DriveScanner> scanner_;
    std::unique_ptr<WidgetFormAccess> formAccess_;
    std::unique_ptr<Resizer> resizer_;
    QByteArray file1Key_;
    QByteArray refreshKey_;
    QSet<QByteArray> filling_;   // keys whose lazy fill is running
    QSet<QByteArray> deferred_;  // nodes opened during a scan, filled when it ends
    bool trashBusy_ = false;     // Delete or Empty Trash is at work
};

} // namespace torvane
