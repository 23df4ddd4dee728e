#pragma once

#include "insight/MapTree.h"

#include <QPointF>
#include <QRectF>

#include <cstdint>
#include <vector>

namespace torvane {

struct MapLayoutOptions {
    double border = 1;        // a folder's children keep this far from its edges
    double labelHeight = 0;   // the strip on top of a folder for its label, where it fits; 0 for none
    double minSide = 2;       // no tile is thinner; smaller children become one "small items" tile
};

enum class MapTileKind : std::uint8_t { Folder, File, OtherFiles, SmallItems };

struct MapTile {
    QRectF rect;
    std::uint64_t size = 0;
    std::int32_t node = -1;        // the tree's node; for small items, the folder holding them
    std::int32_t parent = -1;      // the enclosing tile, -1 for the top
    std::uint32_t firstChild = 0;  // a tile's children are one run of the tile list
    std::uint32_t childCount = 0;
    std::uint16_t depth = 0;       // 0 for the top
    MapTileKind kind = MapTileKind::Folder;
};

struct MapLayout {
    std::vector<MapTile> tiles;   // the top first; every tile after its parent
    MapLayoutOptions options;
};

// The area of a folder tile its children share: inside the border and below the label strip.
// Empty when less than minSide is left either way.
QRectF mapContentRect(const QRectF& tileRect, const MapLayoutOptions& options);
bool mapHasLabelStrip(const QRectF& tileRect, const MapLayoutOptions& options);

// Squarified: each child's area is its share of its folder's content rect, children largest
// first. Levels stop where a tile would be thinner than minSide. Nodes of size 0 get no tile, and
// neither does the top when it is empty.
MapLayout layoutMap(const MapTree& tree, int top, const QRectF& bounds, const MapLayoutOptions& options = {});

// Longer side over shorter side, averaged over every tile below the top; 0 when there is none.
double meanAspectRatio(const MapLayout& layout);

// The deepest tile under the point, or -1. Edges belong to the tile right of and below them,
// so a point on a shared edge has one owner.
int mapTileAt(const MapLayout& layout, const QPointF& point);

} // namespace torvane
