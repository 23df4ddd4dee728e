#pragma once

#include "insight/SnapshotComparison.h"
#include "insight/SnapshotStore.h"

#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace torvane {

// What the window asks of the program around it; absolute paths are the folder's bytes.
struct ChangesWindowHooks {
    std::function<void(const QByteArray& absolutePath)> showInTree;
    std::function<void(const QByteArray& absolutePath)> openFolder;
    std::function<void(const QString& line)> statusLine;   // an earlier snapshot that could not be read
};

// "Changes Since Last Scan": the current scan against one of the volume's earlier snapshots,
// as a tree of the folders that changed, filled level by level as it is opened. Loading and
// comparing run off the user-interface thread.
class ChangesWindow : public QWidget {
    Q_OBJECT

public:
    ChangesWindow(SnapshotStore store, ChangesWindowHooks hooks, QWidget* parent = nullptr);
    ~ChangesWindow() override;

    // The scan to compare with its predecessors (null before any scan), and the mount path the
    // snapshot's paths are below. Lists the volume's earlier snapshots, then compares with the
    // latest of them once control returns to the event loop.
    void setCurrent(std::shared_ptr<const Snapshot> current, const QByteArray& mountPath);
    void setSizeKind(SizeKind kind);

private:
    void scheduleComparison();
    void compareWithChoice();
    void showMessage(const QString& text);
    void showComparison();
    void fillChildren(QTreeWidgetItem* parent);
    QTreeWidgetItem* chosenFolder() const;
    QByteArray absolutePath(const QByteArray& path) const;
    void updateActions();
    void runHook(const std::function<void(const QByteArray&)>& hook);

    SnapshotStore store_;
    ChangesWindowHooks hooks_;
    std::shared_ptr<const Snapshot> current_;
    QByteArray mountPath_;
    SizeKind kind_ = SizeKind::Apparent;
    std::vector<SnapshotEntry> earlier_;
    std::shared_ptr<const SnapshotComparison> comparison_;
    int request_ = 0;   // the comparison whose result is still wanted
    bool comparisonDue_ = false;

    QComboBox* choice_;
    QLabel* total_;
    QLabel* message_;
    QTreeWidget* tree_;
    QPushButton* showInTree_;
    QPushButton* openFolder_;
    QAction* showAction_;
    QAction* openAction_;
};

} // namespace torvane
