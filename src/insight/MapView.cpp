#include "insight/MapView.h"

#include "insight/MapPaint.h"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

namespace torvane {

MapView::MapView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("mapView"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(120, 80);
}

void MapView::setTree(const MapTree* tree, int top)
{
    tree_ = tree;
    top_ = top;
    invalidate();
}

void MapView::setTop(int top)
{
    if (top == top_)
        return;
    top_ = top;
    invalidate();
}

void MapView::treeChanged()
{
    invalidate();
}

void MapView::setMessage(const QString& message)
{
    message_ = message;
    invalidate();
}

void MapView::invalidate()
{
    stale_ = true;
    hovered_ = -1;
    update();
}

const MapLayout& MapView::currentLayout()
{
    const QSize pixels = size() * devicePixelRatio();
    if (!stale_ && picture_.size() == pixels)
        return layout_;
    stale_ = false;
    MapLayoutOptions options;
    options.labelHeight = QFontMetricsF(font()).height() + 2;
    layout_ = tree_ ? layoutMap(*tree_, top_, QRectF(rect()), options) : MapLayout{};

    picture_ = QImage(pixels, QImage::Format_RGB32);
    picture_.setDevicePixelRatio(devicePixelRatio());
    picture_.fill(palette().color(QPalette::Window));
    QPainter painter(&picture_);
    painter.setFont(font());
    if (tree_)
        paintMap(painter, *tree_, layout_);
    if (layout_.tiles.empty() && !message_.isEmpty())
        painter.drawText(QRectF(rect()), Qt::AlignCenter | Qt::TextWordWrap, message_);
    return layout_;
}

int MapView::tileAt(const QPointF& point)
{
    return mapTileAt(currentLayout(), point);
}

void MapView::paintEvent(QPaintEvent*)
{
    currentLayout();
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), picture_);
    if (hovered_ >= 0 && hovered_ < int(layout_.tiles.size())) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRect(layout_.tiles[std::size_t(hovered_)].rect.adjusted(1, 1, -1, -1));
    }
}

void MapView::resizeEvent(QResizeEvent*)
{
    // The next paint lays out for the new size, so a burst of resizes costs one layout a frame.
    hovered_ = -1;
}

void MapView::setHovered(int tile)
{
    if (tile == hovered_)
        return;
    hovered_ = tile;
    update();
    emit hovered(tile);
}

void MapView::mouseMoveEvent(QMouseEvent* event)
{
    setHovered(tileAt(event->position()));
}

void MapView::leaveEvent(QEvent*)
{
    setHovered(-1);
}

void MapView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int tile = tileAt(event->position());
    if (tile >= 0)
        emit clicked(tile);
}

void MapView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int tile = tileAt(event->position());
    if (tile >= 0)
        emit doubleClicked(tile);
}

void MapView::contextMenuEvent(QContextMenuEvent* event)
{
    const int tile = tileAt(event->pos());
    if (tile >= 0)
        emit contextMenuWanted(tile, event->globalPos());
}

} // namespace torvane
