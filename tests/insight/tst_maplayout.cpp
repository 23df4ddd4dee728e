#include "MapTestTrees.h"

#include "insight/MapLayout.h"

#include <QTest>

#include <cmath>

using namespace torvane;
using namespace torvane::test;

Q_DECLARE_METATYPE(torvane::test::MapVolume)
Q_DECLARE_METATYPE(std::vector<std::uint64_t>)

namespace {

constexpr double eps = 1e-6;

MapTree treeOf(const MapVolume& volume)
{
    return MapTree(volume.mount, volume.folders, volume.files, false);
}

bool within(const QRectF& inner, const QRectF& outer)
{
    return inner.left() >= outer.left() - eps && inner.top() >= outer.top() - eps && inner.right() <= outer.right() + eps
        && inner.bottom() <= outer.bottom() + eps;
}

bool overlap(const QRectF& a, const QRectF& b)
{
    const double w = std::min(a.right(), b.right()) - std::max(a.left(), b.left());
    const double h = std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top());
    return w > eps && h > eps;
}

// Sibling pairs that overlap, found through a grid of cells so 50,000 siblings stay cheap.
int overlappingSiblings(const MapLayout& layout, const MapTile& parent, const QRectF& area)
{
    if (parent.childCount < 64) {
        int found = 0;
        for (std::uint32_t a = parent.firstChild; a < parent.firstChild + parent.childCount; ++a) {
            for (std::uint32_t b = a + 1; b < parent.firstChild + parent.childCount; ++b)
                found += overlap(layout.tiles[a].rect, layout.tiles[b].rect) ? 1 : 0;
        }
        return found;
    }
    constexpr int cells = 64;
    std::vector<std::vector<std::uint32_t>> grid(cells * cells);
    const auto cell = [&](double v, double from, double length) {
        return std::clamp(int((v - from) / length * cells), 0, cells - 1);
    };
    int found = 0;
    for (std::uint32_t c = parent.firstChild; c < parent.firstChild + parent.childCount; ++c) {
        const QRectF& r = layout.tiles[c].rect;
        for (int y = cell(r.top(), area.top(), area.height()); y <= cell(r.bottom() - eps, area.top(), area.height()); ++y) {
            for (int x = cell(r.left(), area.left(), area.width()); x <= cell(r.right() - eps, area.left(), area.width()); ++x) {
                for (const std::uint32_t other : grid[std::size_t(y * cells + x)])
                    found += overlap(r, layout.tiles[other].rect) ? 1 : 0;
                grid[std::size_t(y * cells + x)].push_back(c);
            }
        }
    }
    return found;
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
        if (i > 0 && !within(tile.rect, mapContentRect(layout.tiles[std::size_t(tile.parent)].rect, o)))
            return at() + "outside its folder's content";
        if (tile.childCount == 0) {
            const QRectF content = tile.kind == MapTileKind::Folder ? mapContentRect(tile.rect, o) : QRectF();
            std::uint64_t sized = 0;
            for (const std::int32_t child : tree.children(tile.node))
                sized += tree.node(child).size;
            if (!content.isEmpty() && sized > 0)
                return at() + "a folder with room and contents but no tiles inside";
            continue;
        }
        const QRectF content = mapContentRect(tile.rect, o);
        std::uint64_t total = 0;
        for (const std::int32_t child : tree.children(tile.node))
            total += tree.node(child).size;
        std::uint64_t smallest = UINT64_MAX, smallItems = 0;
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
            } else if (tree.node(child.node).parent != tile.node) {
                return at() + "a tile for another folder's child";
            } else {
                smallest = std::min(smallest, child.size);
                ownTiles.push_back(child.node);
            }
            const double share = double(child.size) / double(total) * content.width() * content.height();
            const double area = child.rect.width() * child.rect.height();
            if (std::abs(area - share) > 0.01 * share)
                return at() + QStringLiteral("child %1 has area %2 for a share of %3").arg(c).arg(area).arg(share);
        }
        std::sort(ownTiles.begin(), ownTiles.end());
        if (std::adjacent_find(ownTiles.begin(), ownTiles.end()) != ownTiles.end())
            return at() + "a child with two tiles";
        // Only the smallest children go without a tile of their own: merged, or a sliver lost.
        std::uint64_t untiled = 0;
        for (const std::int32_t child : tree.children(tile.node)) {
            if (std::binary_search(ownTiles.begin(), ownTiles.end(), child))
                continue;
            untiled += tree.node(child).size;
            if (tree.node(child).size > smallest)
                return at() + "a larger child merged while a smaller one has its own tile";
        }
        if (merged && smallItems != untiled)
            return at() + "small items that do not add up to the children without a tile";
        const double lost = merged ? 0 : double(untiled) / double(total) * content.width() * content.height();
        if (lost > o.minSide * std::max(content.width(), content.height()) + eps)
            return at() + QStringLiteral("%1 px² of children left without a tile").arg(lost);
        if (overlappingSiblings(layout, tile, content) > 0)
            return at() + "overlapping children";
    }
    return {};
}

} // namespace

class MapLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void layoutKeepsItsProperties_data()
    {
        QTest::addColumn<MapVolume>("volume");
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<double>("labelHeight");
        const QSizeF screen(1280, 800), narrow(90, 700), tiny(7, 5);
        const MapVolume hand = mapVolume({{"", 10}, {"a", 20}, {"a/x", 40}, {"b", 30}, {"b/y", 0}, {"c", 5}},
                                         {largeFile("/data/a/movie.mkv", 10), largeFile("/data/b/disk.iso", 25)});
        std::vector<std::uint64_t> huge(200, 1);
        huge[0] = std::uint64_t(1) << 40;
        const std::vector<std::uint64_t> equal(50000, 4096);
        const MapVolume generated = generatedVolume(3000, 0x2545f4914f6cdd1dull);
        QTest::newRow("hand-made") << hand << screen << 14.0;
        QTest::newRow("hand-made, narrow") << hand << narrow << 14.0;
        QTest::newRow("hand-made, tiny") << hand << tiny << 14.0;
        QTest::newRow("zero sizes") << flatVolume({0, 7, 0, 0, 3, 0, 1}) << screen << 0.0;
        QTest::newRow("all zero but one") << flatVolume({0, 0, 9, 0}) << QSizeF(300, 200) << 14.0;
        QTest::newRow("one huge child") << flatVolume(huge) << screen << 0.0;
        QTest::newRow("50,000 equal children") << flatVolume(equal) << screen << 0.0;
        QTest::newRow("50,000 equal children, small") << flatVolume(equal) << QSizeF(100, 100) << 0.0;
        QTest::newRow("generated") << generated << screen << 14.0;
        QTest::newRow("generated, narrow") << generated << narrow << 14.0;
        QTest::newRow("generated, no labels") << generated << QSizeF(640, 480) << 0.0;
    }

    void layoutKeepsItsProperties()
    {
        QFETCH(MapVolume, volume);
        QFETCH(QSizeF, size);
        QFETCH(double, labelHeight);
        const MapTree tree = treeOf(volume);
        MapLayoutOptions options;
        options.labelHeight = labelHeight;
        const MapLayout layout = layoutMap(tree, tree.root(), QRectF(QPointF(3, 4), size), options);
        QVERIFY(!layout.tiles.empty());
        QCOMPARE(layout.tiles.front().rect, QRectF(QPointF(3, 4), size));
        const QString broken = brokenProperty(tree, layout);
        QVERIFY2(broken.isEmpty(), qPrintable(broken));
    }

    void equalChildrenStayNearSquare()
    {
        const MapTree tree = treeOf(flatVolume(std::vector<std::uint64_t>(50000, 4096)));
        const MapLayout layout = layoutMap(tree, tree.root(), QRectF(0, 0, 1280, 800));
        // About 20 px² each: nearly all get a tile of their own, and tiles are squarish.
        QVERIFY2(layout.tiles.size() > 45000, qPrintable(QString::number(layout.tiles.size())));
        QVERIFY2(meanAspectRatio(layout) < 1.6, qPrintable(QString::number(meanAspectRatio(layout))));

        const MapLayout crowded = layoutMap(tree, tree.root(), QRectF(0, 0, 100, 100));
        QCOMPARE(crowded.tiles.size(), std::size_t(2));
        QCOMPARE(crowded.tiles[1].kind, MapTileKind::SmallItems);
        QCOMPARE(crowded.tiles[1].size, std::uint64_t(50000) * 4096);
        QCOMPARE(crowded.tiles[1].rect, mapContentRect(crowded.tiles[0].rect, crowded.options));
    }

    void emptyThingsGetNoTile()
    {
        const MapTree tree = treeOf(flatVolume({0, 7, 0, 3, 0}));
        const MapLayout layout = layoutMap(tree, tree.root(), QRectF(0, 0, 400, 300));
        QCOMPARE(layout.tiles[0].childCount, 2u);
        QCOMPARE(tree.name(layout.tiles[1].node), QByteArray("c000001"));
        QCOMPARE(tree.name(layout.tiles[2].node), QByteArray("c000003"));
        QVERIFY(layoutMap(tree, tree.find("/data/c000000"), QRectF(0, 0, 400, 300)).tiles.empty());
        QVERIFY(layoutMap(tree, tree.root(), QRectF(0, 0, 1.5, 300)).tiles.empty());
        QVERIFY(layoutMap(MapTree(), 0, QRectF(0, 0, 400, 300)).tiles.empty());
    }

    void deepLevelsAreCutOff()
    {
        // A chain of 500 folders each holding the next: every level is 2 px narrower than its
        // parent, so the chain must stop long before its end.
        std::map<QByteArray, std::uint64_t> own;
        QByteArray path;
        for (int i = 0; i < 500; ++i) {
            path += i == 0 ? QByteArray("n") : QByteArray("/n");
            own[path] = 1;
        }
        const MapTree tree = treeOf(mapVolume(own));
        const MapLayout layout = layoutMap(tree, tree.root(), QRectF(0, 0, 120, 80));
        int deepest = 0;
        for (const MapTile& tile : layout.tiles)
            deepest = std::max(deepest, int(tile.depth));
        QVERIFY2(deepest > 30 && deepest < 40, qPrintable(QString::number(deepest)));
        QVERIFY(brokenProperty(tree, layout).isEmpty());
    }

    void meanAspectRatioOfKnownShapes_data()
    {
        QTest::addColumn<std::vector<std::uint64_t>>("sizes");
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<double>("ratio");
        QTest::newRow("two halves of a 2:1 field are squares") << std::vector<std::uint64_t>{1, 1} << QSizeF(200, 100) << 1.0;
        QTest::newRow("one child fills a 3:1 field") << std::vector<std::uint64_t>{5} << QSizeF(300, 100) << 3.0;
        // 3:1 beside 1:1 in a 4:1 field: a 3:1 block is better left whole than cut.
        QTest::newRow("three quarters and a quarter") << std::vector<std::uint64_t>{3, 1} << QSizeF(400, 100) << 2.0;
    }

    void meanAspectRatioOfKnownShapes()
    {
        QFETCH(std::vector<std::uint64_t>, sizes);
        QFETCH(QSizeF, size);
        QFETCH(double, ratio);
        const MapTree tree = treeOf(flatVolume(sizes));
        MapLayoutOptions options;
        options.border = 0;
        const MapLayout layout = layoutMap(tree, tree.root(), QRectF(QPointF(0, 0), size), options);
        // Each folder holds one tile of its own files, of its shape: the mean is the same.
        QCOMPARE(layout.tiles.size(), 2 * sizes.size() + 1);
        QVERIFY2(std::abs(meanAspectRatio(layout) - ratio) < 1e-9, qPrintable(QString::number(meanAspectRatio(layout))));
    }

    void pointsFindTheDeepestTile()
    {
        const MapTree tree = treeOf(generatedVolume(2000, 0x9e3779b97f4a7c15ull));
        MapLayoutOptions options;
        options.labelHeight = 14;
        const MapLayout layout = layoutMap(tree, tree.root(), QRectF(0, 0, 1280, 800), options);
        const auto isWithin = [&](int tile, int ancestor) {
            for (; tile >= 0; tile = layout.tiles[std::size_t(tile)].parent) {
                if (tile == ancestor)
                    return true;
            }
            return false;
        };
        for (std::size_t i = 0; i < layout.tiles.size(); ++i) {
            const MapTile& tile = layout.tiles[i];
            const int hit = mapTileAt(layout, tile.rect.center());
            if (tile.childCount == 0)
                QCOMPARE(hit, int(i));
            else
                QVERIFY(isWithin(hit, int(i)));
            // A folder's own border belongs to it and to nothing inside it.
            QCOMPARE(mapTileAt(layout, tile.rect.topLeft() + QPointF(0.5, 0.5)) == int(i) || tile.rect.width() < 3, true);
        }
        QCOMPARE(mapTileAt(layout, QPointF(-1, 10)), -1);
        QCOMPARE(mapTileAt(layout, QPointF(1280, 10)), -1);
        QCOMPARE(mapTileAt(layout, QPointF(10, 800)), -1);
    }

    void sharedEdgeHasOneOwner()
    {
        const MapTree tree = treeOf(flatVolume({1, 1}));
        MapLayoutOptions options;
        options.border = 0;
        const MapLayout layout = layoutMap(tree, tree.root(), QRectF(0, 0, 200, 100), options);
        QCOMPARE(layout.tiles[1].rect, QRectF(0, 0, 100, 100));
        const auto folderAt = [&](QPointF point) { return tree.absolutePath(layout.tiles[std::size_t(mapTileAt(layout, point))].node); };
        QCOMPARE(folderAt(QPointF(99.99, 50)), QByteArray("/data/c000000"));
        QCOMPARE(folderAt(QPointF(100, 50)), QByteArray("/data/c000001"));
    }
};

QTEST_MAIN(MapLayoutTest)
#include "tst_maplayout.moc"
