#include "insight/MapLayout.h"

#include <algorithm>

namespace torvane {

namespace {

MapTileKind tileKindOf(MapTree::Kind kind)
{
    switch (kind) {
    case MapTree::Kind::Folder: return MapTileKind::Folder;
    case MapTree::Kind::File: return MapTileKind::File;
    case MapTree::Kind::OtherFiles: return MapTileKind::OtherFiles;
    }
    return MapTileKind::Folder;
}

bool inside(const QRectF& rect, const QPointF& point)
{
    return point.x() >= rect.left() && point.x() < rect.right() && point.y() >= rect.top() && point.y() < rect.bottom();
}

// The worse aspect ratio of a row's largest and smallest tiles: the row's sum is laid along a
// side of length `side`.
double worstRatio(double side, double sum, double largest, double smallest)
{
    const double side2 = side * side, sum2 = sum * sum;
    return std::max(side2 * largest / sum2, sum2 / (side2 * smallest));
}

class Squarifier {
public:
    Squarifier(const MapTree& tree, MapLayout& layout) : tree_(tree), layout_(layout), options_(layout.options) {}

    void layOutChildren(std::uint32_t tileIndex)
    {
        const MapTile parent = layout_.tiles[tileIndex];   // the list grows below
        if (parent.kind != MapTileKind::Folder)
            return;
        QRectF rest = mapContentRect(parent.rect, options_);
        if (rest.isEmpty())
            return;
        const std::span<const std::int32_t> kids = tree_.children(parent.node);
        std::uint64_t total = 0;
        std::size_t count = 0;
        // Largest first, so the first empty child ends the ones that get a tile.
        for (; count < kids.size() && tree_.node(kids[count]).size > 0; ++count)
            total += tree_.node(kids[count]).size;
        if (total == 0)
            return;
        const double scale = rest.width() * rest.height() / double(total);
        const auto areaOf = [&](std::size_t k) { return double(tree_.node(kids[k]).size) * scale; };
        const double minSide = options_.minSide;

        layout_.tiles[tileIndex].firstChild = std::uint32_t(layout_.tiles.size());
        std::size_t k = 0;
        while (k < count) {
            const double side = std::min(rest.width(), rest.height());
            if (side < minSide)
                break;
            // Grow the row while that brings its worst tile nearer to a square.
            const double first = areaOf(k);
            double rowSum = first;
            double worst = worstRatio(side, first, first, first);
            std::size_t end = k + 1;
            for (; end < count; ++end) {
                const double sum = rowSum + areaOf(end);
                const double ratio = worstRatio(side, sum, first, areaOf(end));
                if (ratio > worst)
                    break;
                rowSum = sum;
                worst = ratio;
            }
            // Tiles at the row's end shorter than minSide wait for a later row, where they are
            // merged if they are still too small.
            while (end - k > 1 && areaOf(end - 1) / (rowSum / side) < minSide)
                rowSum -= areaOf(--end);
            // Even grown as far as it pays, the row is too thin: what is left is small items.
            if (rowSum / side < minSide)
                break;
            placeRow(parent, tileIndex, kids, k, end, rowSum, areaOf, rest);
            k = end;
        }
        if (k < count) {
            std::uint64_t smallSize = 0;
            for (std::size_t i = k; i < count; ++i)
                smallSize += tree_.node(kids[i]).size;
            if (rest.width() >= minSide && rest.height() >= minSide)
                add(parent, tileIndex, rest, smallSize, parent.node, MapTileKind::SmallItems);
        }
        layout_.tiles[tileIndex].childCount = std::uint32_t(layout_.tiles.size()) - layout_.tiles[tileIndex].firstChild;
    }

private:
    template <typename AreaOf>
    void placeRow(const MapTile& parent, std::uint32_t parentIndex, std::span<const std::int32_t> kids, std::size_t from,
                  std::size_t to, double rowSum, const AreaOf& areaOf, QRectF& rest)
    {
        // The row runs along the shorter side and eats its thickness off the longer one.
        const bool column = rest.width() >= rest.height();
        const double side = column ? rest.height() : rest.width();
        const double thickness = rowSum / side;
        double offset = 0;
        for (std::size_t i = from; i < to; ++i) {
            const double length = i + 1 == to ? side - offset : areaOf(i) / thickness;
            const QRectF rect = column ? QRectF(rest.left(), rest.top() + offset, thickness, length)
                                       : QRectF(rest.left() + offset, rest.top(), length, thickness);
            offset += length;
            const MapTree::Node& node = tree_.node(kids[i]);
            add(parent, parentIndex, rect, node.size, kids[i], tileKindOf(node.kind));
        }
        if (column)
            rest.setLeft(std::min(rest.right(), rest.left() + thickness));
        else
            rest.setTop(std::min(rest.bottom(), rest.top() + thickness));
    }

