#include "MainWindowHarness.h"

#include "support/ClippedCaptions.h"

#include <QTimer>

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useTestSettings(); }

    void startUpShowsTheVersionAndChoosesAVolume()
    {
        Harness h;
        QCOMPARE(h.status(), QStringLiteral("Ostrel Torvane Version:2.0.22"));
        QCOMPARE(h.find<QComboBox>("drvHDs")->currentData().toByteArray(), QByteArray("/data"));
        QCOMPARE(clippedCaptions(h.w.get()), QStringList());
    }

    void runDisablesStartControlsWhileScanning()
    {
        Harness h;
        QStringList disabledDuring;
        bool logSavedDuring = true;
        h.fs.onSubfolders = [&](const QByteArray& path) {
            if (path != "/data/a")
                return;
            for (const char* name : {"cmdOpen", "cmdRename", "cmdDelete", "drvHDs", "cmdRun"}) {
                if (!h.find<QWidget>(name)->isEnabled())
                    disabledDuring << QLatin1String(name);
            }
            h.w->saveAndShowLog();
            logSavedDuring = QFile::exists(h.dir.filePath(QStringLiteral("torvane.log")));
        };
        h.w->runClicked();
        QCOMPARE(disabledDuring, (QStringList{"cmdOpen", "cmdRename", "cmdDelete", "drvHDs", "cmdRun"}));
        QVERIFY(!logSavedDuring);
        QVERIFY(h.find<QWidget>("cmdRun")->isEnabled());
        QVERIFY(h.status().startsWith(QStringLiteral("Drive scan is complete.")));
        QVERIFY(!h.status().contains(QStringLiteral("Version:")));   // Run empties the status first

        h.w->processDriveTriggered();   // the menu keeps the previous text
        QCOMPARE(h.status().count(QStringLiteral("Drive scan is complete.")), 2);
    }

    void expansionFillsOneLevelAheadOnce()
    {
        Harness h;
        h.w->runClicked();
        QVERIFY(h.node("/data/a/b") && !h.node("/data/a/b/c"));
        h.fs.addFolder("/data/a/b/new", 0);   // made after the scan
        h.fs.addFolder("/data/a/made-later/inner", 4 * MB);

        h.expand("/data/a");
        QVERIFY(h.node("/data/a/b/c") && h.node("/data/a/b/new") && h.node("/data/a/made-later/inner"));
        // In caption order with its siblings.
        QCOMPARE(h.node("/data/a")->child(0)->text(0), QStringLiteral(" [0.00 MB] made-later"));
        QVERIFY(FolderTree::tagged(h.node("/data/a")));

        const int calls = h.fs.subfolderCalls;
        h.node("/data/a")->setExpanded(false);
        h.fs.addFolder("/data/a/b/later", 0);
        h.expand("/data/a");
        QCOMPARE(h.fs.subfolderCalls, calls);
        QVERIFY(!h.node("/data/a/b/later"));

        // A folder deleted on disk after the scan keeps the children it showed, marked filled.
        h.fs.removeFolder("/data/a/b");
        h.expand("/data/a/b");
        QVERIFY(FolderTree::tagged(h.node("/data/a/b")));
        QCOMPARE(h.node("/data/a/b")->childCount(), 2);
    }

    // While a fill or a scan lists a folder, F5, Run, the menu's scan and a second fill start
    // nothing: they would rebuild the tree under the listing.
    void noScanStartsInsideAFillOrAScan()
    {
        Harness h;
        h.w->runClicked();
        int hooks = 0;
        h.fs.onSubfolders = [&](const QByteArray& path) {
            if (path != "/data/a/e" || hooks++)
                return;
            QTest::keyClick(h.tree(), Qt::Key_F5);
            h.w->runClicked();
            h.action("mProcess")->trigger();
            h.node("/data/a")->setExpanded(false);
            h.node("/data/a")->setExpanded(true);   // a second fill of the same node
        };
        h.expand("/data/a");
        QCOMPARE(hooks, 1);
        QCOMPARE(h.fs.walksBegun.size(), 1);
        QVERIFY(FolderTree::tagged(h.node("/data/a")) && h.node("/data/a/b/c"));
        QVERIFY(!h.status().contains(QStringLiteral("Error:")));

        Harness scan;
        scan.w->runClicked();
        int scanHooks = 0;
        scan.fs.onSubfolders = [&](const QByteArray& path) {
            if (path != "/data/z" || scanHooks++)
                return;
            // The expansion is of a folder listed before.
            QTest::keyClick(scan.tree(), Qt::Key_F5);
            scan.action("mProcess")->trigger();
            scan.action("mRefresh1")->trigger();
            scan.node("/data/a")->setExpanded(true);
            scan.w->close();
        };
        scan.w->processDriveTriggered();
        QCOMPARE(scanHooks, 1);
        QCOMPARE(scan.fs.walksBegun.size(), 2);   // the first scan and this one, nothing nested
        QCOMPARE(scan.ended, 1);                   // closing during a scan ends the program
        QCOMPARE(scan.status().count(QStringLiteral("Drive scan is complete.")), 2);
    }

    // F5 finds the selected folder again. Mounts come and go meanwhile; the chosen volume stays
    // chosen while mounted.
    void refreshFindsTheFolderAgain()
    {
        Harness h;
        QTest::keyClick(h.tree(), Qt::Key_F5);   // before any scan: nothing
        QVERIFY(h.fs.walksBegun.isEmpty());

        h.w->runClicked();
        h.expand("/data/a");
        h.expand("/data/a/b");
        h.select("/data/a/b/c");
        QTest::mouseClick(h.tree()->viewport(), Qt::LeftButton, {}, h.tree()->visualItemRect(h.node("/data/a/b/c")).center());
        QCOMPARE(h.w->file1Key(), QByteArray("/data/a/b/c"));
        auto* drives = h.find<QComboBox>("drvHDs");
        h.fs.addVolume("/media/usb", {true, 64 * MB, 0});
        h.fs.volumesChanged();
        QCOMPARE(drives->currentData().toByteArray(), QByteArray("/data"));

        QTest::keyClick(h.tree(), Qt::Key_F5);
        QCOMPARE(h.fs.walksBegun.size(), 2);
        QCOMPARE(h.selected(), QByteArray("/data/a/b/c"));
        QVERIFY(h.node("/data/a")->isExpanded() && h.node("/data/a/b")->isExpanded());
        QCOMPARE(h.w->file1Key(), QByteArray("/data/a/b/c"));

        // The folder went away on disk: the root stays selected.
        h.fs.removeFolder("/data/a/b");
        h.action("mRefresh1")->trigger();
        QCOMPARE(h.selected(), QByteArray("/data/"));
        QCOMPARE(h.w->file1Key(), QByteArray("/data/a/b/c"));

        // The root selected: rescanned, root selected.
        h.action("mRefresh1")->trigger();
        QCOMPARE(h.fs.walksBegun.size(), 4);
        QCOMPARE(h.selected(), QByteArray("/data/"));

        drives->setCurrentIndex(1);
        h.fs.removeVolume("/media/usb");
        h.fs.volumesChanged();
        QCOMPARE(drives->count(), 1);
        QCOMPARE(drives->currentData().toByteArray(), QByteArray("/data"));
    }

    void contextMenuFollowsTheSelectedFolder_data()
    {
        QTest::addColumn<QByteArray>("selected");
        QTest::addColumn<QString>("menu");
        for (const char* admin : {"RECYCLER", "Recycled", ".Trash-1000", ".Trash", "xdg/Trash"})
            QTest::newRow(admin) << "/data/" + QByteArray(admin) << "mnuDir3";
        for (const char* plain : {".Trash-x", "$Recycle.Bin", "z"})
            QTest::newRow(plain) << "/data/" + QByteArray(plain) << "mnuDir2";
    }

    void contextMenuFollowsTheSelectedFolder()
    {
        QFETCH(QByteArray, selected);
        QFETCH(QString, menu);
        const QByteArray oldDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", "/data/xdg");
        Harness h;
        h.fs.addFolder(selected);
        h.w->runClicked();
        if (!h.node(selected))
            h.expand("/data/xdg");
        h.select(selected);
        h.rightClick("/data/z");   // the node under the pointer does not matter
        QVERIFY(h.w->lastPopup());
        QCOMPARE(h.w->lastPopup()->objectName(), menu);
        QCOMPARE(h.selected(), selected);   // a right click leaves the selection
        h.w->lastPopup()->close();
        qputenv("XDG_DATA_HOME", oldDataHome);
    }

    // A volume's root is no trash folder, whatever its mount path is called; a right click on
    // no node opens nothing.
    void volumeRootNeverGetsTheAdminMenu()
    {
        Harness h;
        h.fs.addVolume("/media/.Trash-1000", {true, 64 * MB, 0});
        h.fs.addFolder("/media/.Trash-1000/x");
        h.fs.volumesChanged();
        h.find<QComboBox>("drvHDs")->setCurrentIndex(1);
        h.w->runClicked();
        QTest::mouseClick(h.tree()->viewport(), Qt::RightButton, {}, QPoint(5, h.tree()->viewport()->height() - 3));
        QVERIFY(!h.w->lastPopup());
        h.select("/media/.Trash-1000/");
        h.rightClick("/media/.Trash-1000/");
        QCOMPARE(h.w->lastPopup()->objectName(), QStringLiteral("mnuDir2"));
        h.w->lastPopup()->close();
    }

    // The scan adds the root's children and theirs; a node opened on those levels meanwhile must
    // not add them first, or the scan meets its own nodes and loses them from the report.
    void expansionDuringTheScanWaitsForIt()
    {
        Harness h;
        h.fs.addFolder("/data/a/e", MB).pendingPolls = 3;   // the scan waits inside /data/a's listing
        bool expanded = false;
        QTimer poke;
        QObject::connect(&poke, &QTimer::timeout, [&] {
            if (!expanded && h.node("/data/a/b") && !h.node("/data/a/e")) {
                h.expand("/data/a");
                expanded = true;
            }
        });
        poke.start(0);
        h.w->runClicked();
        QVERIFY(expanded);
        QVERIFY2(!h.status().contains(QStringLiteral("not unique")), qPrintable(h.status()));
        QCOMPARE(h.node("/data/a")->childCount(), 2);
        QVERIFY(FolderTree::tagged(h.node("/data/a")));   // filled when the scan ended
        const QByteArray xml = h.file("xmlOutput.xml");
        QCOMPARE(xml.count("MB]'>b</SubFolder>"), 1);
        QCOMPARE(xml.count("MB]'>e</SubFolder>"), 1);
    }

    // Exit ends the program at once; during a scan the partial report goes and the old one stays.
    void exitDuringAScanKeepsTheOldReport()
    {
        Harness h;
        QFile old(h.dir.filePath(QStringLiteral("xmlOutput.xml")));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old report") > 0);
        old.close();
        h.fs.onSubfolders = [&](const QByteArray& path) {
            if (path == "/data/z")
                QTest::mouseClick(h.find<QPushButton>("cmdExit"), Qt::LeftButton);
        };
        h.w->runClicked();
        QCOMPARE(h.ended, 1);
        QVERIFY(!QFile::exists(old.fileName() + QStringLiteral(".part")));
        QCOMPARE(h.file("xmlOutput.xml"), QByteArray("old report"));
        h.action("mExit")->trigger();
        QCOMPARE(h.ended, 2);
    }

    // Size on Disk: captions, sibling order and status lines in allocated bytes, the report in
    // the files' sizes, and the choice remembered for the next start.
    void sizeOnDiskCaptionsTheTree()
    {
        {
            Harness h;
            h.fs.addFolder("/data/sparse", 8 * MB).allocated = MB;
            h.fs.addFolder("/data/a", 4 * MB).allocated = 4 * MB;
            h.fs.addFolder("/data/a/e", 5 * MB).allocated = MB;
            h.w->runClicked();
            h.expand("/data/a");
            QCOMPARE(h.node("/data/")->child(2)->text(0), QStringLiteral(" [8.00 MB] sparse"));
            h.action("mSizeOnDisk")->trigger();
            QCOMPARE(h.node("/data/")->child(0)->text(0), QStringLiteral(" [1.00 MB] sparse"));
            QCOMPARE(h.node("/data/a")->child(0)->text(0), QStringLiteral(" [1.00 MB] e"));
        }
        Harness again;
        QVERIFY(again.action("mSizeOnDisk")->isChecked());
        again.fs.addFolder("/data/a/sparse", 8 * MB).allocated = 2 * MB;
        again.w->runClicked();
        QVERIFY(again.status().contains(QStringLiteral("Reading:  [ 2.00 MB] sparse")));
        QVERIFY(again.file("xmlOutput.xml").contains("<SubFolder Size=' [ 8.00 MB]'>sparse</SubFolder>"));
    }

    // A folder named at start: its volume chosen and scanned, the tree open down to it.
    void startsOnAFolder()
    {
        Harness h;
        h.fs.addVolume("/media/usb", {true, 64 * MB, 0});
        h.fs.addFolder("/media/usb/photos/2024/summer", MB);
        h.fs.volumesChanged();
        h.w->startOn("/media/usb/photos/2024/summer");
        QCOMPARE(h.fs.walksBegun, QList<QByteArray>{"/media/usb"});
        QCOMPARE(h.selected(), QByteArray("/media/usb/photos/2024/summer"));
        QVERIFY(h.node("/media/usb/photos/2024")->isExpanded());

        Harness missing;
        missing.w->startOn("/data/nowhere");
        QVERIFY(missing.fs.walksBegun.isEmpty());
        QVERIFY(missing.status().startsWith(QStringLiteral("The folder /data/nowhere does not exist.")));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
