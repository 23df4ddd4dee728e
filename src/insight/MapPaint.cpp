#include "insight/MapPaint.h"

#include "fs/Keys.h"
#include "scan/FolderNode.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainter>

#include <array>

namespace torvane {

namespace {

const QHash<QByteArray, MapFileKind>& extensionKinds()
{
    static const QHash<QByteArray, MapFileKind> kinds = [] {
        QHash<QByteArray, MapFileKind> map;
        const auto add = [&map](MapFileKind kind, std::initializer_list<const char*> extensions) {
            for (const char* e : extensions)
                map.insert(QByteArray(e), kind);
        };
        add(MapFileKind::Video, {"mp4", "mkv", "avi", "mov", "webm", "wmv", "flv", "m4v", "mpg", "mpeg", "m2ts", "vob", "3gp", "ogv"});
        add(MapFileKind::Audio, {"mp3", "flac", "wav", "ogg", "oga", "opus", "m4a", "aac", "wma", "aiff", "ape", "mid", "midi"});
        add(MapFileKind::Image, {"jpg", "jpeg", "png", "gif", "bmp", "tif", "tiff", "webp", "svg", "heic", "heif", "avif",
                                 "raw", "cr2", "nef", "dng", "psd", "xcf", "ico"});
        add(MapFileKind::Archive, {"zip", "tar", "gz", "tgz", "bz2", "xz", "zst", "lz", "lzma", "7z", "rar", "cab", "deb",
                                   "rpm", "apk", "jar", "iso", "img", "dmg", "qcow2", "vmdk", "vdi", "vhd", "vhdx", "squashfs", "snap"});
        add(MapFileKind::Document, {"pdf", "doc", "docx", "odt", "rtf", "txt", "md", "tex", "epub", "xls", "xlsx", "ods", "csv",
                                    "ppt", "pptx", "odp", "djvu"});
        add(MapFileKind::Code, {"c", "cc", "cpp", "cxx", "h", "hh", "hpp", "py", "js", "ts", "java", "kt", "rs", "go", "rb", "pl",
                                "php", "sh", "cs", "swift", "html", "css", "json", "xml", "yaml", "yml", "toml", "cmake", "o",
                                "a", "so", "class", "pyc", "wasm"});
        return map;
    }();
    return kinds;
}

struct TileColours {
    QColor fill;
    QColor edge;
};

TileColours colours(QColor fill)
{
    return {fill, fill.darker(135)};
}

// Every colour a tile can have, worked out once per paint rather than once per tile.
class Palette {
public:
    Palette()
    {
        for (int d = 0; d < int(folders_.size()); ++d)
            folders_[std::size_t(d)] = colours(mapFolderColor(d));
        for (int k = 0; k < mapFileKindCount; ++k)
            files_[std::size_t(k)] = colours(mapFileKindColor(MapFileKind(k)));
        other_ = colours(mapOtherFilesColor());
        small_ = colours(mapSmallItemsColor());
    }

