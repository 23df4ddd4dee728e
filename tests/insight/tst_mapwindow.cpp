#include "MapTestTrees.h"

#include "insight/MapView.h"
#include "insight/MapWindow.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace torvane;
using namespace torvane::test;

namespace {

constexpr std::uint64_t MB = 1024 * 1024;

// /data: a (x, movie.mkv, 10 MB of other files), b, and 10 MB of its own.
MapVolume sampleVolume()
{
    return mapVolume({{"", 10 * MB}, {"a", 10 * MB}, {"a/x", 40 * MB}, {"b", 30 * MB}},
                     {largeFile("/data/a/movie.mkv", 10 * MB)});
}

// A window with recording actions, shown so the pointer reaches it.
struct Rig {
    QByteArrayList shown, opened, trashed;
    bool trashWorks = true;
    MapWindow window{MapActions{
        [this](const QByteArray& folder) { shown << folder; },
        [this](const QByteArray& folder) { opened << folder; },
        [this](const QByteArray& path) {
            trashed << path;
            return trashWorks;
        },
    }};
    MapView* view = window.findChild<MapView*>(QStringLiteral("mapView"));

    Rig()
    {
        window.resize(800, 600);
        window.show();
    }

    void scan(const MapVolume& volume = sampleVolume(), const QString& note = {})
    {
        window.setScan(volume.mount, volume.folders, volume.files, false, note);
    }

    // The tile of an item (or, for "other files", of a folder's rest); -1 when it has none.
    int tileOf(const QByteArray& path, MapTileKind kind = MapTileKind::Folder)
    {
        const MapLayout& layout = view->currentLayout();
        for (std::size_t i = 0; i < layout.tiles.size(); ++i) {
            if (layout.tiles[i].kind == kind && view->tree()->absolutePath(layout.tiles[i].node) == path)
                return int(i);
        }
        return -1;
    }

    // A point on the tile itself rather than on one inside it: its label strip or its centre.
    QPoint pointOn(int tile)
    {
        const MapTile& t = view->currentLayout().tiles[std::size_t(tile)];
        if (t.childCount > 0)
            return QPoint(int(std::ceil(t.rect.left())) + 4, int(std::ceil(t.rect.top())) + 4);
        return t.rect.center().toPoint();
    }

    QPoint pointOn(const QByteArray& path, MapTileKind kind = MapTileKind::Folder)
    {
        const int tile = tileOf(path, kind);
        return tile < 0 ? QPoint(-1, -1) : pointOn(tile);
    }

    std::uint64_t sizeOf(const QByteArray& path)
    {
        const int tile = tileOf(path);
        return tile < 0 ? 0 : view->currentLayout().tiles[std::size_t(tile)].size;
    }

    // Opens the tile's context menu and picks the entry; false when it is missing or disabled.
    bool pick(const QPoint& at, const QString& entry)
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->mapToGlobal(at));
        QApplication::sendEvent(view, &event);
        QPointer<QMenu> menu = window.findChild<QMenu*>(QStringLiteral("mapMenu"));
        if (!menu)
            return false;
        bool picked = false;
        for (QAction* action : menu->actions()) {
            if (action->text() == entry && action->isEnabled()) {
                action->trigger();
                picked = true;
            }
        }
        menu->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return picked && !menu;
    }

    QString status() const { return window.findChild<QLabel*>(QStringLiteral("mapStatus"))->text(); }
    QLabel* note() const { return window.findChild<QLabel*>(QStringLiteral("mapNote")); }
    QPushButton* up() const { return window.findChild<QPushButton*>(QStringLiteral("mapUp")); }
};

} // namespace

class MapWindowTest : public QObject {
    Q_OBJECT

private slots:
    void saysSoBeforeAnyScan()
    {
        Rig rig;
        QCOMPARE(rig.window.windowTitle(), QStringLiteral("Map"));
        QCOMPARE(rig.note()->text(), QStringLiteral("No scan yet."));
        QVERIFY(rig.view->currentLayout().tiles.empty());
        QTest::mouseClick(rig.view, Qt::LeftButton, {}, rig.view->rect().center());
        QVERIFY(rig.shown.isEmpty());
        rig.window.showFolder("/data/a");
        QCOMPARE(rig.window.windowTitle(), QStringLiteral("Map"));

        rig.scan();
        QVERIFY(rig.note()->isHidden());
        QCOMPARE(rig.window.windowTitle(), QStringLiteral("Map - /data"));
        QVERIFY(!rig.up()->isEnabled());
    }

