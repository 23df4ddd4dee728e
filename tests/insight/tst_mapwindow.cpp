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

#include <cmath>

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

// A map window with recording actions, shown so the pointer reaches it.
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
    QPoint pointOn(const QByteArray& path, MapTileKind kind = MapTileKind::Folder)
    {
        const int tile = tileOf(path, kind);
        if (tile < 0)
            return QPoint(-1, -1);
        const QRectF rect = view->currentLayout().tiles[std::size_t(tile)].rect;
        if (view->currentLayout().tiles[std::size_t(tile)].childCount > 0)
            return QPoint(int(std::ceil(rect.left())) + 4, int(std::ceil(rect.top())) + 4);
        return rect.center().toPoint();
    }
    // Opens the tile's context menu and picks the entry; false when it is missing or disabled.
    bool pick(const QPoint& at, const QString& entry)
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->mapToGlobal(at));
        QApplication::sendEvent(view, &event);
        QPointer<QMenu> menu = window.findChild<QMenu*>(QStringLiteral("mapMenu"));
        if (!menu)
            return false;
        const QList<QAction*> actions = menu->actions();
        const auto it = std::find_if(actions.begin(), actions.end(), [&](QAction* a) { return a->text() == entry && a->isEnabled(); });
        const bool picked = it != actions.end();
        if (picked)
            (*it)->trigger();
        menu->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return picked && !menu;
    }
    QLabel* note() const { return window.findChild<QLabel*>(QStringLiteral("mapNote")); }
    QPushButton* up() const { return window.findChild<QPushButton*>(QStringLiteral("mapUp")); }
};

} // namespace

class MapWindowTest : public QObject {
    Q_OBJECT

private slots:
    void windowClickShowsTheTilesFolder()
    {
        const std::tuple<QByteArray, MapTileKind, QByteArray> cases[] = {
            {"/data/a/x", MapTileKind::Folder, "/data/a/x"},
            {"/data/a", MapTileKind::Folder, "/data/a"},   // on its label, not on a child
            {"/data/a/movie.mkv", MapTileKind::File, "/data/a"},
            {"/data/a", MapTileKind::OtherFiles, "/data/a"},
        };
        for (const auto& [path, kind, folder] : cases) {
            Rig rig;
            rig.scan();
            const QPoint at = rig.pointOn(path, kind);
            QVERIFY2(rig.view->rect().contains(at), path.constData());
            QTest::mouseClick(rig.view, Qt::LeftButton, {}, at);
            QCOMPARE(rig.shown, QByteArrayList{folder});
            QVERIFY(rig.pick(at, QStringLiteral("Open Folder")));
            QCOMPARE(rig.opened, QByteArrayList{folder});
        }
    }

    void windowDoubleClickZoomsAndUpReturns()
    {
        Rig rig;
        rig.scan();
        QVERIFY(!rig.up()->isEnabled());
        QTest::mouseDClick(rig.view, Qt::LeftButton, {}, rig.pointOn("/data/a/x"));
        QCOMPARE(rig.window.windowTitle(), QStringLiteral("Map - /data/a/x"));
        QCOMPARE(rig.view->currentLayout().tiles.front().size, 40 * MB);
        QVERIFY(rig.up()->isEnabled());

        QTest::mouseClick(rig.up(), Qt::LeftButton);
        QCOMPARE(rig.window.topFolder(), QByteArray("/data/a"));
        QTest::keyClick(&rig.window, Qt::Key_Backspace);
        QVERIFY(!rig.up()->isEnabled());
        QCOMPARE(rig.window.topFolder(), QByteArray("/data"));
    }

    void windowTrashDropsTheTileAndShrinksItsAncestors()
    {
        Rig rig;
        rig.scan();
        rig.trashWorks = false;
        QVERIFY(rig.pick(rig.pointOn("/data/a/x"), QStringLiteral("Move to Trash")));
        QVERIFY(rig.tileOf("/data/a/x") > 0);

        // The tree's own tests cover the sizes; here the map must show the tree as it now is.
        rig.trashWorks = true;
        QVERIFY(rig.pick(rig.pointOn("/data/a/x"), QStringLiteral("Move to Trash")));
        QVERIFY(rig.pick(rig.pointOn("/data/a/movie.mkv", MapTileKind::File), QStringLiteral("Move to Trash")));
        QCOMPARE(rig.trashed, (QByteArrayList{"/data/a/x", "/data/a/x", "/data/a/movie.mkv"}));
        QCOMPARE(rig.tileOf("/data/a/x"), -1);
        QCOMPARE(rig.tileOf("/data/a/movie.mkv", MapTileKind::File), -1);
        QCOMPARE(rig.view->currentLayout().tiles.front().size, 50 * MB);
        // Many files in one tile, or the volume itself: nothing to move as one.
        QVERIFY(!rig.pick(rig.pointOn("/data/a", MapTileKind::OtherFiles), QStringLiteral("Move to Trash")));
        QVERIFY(!rig.pick(rig.pointOn("/data", MapTileKind::Folder), QStringLiteral("Move to Trash")));

        // Trashing the folder the map shows goes up to its parent.
        rig.window.showFolder("/data/b");
        QVERIFY(rig.pick(rig.pointOn("/data/b"), QStringLiteral("Move to Trash")));
        QCOMPARE(rig.window.topFolder(), QByteArray("/data"));
        QCOMPARE(rig.view->currentLayout().tiles.front().size, 20 * MB);
    }

    void windowNotesRescansAndPointing()
    {
        Rig rig;
        QTest::mouseClick(rig.view, Qt::LeftButton, {}, rig.view->rect().center());
        rig.window.showFolder("/data/a");
        QVERIFY(rig.shown.isEmpty() && rig.view->currentLayout().tiles.empty());

        rig.scan(sampleVolume(), QStringLiteral("The map is of /data, not of /home."));
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

        // Gone in the next: the map shows the volume. Pointing names the tile, its bytes escaped.
        const QByteArray odd("odd\n\xff", 5);
        rig.scan(mapVolume({{"", 0}, {odd, 3 * MB}, {"b", MB}}));
        QCOMPARE(rig.window.topFolder(), QByteArray("/data"));
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
        QTest::mouseMove(rig.view, rig.pointOn("/data/" + odd, MapTileKind::OtherFiles));
        QTRY_COMPARE(rig.window.findChild<QLabel*>(QStringLiteral("mapStatus"))->text(), QStringLiteral("/data/odd\\n\uFFFD (other files)  [3.00 MB]"));
    }
};

QTEST_MAIN(MapWindowTest)
#include "tst_mapwindow.moc"