    const TileColours& of(const MapTree& tree, const MapTile& tile) const
    {
        switch (tile.kind) {
        case MapTileKind::Folder: return folders_[tile.depth % folders_.size()];
        case MapTileKind::File: return files_[std::size_t(mapFileKind(tree.name(tile.node)))];
        case MapTileKind::OtherFiles: return other_;
        case MapTileKind::SmallItems: return small_;
        }
        return other_;
    }

private:
    std::array<TileColours, 6> folders_;
    std::array<TileColours, mapFileKindCount> files_;
    TileColours other_;
    TileColours small_;
};

} // namespace

MapFileKind mapFileKind(const QByteArray& name)
{
    const qsizetype dot = name.lastIndexOf('.');
    // A leading dot makes a hidden file, not an extension.
    if (dot <= 0 || dot + 1 == name.size())
        return MapFileKind::Other;
    return extensionKinds().value(name.mid(dot + 1).toLower(), MapFileKind::Other);
}

QString mapFileKindName(MapFileKind kind)
{
    switch (kind) {
    case MapFileKind::Video: return QStringLiteral("Video");
    case MapFileKind::Audio: return QStringLiteral("Audio");
    case MapFileKind::Image: return QStringLiteral("Images");
    case MapFileKind::Archive: return QStringLiteral("Archives and disk images");
    case MapFileKind::Document: return QStringLiteral("Documents");
    case MapFileKind::Code: return QStringLiteral("Code");
    case MapFileKind::Other: break;
    }
    return QStringLiteral("Other");
}

QColor mapFileKindColor(MapFileKind kind)
{
    switch (kind) {
    case MapFileKind::Video: return QColor(0xe0, 0x66, 0x66);
    case MapFileKind::Audio: return QColor(0xf6, 0xa8, 0x4b);
    case MapFileKind::Image: return QColor(0x7f, 0xbf, 0x6a);
    case MapFileKind::Archive: return QColor(0x9a, 0x7f, 0xd1);
    case MapFileKind::Document: return QColor(0x5f, 0x9e, 0xd8);
    case MapFileKind::Code: return QColor(0x3f, 0xb8, 0xaf);
    case MapFileKind::Other: break;
    }
    return QColor(0xb7, 0xa8, 0x8e);
}

QColor mapFolderColor(int depth)
{
    // Pale, so file tiles stand out against their folders; neighbouring depths differ in hue.
    static const std::array<QColor, 6> pale = {QColor(0xfd, 0xf3, 0xd0), QColor(0xdc, 0xec, 0xf8), QColor(0xe6, 0xf4, 0xdc),
                                               QColor(0xf6, 0xe0, 0xea), QColor(0xe8, 0xe4, 0xf6), QColor(0xf9, 0xe8, 0xd6)};
    return pale[std::size_t(depth) % pale.size()];
}

QColor mapOtherFilesColor()
{
    return QColor(0xd8, 0xd8, 0xd8);
}

QColor mapSmallItemsColor()
{
    return QColor(0xa8, 0xa8, 0xa8);
}

QString mapTileName(const MapTree& tree, const MapLayout& layout, int tile)
{
    const MapTile& t = layout.tiles[std::size_t(tile)];
    if (t.kind == MapTileKind::SmallItems)
        return QStringLiteral("small items");
    if (tile == 0)
        return displayName(tree.absolutePath(t.node));
    return displayName(tree.name(t.node));
}

namespace {

// The name, cut short in the middle where it must, and the size whole beside or below it; only
// the name where the size leaves no room for a few of its characters.
void drawLabel(QPainter& painter, const QFontMetricsF& metrics, const QRectF& rect, bool twoLines, const QString& name,
               std::uint64_t size)
{
    const QString mb = mbText(size) + QStringLiteral(" MB");
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    const double line = metrics.height();
    if (twoLines && rect.height() >= 2 * line) {
        painter.drawText(rect, flags, metrics.elidedText(name, Qt::ElideMiddle, rect.width()));
        painter.drawText(rect.adjusted(0, line, 0, 0), flags, metrics.elidedText(mb, Qt::ElideRight, rect.width()));
        return;
    }
    const double sizeWidth = metrics.horizontalAdvance(QStringLiteral("  ") + mb);
    if (rect.width() - sizeWidth >= 3 * line)
        painter.drawText(rect, flags, metrics.elidedText(name, Qt::ElideMiddle, rect.width() - sizeWidth) + QStringLiteral("  ") + mb);
    else
        painter.drawText(rect, flags, metrics.elidedText(name, Qt::ElideMiddle, rect.width()));
}

} // namespace

void paintMap(QPainter& painter, const MapTree& tree, const MapLayout& layout)
{
    const Palette palette;
    const QFontMetricsF metrics(painter.font());
    const double line = metrics.height();
    const double border = layout.options.border;
    painter.setPen(QColor(0x20, 0x20, 0x20));
    for (std::size_t i = 0; i < layout.tiles.size(); ++i) {
        const MapTile& tile = layout.tiles[i];
        const TileColours& c = palette.of(tree, tile);
        painter.fillRect(tile.rect, c.edge);
        if (tile.rect.width() > 2 * border && tile.rect.height() > 2 * border)
            painter.fillRect(tile.rect.adjusted(border, border, -border, -border), c.fill);

        // A label needs a line's height and room for a few characters; folders with children
        // put theirs in the strip the layout left on top.
        const QRectF inner = tile.rect.adjusted(border + 2, border, -border - 2, -border);
        const bool strip = tile.kind == MapTileKind::Folder && tile.childCount > 0;
        if (strip && !mapHasLabelStrip(tile.rect, layout.options))
            continue;
        if (inner.height() < line || inner.width() < 3 * line)
            continue;
        const QRectF textRect(inner.left(), inner.top(), inner.width(), strip ? layout.options.labelHeight : inner.height());
        drawLabel(painter, metrics, textRect, !strip, mapTileName(tree, layout, int(i)), tile.size);
    }
}

} // namespace torvane
