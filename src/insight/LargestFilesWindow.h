#pragma once

#include "fs/FileSystem.h"

#include <QByteArray>
#include <QWidget>

#include <functional>
#include <vector>

class QAction;
class QLabel;
class QStackedWidget;
class QTableView;

namespace torvane {

class LargestFilesFilter;
class LargestFilesModel;

// What the window's commands do; the owner supplies them, and they report their own failures.
// Folders come keyed as the tree keys them (the volume's root by its drive key).
struct LargestFilesActions {
    std::function<void(const QByteArray& folder)> openFolder;
    std::function<void(const QByteArray& folder)> showInTree;
    // True when the file is gone; its row then leaves the table.
    std::function<bool(const QByteArray& file)> moveToTrash;
};

// A non-modal window listing the largest files of the last scan, largest first, with a filter.
class LargestFilesWindow : public QWidget {
    Q_OBJECT

public:
    explicit LargestFilesWindow(LargestFilesActions actions, QWidget* parent = nullptr);

    // The list the last scan of the volume at mountPath found.
    void setFiles(std::vector<LargeFile> files, const QByteArray& mountPath);
    // The volume chosen in the main window: while it is not the list's, the window says so.
    void setChosenVolume(const QByteArray& mountPath);
    void setSizeOnDisk(bool on);

private:
    QWidget* makeTablePage();
    void showFittingPage();
    void updateActions();
    void showContextMenu(const QPoint& position);
    std::vector<int> selectedRows() const;   // proxy rows, top to bottom
    QByteArray rowData(int row, int role) const;   // of a proxy row

    void openFolderTriggered();
    void showInTreeTriggered();
    void moveToTrashTriggered();

    LargestFilesActions actions_;
    LargestFilesModel* model_;
    LargestFilesFilter* filter_;
    QStackedWidget* pages_ = nullptr;
    QLabel* message_ = nullptr;
    QWidget* tablePage_ = nullptr;
    QTableView* table_ = nullptr;
    QAction* openFolder_ = nullptr;
    QAction* showInTree_ = nullptr;
    QAction* moveToTrash_ = nullptr;
    bool scanned_ = false;
    QByteArray listVolume_;
    QByteArray chosenVolume_;
};

} // namespace torvane
