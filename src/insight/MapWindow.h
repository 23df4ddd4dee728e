#pragma once

#include "insight/MapTree.h"

#include <QByteArray>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace torvane {

class MapView;

// What the map asks of the rest of the program. Paths are absolute.
struct MapActions {
    std::function<void(const QByteArray& folder)> showInTree;
    std::function<void(const QByteArray& folder)> openFolder;
    // Asks, moves the item to the trash and says so; true when the item is gone.
    std::function<bool(const QByteArray& path)> moveToTrash;
};

// The scanned volume as nested rectangles, one folder at the top. Non-modal and resizable. A
// click shows the folder in the main tree, a double click makes it the top, Up and Backspace go
// back one level. Controls: mapView, mapUp, mapNote (what the map is not), mapStatus (the tile
// under the pointer), mapLegend.
class MapWindow final : public QWidget {
    Q_OBJECT
public:
    explicit MapWindow(MapActions actions, QWidget* parent = nullptr);
    ~MapWindow() override;

    // After each scan. `note`, when not empty, says why the map may not be of the volume the
    // user chose. The top stays where it was if the new scan has that folder.
    void setScan(const QByteArray& mountPath, const std::vector<IndexedFolder>& folders,
                 const std::vector<LargeFile>& files, bool allocated, const QString& note = {});
    // Makes the folder the top, or, for one the scan does not know, its nearest ancestor that it
    // does, saying so.
    void showFolder(const QByteArray& absoluteFolder);
    QByteArray topFolder() const;
    void up();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setTop(int node);
    void showNotes();
    void showStatus(int tile);
    void tileClicked(int tile);
    void tileDoubleClicked(int tile);
    void showMenu(int tile, const QPoint& globalPos);
    void trash(const QByteArray& path);

    MapActions actions_;
    MapTree tree_;
    bool scanned_ = false;
    QString scanNote_;
    QString folderNote_;
    MapView* view_ = nullptr;
    QPushButton* upButton_ = nullptr;
    QLabel* note_ = nullptr;
    QLabel* status_ = nullptr;
};

} // namespace torvane