    void clickShowsTheTilesFolderInTheTree_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("folder");
        QTest::newRow("a subfolder") << QByteArray("/data/a/x") << int(MapTileKind::Folder) << QByteArray("/data/a/x");
        QTest::newRow("a folder's label") << QByteArray("/data/a") << int(MapTileKind::Folder) << QByteArray("/data/a");
        QTest::newRow("a listed file") << QByteArray("/data/a/movie.mkv") << int(MapTileKind::File) << QByteArray("/data/a");
        QTest::newRow("other files") << QByteArray("/data/a") << int(MapTileKind::OtherFiles) << QByteArray("/data/a");
        QTest::newRow("the top's own") << QByteArray("/data") << int(MapTileKind::OtherFiles) << QByteArray("/data");
    }

    void clickShowsTheTilesFolderInTheTree()
    {
        QFETCH(QByteArray, path);
        QFETCH(int, kind);
        QFETCH(QByteArray, folder);
        Rig rig;
        rig.scan();
        const QPoint at = rig.pointOn(path, MapTileKind(kind));
        QVERIFY(rig.view->rect().contains(at));
        QTest::mouseClick(rig.view, Qt::LeftButton, {}, at);
        QCOMPARE(rig.shown, QByteArrayList{folder});
        QVERIFY(rig.pick(at, QStringLiteral("Open Folder")));
        QCOMPARE(rig.opened, QByteArrayList{folder});
    }

    void pointingShowsPathAndSize()
    {
        Rig rig;
        const QByteArray odd("odd\n\xff", 5);
        rig.scan(mapVolume({{"", 0}, {odd, 3 * MB}, {"b", MB}}));
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
        QTest::mouseMove(rig.view, rig.pointOn("/data/" + odd, MapTileKind::OtherFiles));
        QTRY_COMPARE(rig.status(), QStringLiteral("/data/odd\\n\uFFFD (other files)  [3.00 MB]"));
        QTest::mouseMove(rig.view, rig.pointOn("/data/b"));
        QTRY_COMPARE(rig.status(), QStringLiteral("/data/b  [1.00 MB]"));
    }

    void doubleClickZoomsAndUpReturns()
    {
        Rig rig;
        rig.scan();
        QTest::mouseDClick(rig.view, Qt::LeftButton, {}, rig.pointOn("/data/a/x"));
        QCOMPARE(rig.window.windowTitle(), QStringLiteral("Map - /data/a/x"));
        QCOMPARE(rig.view->currentLayout().tiles.front().size, 40 * MB);
        QVERIFY(rig.up()->isEnabled());

        QTest::mouseClick(rig.up(), Qt::LeftButton);
        QCOMPARE(rig.window.windowTitle(), QStringLiteral("Map - /data/a"));
        QVERIFY(rig.tileOf("/data/a/movie.mkv", MapTileKind::File) > 0);
        QTest::keyClick(&rig.window, Qt::Key_Backspace);
        QCOMPARE(rig.window.windowTitle(), QStringLiteral("Map - /data"));
        QVERIFY(!rig.up()->isEnabled());
        QTest::keyClick(&rig.window, Qt::Key_Backspace);
        QCOMPARE(rig.window.windowTitle(), QStringLiteral("Map - /data"));

        // A file's double click zooms into its folder.
        QTest::mouseDClick(rig.view, Qt::LeftButton, {}, rig.pointOn("/data/a/movie.mkv", MapTileKind::File));
        QCOMPARE(rig.window.topFolder(), QByteArray("/data/a"));
    }

    void trashDropsTheTileAndShrinksItsAncestors()
    {
        Rig rig;
        rig.scan();
        QCOMPARE(rig.sizeOf("/data/a"), 60 * MB);
        rig.trashWorks = false;
        QVERIFY(rig.pick(rig.pointOn("/data/a/x"), QStringLiteral("Move to Trash")));
        QVERIFY(rig.tileOf("/data/a/x") > 0);
        QCOMPARE(rig.sizeOf("/data"), 100 * MB);

        rig.trashWorks = true;
        QVERIFY(rig.pick(rig.pointOn("/data/a/x"), QStringLiteral("Move to Trash")));
        QCOMPARE(rig.trashed, (QByteArrayList{"/data/a/x", "/data/a/x"}));
        QCOMPARE(rig.tileOf("/data/a/x"), -1);
        QCOMPARE(rig.sizeOf("/data/a"), 20 * MB);
        QCOMPARE(rig.sizeOf("/data"), 60 * MB);

        QVERIFY(rig.pick(rig.pointOn("/data/a/movie.mkv", MapTileKind::File), QStringLiteral("Move to Trash")));
        QCOMPARE(rig.tileOf("/data/a/movie.mkv", MapTileKind::File), -1);
        QCOMPARE(rig.sizeOf("/data"), 50 * MB);
        // Many files in one tile, or the volume itself: nothing to move as one.
        QVERIFY(!rig.pick(rig.pointOn("/data/a", MapTileKind::OtherFiles), QStringLiteral("Move to Trash")));
        QVERIFY(!rig.pick(rig.pointOn("/data", MapTileKind::Folder), QStringLiteral("Move to Trash")));
        QCOMPARE(rig.trashed.size(), 3);

        // Trashing the folder the map shows goes up to its parent.
        rig.window.showFolder("/data/b");
        QVERIFY(rig.pick(rig.pointOn("/data/b"), QStringLiteral("Move to Trash")));
        QCOMPARE(rig.window.windowTitle(), QStringLiteral("Map - /data"));
        QCOMPARE(rig.view->currentLayout().tiles.front().size, 20 * MB);
    }

    void notesAndRescans()
    {
        Rig rig;
        rig.scan(sampleVolume(), QStringLiteral("The map is of /data, not of /home."));
        QCOMPARE(rig.note()->text(), QStringLiteral("The map is of /data, not of /home."));
        QVERIFY(!rig.note()->isHidden());

        rig.window.showFolder("/data/a/new/deeper");
        QCOMPARE(rig.window.topFolder(), QByteArray("/data/a"));
        QVERIFY(rig.note()->text().endsWith(QStringLiteral("/data/a/new/deeper is not in the last scan; the map shows /data/a.")));
        rig.window.showFolder("/srv/elsewhere");
        QCOMPARE(rig.window.topFolder(), QByteArray("/data"));
        QVERIFY(rig.note()->text().contains(QStringLiteral("/srv/elsewhere is not on the scanned volume /data.")));

        // A rescan keeps the top while the folder is still there, and forgets the notes.
        rig.window.showFolder("/data/a");
        rig.scan();
        QCOMPARE(rig.window.topFolder(), QByteArray("/data/a"));
        QVERIFY(rig.note()->isHidden());
        rig.scan(mapVolume({{"", MB}, {"b", MB}}));
        QCOMPARE(rig.window.windowTitle(), QStringLiteral("Map - /data"));
    }
};

QTEST_MAIN(MapWindowTest)
#include "tst_mapwindow.moc"
