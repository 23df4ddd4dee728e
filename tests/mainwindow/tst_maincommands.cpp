#include "MainWindowHarness.h"

#include "insight/MapWindow.h"

#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <atomic>
#include <chrono>
#include <thread>

class MainCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useTestSettings(); }

    void folderCommandsOpenShowPropertiesAndDeleteButNeverARoot()
    {
        Harness h;
        h.shell.onTrash = [&](const QByteArray& p) { h.fs.removeFolder(p); };
        h.action("mProperties1")->trigger();   // nothing selected: nothing shown
        QVERIFY(h.shell.propertiesShown.isEmpty());
        h.w->runClicked();
        h.select("/data/");
        h.action("mOpen2")->trigger();
        h.action("mProperties1")->trigger();
        h.action("mDelete1")->trigger();
        QCOMPARE(h.prompter.boxes.size(), 1);
        QCOMPARE(h.prompter.boxes[0].buttons, BoxButtons::Ok);
        h.select("/data/z");
        QTest::mouseClick(h.find<QPushButton>("cmdOpen"), Qt::LeftButton);
        QCOMPARE(h.shell.openedFolders, (QList<QByteArray>{"/data/", "/data/z"}));
        QCOMPARE(h.shell.propertiesShown, QList<QByteArray>{"/data/"});

        h.select("/data/a/b");
        const QString parentCaption = h.node("/data/a")->text(0);
        h.prompter.answerNext(BoxAnswer::No);
        QTest::mouseClick(h.find<QPushButton>("cmdDelete"), Qt::LeftButton);
        QVERIFY(h.shell.trashed.isEmpty());
        QCOMPARE(h.selected(), QByteArray("/data/a/b"));

        h.prompter.answerNext(BoxAnswer::Yes);
        h.action("mDelete1")->trigger();
        QCOMPARE(h.prompter.boxes.size(), 3);
        QVERIFY(h.prompter.boxes[2].text.contains(QStringLiteral("/data/a/b")));
        QCOMPARE(h.prompter.boxes[2].buttons, BoxButtons::YesNo);
        QCOMPARE(h.shell.trashed, QList<QByteArray>{"/data/a/b"});
        QCOMPARE(h.node("/data/a/b")->text(0), QStringLiteral("$$Deleted Folder$$"));
        QCOMPARE(h.selected(), QByteArray("/data/a"));
        QVERIFY(h.node("/data/a")->isExpanded());
        QCOMPARE(h.node("/data/a")->text(0), parentCaption);
        QVERIFY(!QGuiApplication::overrideCursor());

        // Deleting it again: the shell reports the missing folder, the parent is selected again.
        h.shell.failWith = std::pair<int, QString>{2, QStringLiteral("No such file or directory")};
        h.select("/data/a/b");
        h.action("mDelete1")->trigger();
        QVERIFY(h.status().startsWith(QStringLiteral("Error: 2 : No such file or directory\r\n")));
        QCOMPARE(h.selected(), QByteArray("/data/a"));

        h.shell.failWith = std::pair<int, QString>{0, QStringLiteral("No program could open the folder")};
        h.action("mOpen2")->trigger();
        QVERIFY(h.status().startsWith(QStringLiteral("No program could open the folder\r\n")));
    }

    // The question names what emptying would destroy; only a yes empties. Measuring the trashes
    // walks whole trees, so the window must keep handling events meanwhile.
    void emptyTrashAsksFirstWhileEventsRun()
    {
        Harness h;
        std::atomic<bool> eventSeen{false};
        bool measuredWhileEventsRan = false;
        h.shell.contents = {3, 2 * MB};
        h.shell.onTrashContents = [&] {
            for (int i = 0; i < 1000 && !eventSeen; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            measuredWhileEventsRan = eventSeen;
        };
        QTimer::singleShot(0, [&] { eventSeen = true; });
        h.prompter.answerNext(BoxAnswer::No);
        h.action("mnuDirRecycle")->trigger();
        QVERIFY(measuredWhileEventsRan);
        QCOMPARE(h.shell.emptied, 0);
        QCOMPARE(h.prompter.boxes.size(), 1);
        QCOMPARE(h.prompter.boxes[0].text, QStringLiteral("Permanently delete the 3 item(s) in the trash (2.00 MB)?"));
        h.action("mTrash")->trigger();
        QCOMPARE(h.shell.emptied, 1);
    }

    void logIsSavedAndOpened()
    {
        Harness h;
        h.w->status().setText(QString());
        QTest::mouseDClick(h.find<QPlainTextEdit>("txtStatus")->viewport(), Qt::LeftButton);
        QCOMPARE(h.log(), QByteArray("\r\n"));
        h.w->status().setText(QStringLiteral("first\r\nsecond \u00e9"));
        h.w->saveAndShowLog();
        QCOMPARE(h.log(), QByteArray("first\r\nsecond \xc3\xa9\r\n"));
        QCOMPARE(h.shell.openedFiles.size(), 2);
        QCOMPARE(h.shell.openedFiles.last(), h.dir.filePath(QStringLiteral("torvane.log")));

        // A drop on the status frame. Qt delivers a drop only inside a real drag, so the event
        // goes to the window's filter, where the frame's events are routed.
        h.w->status().setText(QStringLiteral("dropped"));
        QMimeData data;
        data.setText(QStringLiteral("x"));
        QWidget* frame = h.find<QWidget>("frameStatus");
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QVERIFY(frame->acceptDrops() && static_cast<QObject*>(h.w.get())->eventFilter(frame, &drop));
        QCOMPARE(h.log(), QByteArray("dropped\r\n"));

        Harness unwritable(QStringLiteral("/nonexistent-torvane-folder/sub"));
        unwritable.w->saveAndShowLog();
        QCOMPARE(unwritable.prompter.boxes.size(), 1);
        QVERIFY(unwritable.prompter.boxes[0].text.startsWith(QStringLiteral("The log could not be saved")));
        QVERIFY(unwritable.shell.openedFiles.isEmpty());
    }

    // The View windows before any scan and on the last one: Largest Files shows its rows in the
    // tree and trashes them through Delete's question, Map opens on the folder selected in the
    // tree, Changes compares the last scan with the one before (every complete scan is kept),
    // Open XML Output reads the report the scan wrote.
    void viewWindowsWorkOnTheLastScan()
    {
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/torvane")).removeRecursively();
        Harness h;
        h.action("mLargestFiles")->trigger();
        h.action("mMap")->trigger();
        auto* largest = h.w->findChild<QWidget*>(QStringLiteral("largestFilesWindow"));
        auto* map = h.w->findChild<MapWindow*>(QStringLiteral("mapWindow"));
        QVERIFY(largest && largest->isVisible() && map && map->isVisible());

        h.w->runClicked();
        h.fs.addFolder("/data/z", 7 * MB);      // grew by 5 MB
        h.fs.addFolder("/data/new", 1 * MB);
        h.fs.largest = {{"/data/a/b/c/big.iso", 900 * MB, 900 * MB, QDateTime::currentDateTime()},
                        {"/data/z/small.bin", 10 * MB, 10 * MB, QDateTime::currentDateTime()}};
        h.w->runClicked();
        h.action("mChanges")->trigger();
        auto* changes = h.w->findChild<QWidget*>(QStringLiteral("changesWindow"));
        QVERIFY(changes && changes->isVisible());
        auto* tree = changes->findChild<QTreeWidget*>(QStringLiteral("changesTree"));
        QTRY_COMPARE(tree->topLevelItemCount(), 2);
        QCOMPARE(tree->topLevelItem(0)->text(0) + tree->topLevelItem(0)->text(3), QStringLiteral("+5.00 MBz"));

        auto* table = largest->findChild<QTableView*>(QStringLiteral("largestTable"));
        QCOMPARE(table->model()->rowCount(), 2);
        table->selectRow(0);
        largest->findChild<QToolButton*>(QStringLiteral("largestShowInTree"))->click();
        QCOMPARE(h.selected(), QByteArray("/data/a/b/c"));
        h.action("mMap")->trigger();
        QCOMPARE(map->topFolder(), QByteArray("/data/a/b/c"));

        largest->findChild<QToolButton*>(QStringLiteral("largestMoveToTrash"))->click();
        QCOMPARE(h.shell.trashed, QList<QByteArray>{"/data/a/b/c/big.iso"});
        QCOMPARE(h.prompter.boxes.last().text, QStringLiteral("Move the file \"/data/a/b/c/big.iso\" to the trash?"));
        QCOMPARE(table->model()->rowCount(), 1);

        h.action("mOpenXML")->trigger();
        auto* report = h.find<QTreeWidget>("reportTree");
        QVERIFY(report && report->isVisible() && report->topLevelItemCount() > 0);
    }
};

QTEST_MAIN(MainCommandsTest)
#include "tst_maincommands.moc"
