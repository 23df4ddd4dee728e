#pragma once

#include "platform/Services.h"
#include "rename/RenameHost.h"

#include <QByteArray>
#include <QMainWindow>
#include <QSet>

#include <functional>
#include <memory>

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
class resizer;
class WidgetFormAccess;
class FolderTree;
class StatusBox;

// The main window: drive chooser, folder tree, folder buttons, progress bar, status box.
class frmDir final : public QMainWindow, public RenameHost {
    Q_OBJECT

public:
    // endProgram ends the process at once (no close handlers); tests pass a recorder.
    frmDir(const Services& services, std::function<void()> endProgram, QWidget* parent = nullptr);
    ~frmDir() override;

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
    void cmdRun_Click();
    void mProcess_Click();
    void Refresh();
    void Open();
    void Delete();
    void Properties();
    void EmptyTrash();
    void OpenXmlOutput();
    void SaveAndShowLog();
    void Rename();
    void CheckUpdates();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createMenus();
    void setTabOrder();
    void fillDriveList();
    QByteArray currentDrive() const;
    void setCurrentDrive(const QByteArray& mount);
    void setStartControlsEnabled(bool on);
    std::vector<QByteArray> volumeMounts() const;   // every volume in drvHDs
    QString reportPath() const;

    void trvDir_Expand(QTreeWidgetItem* item);
    bool busy() const;   // a scan or a fill runs: no new scan may rebuild the tree under it
    void trvDir_NodeClick(QTreeWidgetItem* item);
    void trvDir_MouseUp(const QPoint& pos);
    void reselect(const QByteArray& refreshKey, const QByteArray& oldDriveKey);
    void selectKey(const QByteArray& key);
    bool confirmDelete(const QByteArray& key);
    void Form_Resize();

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

    std::unique_ptr<FolderTree> tree_;
    std::unique_ptr<StatusBox> status_;
    std::unique_ptr<DriveScanner> scanner_;
    std::unique_ptr<WidgetFormAccess> formAccess_;
    std::unique_ptr<resizer> resizer_;
    QByteArray file1Key_;
    QByteArray refreshKey_;
    QSet<QByteArray> filling_;   // keys whose lazy fill is running
};

} // namespace torvane
