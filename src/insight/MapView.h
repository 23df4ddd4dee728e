#pragma once

#include "insight/MapLayout.h"

#include <QImage>
#include <QWidget>

namespace torvane {

// Draws a MapTree from one top folder down. The layout and the picture of it are made once per
// size, top or tree change and kept; a paint only copies the picture and outlines the tile under
// the pointer. Tile numbers in the signals hold until the next change, so receivers use them at
// once.
class MapView final : public QWidget {
    Q_OBJECT
public:
    explicit MapView(QWidget* parent = nullptr);

    // The tree stays the caller's; nullptr draws only the message.
    void setTree(const MapTree* tree, int top);
    void setTop(int top);
    int top() const { return top_; }
    // The tree changed in place (a node dropped): lay out again.
    void treeChanged();
    void setMessage(const QString& message);

    const MapTree* tree() const { return tree_; }
    // The layout for the current size and top, made now if it is out of date.
    const MapLayout& currentLayout();
    int tileAt(const QPointF& point);

signals:
    void hovered(int tile);   // -1 when the pointer leaves the tiles
    void clicked(int tile);
    void doubleClicked(int tile);
    void contextMenuWanted(int tile, const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void invalidate();
    void setHovered(int tile);

    const MapTree* tree_ = nullptr;
    int top_ = -1;
    QString message_;
    MapLayout layout_;
    QImage picture_;
    bool stale_ = true;
    int hovered_ = -1;
};

} // namespace torvane
