#pragma once

#include "insight/MapLayout.h"

#include <QByteArray>
#include <QColor>
#include <QString>

#include <cstdint>

class QFont;
class QPainter;

namespace torvane {

enum class MapFileKind : std::uint8_t { Video, Audio, Image, Archive, Document, Code, Other };
constexpr int mapFileKindCount = 7;

// By the file name's extension, in any case; "Other" without one or for one not known.
MapFileKind mapFileKind(const QByteArray& name);
// The legend's word for the kind.
QString mapFileKindName(MapFileKind kind);
QColor mapFileKindColor(MapFileKind kind);
QColor mapFolderColor(int depth);
QColor mapOtherFilesColor();
QColor mapSmallItemsColor();

// A tile's name, escaped as in the tree. The top gives its whole path, since a volume's root has
// no name of its own.
QString mapTileName(const MapTree& tree, const MapLayout& layout, int tile);

// Draws the tiles in the order laid out (parents under their children) and a label on each tile
// it fits, in the painter's font.
void paintMap(QPainter& painter, const MapTree& tree, const MapLayout& layout);

} // namespace torvane
