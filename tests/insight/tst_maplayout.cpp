#include "MapTestTrees.h"

#include "insight/MapLayout.h"
#include "insight/MapPaint.h"

#include <QTest>

#include <cmath>

using namespace torvane;
using namespace torvane::test;

namespace {

constexpr double eps = 1e-6;

MapTree treeOf(const MapVolume& volume)
{
    return MapTree(volume.mount, volume.folders, volume.files, false);
}

// Sorted by left edge, each tile need only be held against those starting before its right edge.
bool siblingsOverlap(const MapLayout& layout, const MapTile& parent)
{
    std::vector<QRectF> rects;
    for (std::uint32_t c = parent.firstChild; c < parent.firstChild + parent.childCount; ++c)
        rects.push_back(layout.tiles[c].rect);
    std::sort(rects.begin(), rects.end(), [](const QRectF& a, const QRectF& b) { return a.left() < b.left(); });
    for (std::size_t a = 0; a < rects.size(); ++a) {
        for (std::size_t b = a + 1; b < rects.size() && rects[b].left() < rects[a].right() - eps; ++b) {
            const QRectF both = rects[a].intersected(rects[b]);
            if (both.width() > eps && both.height() > eps)
                return true;
        }
    }
    return false;
}

// Every property a layout must have, checked against the tree it came from. Returns the first
// broken one, or an empty string.
QString brokenProperty(const MapTree& tree, const MapLayout& layout)
{
    const MapLayoutOptions& o = layout.options;
    for (std::size_t i = 0; i < layout.tiles.size(); ++i) {
        const MapTile& tile = layout.tiles[i];
        const auto at = [&] { return QStringLiteral("tile %1 (%2): ").arg(i).arg(QString::fromUtf8(tree.absolutePath(tile.node))); };
        if (tile.size == 0)
            return at() + "an empty tile";
        if (tile.rect.width() < o.minSide - eps || tile.rect.height() < o.minSide - eps)
            return at() + "thinner than the smallest side";
        const QRectF room = i > 0 ? mapContentRect(layout.tiles[std::size_t(tile.parent)].rect, o) : QRectF();
        if (i > 0 && !room.adjusted(-eps, -eps, eps, eps).contains(tile.rect))
            return at() + "outside its folder's content";
        const QRectF content = tile.kind == MapTileKind::Folder ? mapContentRect(tile.rect, o) : QRectF();
        std::uint64_t total = 0;
        for (const std::int32_t child : tree.children(tile.node))
            total += tree.node(child).size;
        if (tile.childCount == 0) {
            if (!content.isEmpty() && total > 0)
                return at() + "a folder with room and contents but no tiles inside";
            continue;
        }
        std::uint64_t smallItems = 0;
        bool merged = false;
        std::vector<std::int32_t> ownTiles;
        for (std::uint32_t c = tile.firstChild; c < tile.firstChild + tile.childCount; ++c) {
            const MapTile& child = layout.tiles[c];
            if (child.parent != int(i) || child.depth != tile.depth + 1)
                return at() + "a child that does not point back";
            if (child.kind == MapTileKind::SmallItems) {
                merged = true;
                smallItems = child.size;
                if (child.node != tile.node || c + 1 != tile.firstChild + tile.childCount)
                    return at() + "small items that are not the folder's last tile";
            } else {
                ownTiles.push_back(child.node);
            }
            const double share = double(child.size) / double(total) * content.width() * content.height();
            const double area = child.rect.width() * child.rect.height();
            if (std::abs(area - share) > 0.01 * share)
                return at() + QStringLiteral("child %1 has area %2 for a share of %3").arg(c).arg(area).arg(share);
        }
        // The tree lists children largest first. Tiles of their own go to the first of them, each
        // once and in that order; only the smallest go without: merged, or a sliver lost.
        const std::span<const std::int32_t> children = tree.children(tile.node);
        if (ownTiles.size() > children.size() || !std::equal(ownTiles.begin(), ownTiles.end(), children.begin()))
            return at() + "tiles that are not of the largest children in order";
        std::uint64_t untiled = 0;
        for (std::size_t k = ownTiles.size(); k < children.size(); ++k)
            untiled += tree.node(children[k]).size;
        if (merged && smallItems != untiled)
            return at() + "small items that do not add up to the children without a tile";
        const double lost = merged ? 0 : double(untiled) / double(total) * content.width() * content.height();
        if (lost > o.minSide * std::max(content.width(), content.height()) + eps)
            return at() + QStringLiteral("%1 px² of children left without a tile").arg(lost);
        if (siblingsOverlap(layout, tile))
            return at() + "overlapping children";
    }
    return {};
}

// "name=size" of a node's children in their order, "other files" included.
QByteArrayList childList(const MapTree& tree, int node)
{
    QByteArrayList out;
    for (const std::int32_t child : tree.children(node))
        out << tree.name(child) + '=' + QByteArray::number(qulonglong(tree.node(child).size));
    return out;
}

} // namespace

class MapLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void treeHasFoldersFilesAndTheRestAndShrinksOnRemoval()
    {
        // a: 100 in all, 30 in x, 45 in listed files; its own other files are the 25 left.
        const MapVolume volume = mapVolume({{"", 5}, {"a", 25}, {"a/x", 30}},
                                           {largeFile("/data/a/big.iso", 40), largeFile("/data/a/clip.mkv", 5),
                                            largeFile("/data/top.bin", 7), largeFile("/elsewhere/a/z", 99),
                                            largeFile("/data/a/empty", 0)});
        const MapTree tree = treeOf(volume);
        QCOMPARE(tree.node(tree.root()).size, 112u);
        QCOMPARE(childList(tree, tree.root()), (QByteArrayList{"a=100", "top.bin=7", "other files=5"}));
        QCOMPARE(childList(tree, tree.find("/data/a")), (QByteArrayList{"big.iso=40", "x=30", "other files=25", "clip.mkv=5"}));
        QCOMPARE(tree.find("/data/a/empty"), -1);

        // The index says 10 for a folder whose subfolder says 50 (it grew during the walk).
        const MapTree grown("/data", {{"", {60, 60}}, {"a", {10, 10}}, {"a/b", {50, 50}}}, {largeFile("/data/a/f", 20)}, false);
        QCOMPARE(childList(grown, grown.find("/data/a")), (QByteArrayList{"b=50", "f=20"}));

        const MapTree onDisk("/data", {{"", {100, 8192}}, {"a", {100, 4096}}}, {{"/data/a/sparse", 90, 0, {}}}, true);
        QCOMPARE(childList(onDisk, onDisk.root()), (QByteArrayList{"a=4096", "other files=4096"}));
        QCOMPARE(childList(onDisk, onDisk.find("/data/a")), (QByteArrayList{"other files=4096"}));

        // A removal shrinks the ancestors and moves them to their new place among siblings.
        MapTree shrinking = treeOf(mapVolume({{"", 0}, {"a", 10}, {"a/x", 50}, {"a/y", 20}, {"b", 70}, {"c", 40}}));
        QCOMPARE(childList(shrinking, shrinking.root()), (QByteArrayList{"a=80", "b=70", "c=40"}));
        const int x = shrinking.find("/data/a/x");
        QVERIFY(shrinking.remove(x));
        QCOMPARE(childList(shrinking, shrinking.root()), (QByteArrayList{"b=70", "c=40", "a=30"}));
        QCOMPARE(childList(shrinking, shrinking.find("/data/a")), (QByteArrayList{"y=20", "other files=10"}));
        QCOMPARE(shrinking.node(shrinking.root()).size, 140u);
        QCOMPARE(shrinking.find("/data/a/x"), -1);
        QVERIFY(!shrinking.remove(x));
        QVERIFY(!shrinking.remove(shrinking.root()));
        QVERIFY(!shrinking.remove(shrinking.nodeCount()));
    }

    void treeFindsFoldersByPath()
    {
        // '-' sorts before '/', so "a-x" and its subtree sit between "a" and "a/b". Without a root
        // of its own, the volume's is made of its top-level folders.
        const std::pair<QByteArrayList, std::uint64_t> cases[] = {
            {{"", "a", "a-x", "a-x/y", "a/b", "a/b/c", "ab"}, 6},
            {{"a/b/c", "ab", "", "a-x/y", "a/b", "a", "a-x"}, 6},
            {{"a", "", "a/b", ""}, 6},
            {{"a", "a-x", "a-x/y", "a/b", "a/b/c", "ab"}, 3},
        };
        for (const auto& [paths, rootSize] : cases) {
            std::vector<IndexedFolder> folders;
            for (const QByteArray& path : paths)
                folders.push_back({path, {path.isEmpty() ? 6u : 1u, 0}});
            const MapTree tree("/", folders, {}, false);
            for (const QByteArray& path : paths) {
                const int node = tree.find("/" + path);
                QVERIFY2(node >= 0, path.constData());
                QCOMPARE(tree.absolutePath(node), "/" + path);
                if (!path.isEmpty())
                    QCOMPARE(tree.absolutePath(tree.node(node).parent), "/" + path.left(std::max<qsizetype>(path.lastIndexOf('/'), 0)));
            }
            QCOMPARE(tree.node(tree.root()).size, rootSize);
        }

        // Paths are bytes, and a mount path's own separator is optional.
        const QByteArray odd("caf\xe9\n\xff", 6);
        const MapTree tree = treeOf(mapVolume({{"", 1}, {odd, 2}, {odd + "/in", 3}}, {}, "/media/usb"));
        const int inner = tree.find("/media/usb/" + odd + "/in");
        QVERIFY(inner > 0);
        QCOMPARE(tree.name(tree.node(inner).parent), odd);
        QCOMPARE(tree.find("/media/usb/"), tree.root());
        QCOMPARE(tree.find("/media/usb"), tree.root());
        QCOMPARE(tree.nearestFolder("/media/usb/" + odd + "/later/made"), tree.node(inner).parent);
        QCOMPARE(tree.nearestFolder("/media/usbstick/a"), -1);
        QCOMPARE(tree.find("/media/usb/" + odd + "/gone"), -1);
    }

    void layoutKeepsItsProperties()
    {
        const QSizeF screen(1280, 800), narrow(90, 700);
        const MapVolume hand = mapVolume({{"", 10}, {"a", 20}, {"a/x", 40}, {"b", 30}, {"b/y", 0}, {"c", 5}},
                                         {largeFile("/data/a/movie.mkv", 10), largeFile("/data/b/disk.iso", 25)});
        std::vector<std::uint64_t> huge(200, 1);
        huge[0] = std::uint64_t(1) << 40;
        const MapVolume equal = flatVolume(std::vector<std::uint64_t>(50000, 4096));
        const MapVolume generated = generatedVolume(3000, 0x2545f4914f6cdd1dull);
        std::map<QByteArray, std::uint64_t> chain;   // 500 folders, each holding the next
        for (QByteArray path = "n"; chain.size() < 500; path += "/n")
            chain[path] = 1;
        struct Case {
            const char* name;
            MapVolume volume;
            QSizeF size;
            double labelHeight;
            // Equal children of about 20 px² each: nearly all get a tile of their own, squarish.
            bool nearSquare = false;
            // Each level of a chain is 2 px narrower than its parent: it stops near this depth.
            int deepest = 0;
        };
        const Case cases[] = {
            {"hand-made", hand, screen, 14},
            {"hand-made, tiny", hand, QSizeF(7, 5), 14},
            {"all zero but one", flatVolume({0, 0, 9, 0}), QSizeF(300, 200), 14},
            {"one huge child", flatVolume(huge), screen, 0},
            {"50,000 equal children", equal, screen, 0, true},
            {"50,000 equal children, small", equal, QSizeF(100, 100), 0},
            {"generated", generated, screen, 14},
            {"generated, narrow", generated, narrow, 14},
            {"a chain of 500 folders", mapVolume(chain), QSizeF(120, 80), 0, false, 35},
        };
        for (const Case& c : cases) {
            const MapTree tree = treeOf(c.volume);
            MapLayoutOptions options;
            options.labelHeight = c.labelHeight;
            const MapLayout layout = layoutMap(tree, tree.root(), QRectF(QPointF(3, 4), c.size), options);
            QVERIFY2(!layout.tiles.empty() && layout.tiles.front().rect == QRectF(QPointF(3, 4), c.size), c.name);
            const QString broken = brokenProperty(tree, layout);
            QVERIFY2(broken.isEmpty(), qPrintable(QLatin1String(c.name) + QLatin1String(": ") + broken));
            if (c.nearSquare) {
                QVERIFY2(layout.tiles.size() > 45000, qPrintable(QString::number(layout.tiles.size())));
                QVERIFY2(meanAspectRatio(layout) < 1.6, qPrintable(QString::number(meanAspectRatio(layout))));
            }
            if (c.deepest > 0) {
                const int deepest = std::max_element(layout.tiles.begin(), layout.tiles.end(),
                                                     [](const MapTile& a, const MapTile& b) { return a.depth < b.depth; })->depth;
                QVERIFY2(std::abs(deepest - c.deepest) < 5, qPrintable(QString::number(deepest)));
            }
        }

        // Nothing to lay out: an empty top, no room, no tree.
        const MapTree empties = treeOf(flatVolume({0, 7, 0, 3, 0}));
        QVERIFY(layoutMap(empties, empties.find("/data/c000000"), QRectF(0, 0, 400, 300)).tiles.empty());
        QVERIFY(layoutMap(empties, empties.root(), QRectF(0, 0, 1.5, 300)).tiles.empty());
        QVERIFY(layoutMap(MapTree(), 0, QRectF(0, 0, 400, 300)).tiles.empty());
    }

    void layoutOfKnownShapes()
    {
        // With no border each folder holds one tile of its own files, of its shape, so the mean
        // is that of the folders. 3:1 beside 1:1 in a 4:1 field: a 3:1 block is better left
        // whole than cut.
        const std::tuple<std::vector<std::uint64_t>, QSizeF, double> cases[] = {
            {{1, 1}, QSizeF(200, 100), 1.0},
            {{5}, QSizeF(300, 100), 3.0},
            {{3, 1}, QSizeF(400, 100), 2.0},
        };
        MapLayoutOptions options;
        options.border = 0;
        for (const auto& [sizes, size, ratio] : cases) {
            const MapTree tree = treeOf(flatVolume(sizes));
            const MapLayout layout = layoutMap(tree, tree.root(), QRectF(QPointF(0, 0), size), options);
            QCOMPARE(layout.tiles.size(), 2 * sizes.size() + 1);
            QVERIFY2(std::abs(meanAspectRatio(layout) - ratio) < 1e-9, qPrintable(QString::number(meanAspectRatio(layout))));
        }
    }

    void pointsFindTheDeepestTile()
    {
        const MapTree tree = treeOf(generatedVolume(2000, 0x9e3779b97f4a7c15ull));
        MapLayoutOptions options;
        options.labelHeight = 14;
        const MapLayout layout = layoutMap(tree, tree.root(), QRectF(0, 0, 1280, 800), options);
        const auto isWithin = [&](int tile, int ancestor) {
            while (tile >= 0 && tile != ancestor)
                tile = layout.tiles[std::size_t(tile)].parent;
            return tile == ancestor;
        };
        for (std::size_t i = 0; i < layout.tiles.size(); ++i) {
            const MapTile& tile = layout.tiles[i];
            const int hit = mapTileAt(layout, tile.rect.center());
            if (tile.childCount == 0)
                QCOMPARE(hit, int(i));
            else
                QVERIFY(isWithin(hit, int(i)));
            // A folder's own border belongs to it and to nothing inside it.
            QVERIFY(mapTileAt(layout, tile.rect.topLeft() + QPointF(0.5, 0.5)) == int(i) || tile.rect.width() < 3);
        }
        QCOMPARE(mapTileAt(layout, QPointF(-1, 10)), -1);
        QCOMPARE(mapTileAt(layout, QPointF(10, 800)), -1);
    }
};

QTEST_MAIN(MapLayoutTest)
#include "tst_maplayout.moc"