    void add(const MapTile& parent, std::uint32_t parentIndex, const QRectF& rect, std::uint64_t size, int node, MapTileKind kind)
    {
        MapTile tile;
        tile.rect = rect;
        tile.size = size;
        tile.node = node;
        tile.parent = std::int32_t(parentIndex);
        tile.depth = std::uint16_t(parent.depth + 1);
        tile.kind = kind;
        layout_.tiles.push_back(tile);
    }

    const MapTree& tree_;
    MapLayout& layout_;
    const MapLayoutOptions options_;
};

} // namespace

bool mapHasLabelStrip(const QRectF& tileRect, const MapLayoutOptions& options)
{
    // Only where the label leaves at least twice its height for the children below it.
    const double inner = 2 * options.border;
    return options.labelHeight > 0 && tileRect.height() - inner >= 3 * options.labelHeight
        && tileRect.width() - inner >= 3 * options.labelHeight;
}

QRectF mapContentRect(const QRectF& tileRect, const MapLayoutOptions& options)
{
    QRectF content = tileRect.adjusted(options.border, options.border, -options.border, -options.border);
    if (mapHasLabelStrip(tileRect, options))
        content.setTop(content.top() + options.labelHeight);
    if (content.width() < options.minSide || content.height() < options.minSide)
        return {};
    return content;
}

MapLayout layoutMap(const MapTree& tree, int top, const QRectF& bounds, const MapLayoutOptions& options)
{
    MapLayout layout;
    layout.options = options;
    if (top < 0 || top >= tree.nodeCount() || tree.node(top).removed || tree.node(top).size == 0)
        return layout;
    if (bounds.width() < options.minSide || bounds.height() < options.minSide)
        return layout;
    MapTile first;
    first.rect = bounds;
    first.size = tree.node(top).size;
    first.node = top;
    first.kind = tileKindOf(tree.node(top).kind);
    layout.tiles.push_back(first);
    // Breadth first: each folder's children land in one run, which hit-testing walks down.
    Squarifier squarifier(tree, layout);
    for (std::uint32_t i = 0; i < layout.tiles.size(); ++i)
        squarifier.layOutChildren(i);
    return layout;
}

double meanAspectRatio(const MapLayout& layout)
{
    if (layout.tiles.size() < 2)
        return 0;
    double sum = 0;
    for (std::size_t i = 1; i < layout.tiles.size(); ++i) {
        const QRectF& r = layout.tiles[i].rect;
        sum += std::max(r.width(), r.height()) / std::min(r.width(), r.height());
    }
    return sum / double(layout.tiles.size() - 1);
}

int mapTileAt(const MapLayout& layout, const QPointF& point)
{
    if (layout.tiles.empty() || !inside(layout.tiles.front().rect, point))
        return -1;
    std::uint32_t at = 0;
    for (;;) {
        const MapTile& tile = layout.tiles[at];
        std::uint32_t next = at;
        for (std::uint32_t c = tile.firstChild; c < tile.firstChild + tile.childCount; ++c) {
            if (inside(layout.tiles[c].rect, point)) {
                next = c;
                break;
            }
        }
        if (next == at)
            return int(at);
        at = next;
    }
}

} // namespace torvane
