#include "MainWindowHarness.h"

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);   // settings of their own, not the user's
        QSettings().clear();
    }

    void startUpShowsVersionCaptionAndMenus()
    {
        Harness h;
        QCOMPARE(h.w->windowTitle(), QStringLiteral("Ostrel - Torvane v2.0"));
        QCOMPARE(h.find<QLabel>("lblVersion")->text(), QStringLiteral("2.0.22"));
        QCOMPARE(h.w->status().text(), QStringLiteral("Ostrel Torvane Version:2.0.22"));
        QCOMPARE(h.find<QPushButton>("cmdRun")->text(), QStringLiteral("Run"));
        QCOMPARE(h.find<QComboBox>("drvHDs")->currentData().toByteArray(), QByteArray("/data"));
        QCOMPARE(clippedCaptions(h.w.get()), QStringList());

        const QList<QAction*> bar = h.w->menuBar()->actions();
        QCOMPARE(bar.size(), 4);
        QCOMPARE(entries(bar[0]->menu()), (QStringList{"Process Drive|", "-", "Open XML Output|Ctrl+M", "-",
                                                       "Exit This Application|Ctrl+X"}));
        QCOMPARE(entries(bar[1]->menu()), (QStringList{"Refresh|Ctrl+R", "-", "Open|Ctrl+O", "-", "Delete|Del", "-",
                                                       "Properties|Ctrl+I", "-", "Rename Files|Ctrl+L", "-", "Empty Trash|Ctrl+T"}));
        QCOMPARE(bar[2]->menu()->objectName(), QStringLiteral("mnuView"));
        QCOMPARE(entries(bar[3]->menu()), QStringList{"Check For Updates|"});
        QMenu* admin = h.find<QMenu>("mnuDir3");
        QCOMPARE(entries(admin), (QStringList{"Empty Trash|", "-", "Properties|"}));
        for (QAction* a : bar)
            QVERIFY(a->menu() != admin);

        // Tab order of the focusable controls.
        QStringList chain;
        QWidget* start = h.find<QWidget>("trvDir");
        QWidget* wgt = start;
        do {
            if ((wgt->focusPolicy() & Qt::TabFocus) && wgt->isVisible() && !wgt->objectName().isEmpty())
                chain << wgt->objectName();
            wgt = wgt->nextInFocusChain();
        } while (wgt != start && chain.size() < 20);
        QCOMPARE(chain, (QStringList{"trvDir", "drvHDs", "txtStatus", "cmdRun", "cmdExit", "cmdRename", "cmdDelete", "cmdOpen"}));
    }

    void resizeKeepsDriveListAndRunButtonRule()
    {
        Harness h;
        h.w->resize(900, 700);
        QTest::qWait(50);
        auto* drv = h.find<QWidget>("drvHDs");
        auto* run = h.find<QWidget>("cmdRun");
        auto* status = h.find<QWidget>("txtStatus");
        QCOMPARE(drv->width(), status->width() - run->width() - 7);
        QCOMPARE(run->height(), drv->height());
        QVERIFY(status->width() > 600);   // the proportions followed the window
    }

    void exitEndsAtOnce()
    {
        Harness h;
        QTest::mouseClick(h.find<QPushButton>("cmdExit"), Qt::LeftButton);
        QCOMPARE(h.ended, 1);
        h.action("mExit")->trigger();
        QCOMPARE(h.ended, 2);
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
            logSavedDuring = QFile::exists(h.dir.path() + QStringLiteral("/torvane.log"));
        };
        h.w->runClicked();
        QCOMPARE(disabledDuring, (QStringList{"cmdOpen", "cmdRename", "cmdDelete", "drvHDs", "cmdRun"}));
        QVERIFY(!logSavedDuring);
        QVERIFY(h.find<QWidget>("cmdRun")->isEnabled());
        QVERIFY(h.w->status().text().startsWith(QStringLiteral("Drive scan is complete.")));
        QVERIFY(!h.w->status().text().contains(QStringLiteral("Version:")));   // Run empties the status first

        h.w->processDriveTriggered();   // the menu keeps the previous text
        QCOMPARE(h.w->status().text().count(QStringLiteral("Drive scan is complete.")), 2);
    }

    void expansionFillsOneLevelAheadOnce()
    {
        Harness h;
        h.w->runClicked();
        QVERIFY(h.node("/data/a/b"));
        QVERIFY(!h.node("/data/a/b/c"));
        h.fs.addFolder("/data/a/b/new", 0);   // made after the scan
        h.fs.addFolder("/data/a/made-later/inner", 4 * MB);

        h.expand("/data/a");
        QVERIFY(h.node("/data/a/b/c"));
        QVERIFY(h.node("/data/a/b/new"));
        QVERIFY(h.node("/data/a/made-later/inner"));
        // In caption order with its siblings.
        QCOMPARE(h.node("/data/a")->child(0)->text(0), QStringLiteral(" [0.00 MB] made-later"));
        QVERIFY(FolderTree::tagged(h.node("/data/a")));
        QVERIFY(h.w->status().text().startsWith(QStringLiteral("Reading:")));   // above the completion heading

        const int calls = h.fs.subfolderCalls;
        h.node("/data/a")->setExpanded(false);
        h.fs.addFolder("/data/a/b/later", 0);
        h.expand("/data/a");
        QCOMPARE(h.fs.subfolderCalls, calls);
        QVERIFY(!h.node("/data/a/b/later"));

        // A folder deleted on disk after the scan keeps the children it showed, marked filled.
        QVERIFY(h.node("/data/a/b/c"));
        h.fs.removeFolder("/data/a/b");
        h.expand("/data/a/b");
        QVERIFY(FolderTree::tagged(h.node("/data/a/b")));
        QVERIFY(h.node("/data/a/b/c"));
        QCOMPARE(h.node("/data/a/b")->childCount(), 2);
    }

    void noScanRebuildsTheTreeUnderAFill()
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
        QVERIFY(FolderTree::tagged(h.node("/data/a")));
        QVERIFY(h.node("/data/a/b/c"));
        QVERIFY(!h.w->status().text().contains(QStringLiteral("Error:")));
    }

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

        QTest::keyClick(h.tree(), Qt::Key_F5);
        QCOMPARE(h.fs.walksBegun.size(), 2);
        QCOMPARE(h.w->tree().selectedKey(), QByteArray("/data/a/b/c"));
        QVERIFY(h.node("/data/a")->isExpanded() && h.node("/data/a/b")->isExpanded());
        QVERIFY(h.tree()->viewport()->rect().intersects(h.tree()->visualItemRect(h.node("/data/a/b/c"))));
        QCOMPARE(h.w->file1Key(), QByteArray("/data/a/b/c"));

        // The folder went away on disk: the root stays selected.
        h.fs.removeFolder("/data/a/b");
        h.action("mRefresh1")->trigger();
        QCOMPARE(h.w->tree().selectedKey(), QByteArray("/data/"));
        QCOMPARE(h.w->file1Key(), QByteArray("/data/a/b/c"));

        // The root selected: rescanned, root selected.
        h.action("mRefresh1")->trigger();
        QCOMPARE(h.fs.walksBegun.size(), 4);
        QCOMPARE(h.w->tree().selectedKey(), QByteArray("/data/"));
    }

    void contextMenuFollowsTheSelectedFolder_data()
    {
        QTest::addColumn<QByteArray>("selected");
        QTest::addColumn<QString>("menu");
        QTest::newRow("RECYCLER") << QByteArray("/data/RECYCLER") << "mnuDir3";
        QTest::newRow("Recycled") << QByteArray("/data/Recycled") << "mnuDir3";
        QTest::newRow(".Trash-1000") << QByteArray("/data/.Trash-1000") << "mnuDir3";
        QTest::newRow(".Trash") << QByteArray("/data/.Trash") << "mnuDir3";
        QTest::newRow("home trash") << QByteArray("/data/xdg/Trash") << "mnuDir3";
        QTest::newRow(".Trash-x") << QByteArray("/data/.Trash-x") << "mnuDir2";
        QTest::newRow("$Recycle.Bin") << QByteArray("/data/$Recycle.Bin") << "mnuDir2";
        QTest::newRow("root") << QByteArray("/data/") << "mnuDir2";
        QTest::newRow("plain") << QByteArray("/data/z") << "mnuDir2";
    }

    void contextMenuFollowsTheSelectedFolder()
    {
        QFETCH(QByteArray, selected);
        QFETCH(QString, menu);
        const QByteArray oldDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", "/data/xdg");
        Harness h;
        for (const char* name : {"/data/RECYCLER", "/data/Recycled", "/data/.Trash-1000", "/data/$Recycle.Bin",
                                 "/data/.Trash", "/data/xdg/Trash", "/data/.Trash-x"})
            h.fs.addFolder(name);
        h.w->runClicked();
        if (!h.node(selected)) {
            h.expand("/data/xdg");
            QVERIFY(h.node(selected));
        }
        h.select(selected);
        h.rightClick("/data/z");   // the node under the pointer does not matter
        QVERIFY(h.w->lastPopup());
        QCOMPARE(h.w->lastPopup()->objectName(), menu);
        QCOMPARE(h.w->tree().selectedKey(), selected);   // a right click leaves the selection
        h.w->lastPopup()->close();
        qputenv("XDG_DATA_HOME", oldDataHome);
    }

    // A volume's root is no trash folder, whatever its mount path is called.
    void volumeRootNeverGetsTheAdminMenu()
    {
        Harness h;
        h.fs.addVolume("/media/.Trash-1000", {true, 64 * MB, 0});
        h.fs.addFolder("/media/.Trash-1000/x");
        h.fs.volumesChanged();
        h.find<QComboBox>("drvHDs")->setCurrentIndex(1);
        h.w->runClicked();
        h.select("/media/.Trash-1000/");
        h.rightClick("/media/.Trash-1000/");
        QCOMPARE(h.w->lastPopup()->objectName(), QStringLiteral("mnuDir2"));
        h.w->lastPopup()->close();
    }

    void rightClickOnEmptySpaceOpensNothing()
    {
        Harness h;
        h.w->runClicked();
        QTest::mouseClick(h.tree()->viewport(), Qt::RightButton, {}, QPoint(5, h.tree()->viewport()->height() - 3));
        QVERIFY(!h.w->lastPopup());
    }

    void reentryDuringAScan()
    {
        Harness h;
        h.w->runClicked();
        QVERIFY(h.node("/data/a"));
        int hooks = 0;
        h.fs.onSubfolders = [&](const QByteArray& path) {
            if (path != "/data/z" || hooks++)
                return;
            // While the scan lists /data/z: F5, the menu's scan and an expansion of a folder
            // listed before.
            QTest::keyClick(h.tree(), Qt::Key_F5);
            h.action("mProcess")->trigger();
            h.action("mRefresh1")->trigger();
            h.node("/data/a")->setExpanded(true);
            h.w->close();
        };
        h.w->processDriveTriggered();
        QCOMPARE(hooks, 1);
        QCOMPARE(h.fs.walksBegun.size(), 2);   // the first scan and this one, nothing nested
        QCOMPARE(h.ended, 1);                   // closing during a scan ends the program
        QVERIFY(FolderTree::tagged(h.node("/data/a")));
        QVERIFY(h.node("/data/a/b/c"));
        QCOMPARE(h.node("/data/")->childCount(), 2);
        QCOMPARE(h.w->status().text().count(QStringLiteral("Drive scan is complete.")), 2);
    }

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
        QVERIFY2(!h.w->status().text().contains(QStringLiteral("not unique")), qPrintable(h.w->status().text()));
        QCOMPARE(h.node("/data/a")->childCount(), 2);
        QVERIFY(FolderTree::tagged(h.node("/data/a")));   // filled when the scan ended
        QVERIFY(h.node("/data/a/b/c"));
        QFile report(h.dir.path() + QStringLiteral("/xmlOutput.xml"));
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QByteArray xml = report.readAll();
        QCOMPARE(xml.count("MB]'>b</SubFolder>"), 1);
        QCOMPARE(xml.count("MB]'>e</SubFolder>"), 1);
    }

    void exitDuringAScanKeepsTheOldReport()
    {
        Harness h;
        const QString reportPath = h.dir.path() + QStringLiteral("/xmlOutput.xml");
        QFile old(reportPath);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old report") > 0);
        old.close();
        h.fs.onSubfolders = [&](const QByteArray& path) {
            if (path == "/data/z")
                QTest::mouseClick(h.find<QPushButton>("cmdExit"), Qt::LeftButton);
        };
        h.w->runClicked();
        QCOMPARE(h.ended, 1);
        QVERIFY(!QFile::exists(reportPath + QStringLiteral(".part")));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old report"));
    }

    // Mounts come and go while the program runs; the chosen volume stays chosen while mounted, and
    // F5 finds the selected folder again on it.
    void driveListFollowsTheMountTable()
    {
        Harness h;
        auto* drives = h.find<QComboBox>("drvHDs");
        h.w->runClicked();
        h.expand("/data/a");
        h.select("/data/a/b");
        h.fs.addVolume("/media/usb", {true, 64 * MB, 0});
        h.fs.volumesChanged();
        QCOMPARE(drives->count(), 2);
        QCOMPARE(drives->currentData().toByteArray(), QByteArray("/data"));
        QTest::keyClick(h.tree(), Qt::Key_F5);
        QCOMPARE(h.w->tree().selectedKey(), QByteArray("/data/a/b"));
        QVERIFY(h.tree()->viewport()->rect().contains(h.tree()->visualItemRect(h.node("/data/a/b"))));

        drives->setCurrentIndex(1);
        h.fs.removeVolume("/media/usb");
        h.fs.volumesChanged();
        QCOMPARE(drives->count(), 1);
        QCOMPARE(drives->currentData().toByteArray(), QByteArray("/data"));
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
            h.expand("/data/a");   // its first child, b, has children of its own
            QCOMPARE(h.node("/data/a")->child(0)->text(0), QStringLiteral(" [3.00 MB] b"));
            QCOMPARE(h.node("/data/")->child(0)->text(0), QStringLiteral(" [2.00 MB] z"));
            QCOMPARE(h.node("/data/")->child(2)->text(0), QStringLiteral(" [8.00 MB] sparse"));
            h.action("mSizeOnDisk")->trigger();
            QCOMPARE(h.node("/data/sparse")->text(0), QStringLiteral(" [1.00 MB] sparse"));
            QCOMPARE(h.node("/data/")->child(0)->text(0), QStringLiteral(" [1.00 MB] sparse"));
            QCOMPARE(h.node("/data/a")->child(0)->text(0), QStringLiteral(" [1.00 MB] e"));
        }
        Harness again;   // the choice is remembered
        QVERIFY(again.action("mSizeOnDisk")->isChecked());
        again.fs.addFolder("/data/a/sparse", 8 * MB).allocated = 2 * MB;
        again.w->runClicked();
        QVERIFY(again.w->status().text().contains(QStringLiteral("Reading:  [ 2.00 MB] sparse")));
        QFile report(again.dir.path() + QStringLiteral("/xmlOutput.xml"));
        QVERIFY(report.open(QIODevice::ReadOnly));
        QVERIFY(report.readAll().contains("<SubFolder Size=' [ 8.00 MB]'>sparse</SubFolder>"));
        again.action("mSizeOnDisk")->trigger();
        QVERIFY(!QSettings().value(QStringLiteral("view/sizeOnDisk")).toBool());
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
        QCOMPARE(h.w->tree().selectedKey(), QByteArray("/media/usb/photos/2024/summer"));
        QVERIFY(h.node("/media/usb/photos/2024")->isExpanded());

        Harness missing;
        missing.w->startOn("/data/nowhere");
        QVERIFY(missing.fs.walksBegun.isEmpty());
        QVERIFY(missing.w->status().text().startsWith(QStringLiteral("The folder /data/nowhere does not exist.")));
    }

    // View > Largest Files: the list of the last scan, its rows shown in the tree and trashed
    // through Delete's question.
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
