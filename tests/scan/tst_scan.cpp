#include "scan/DriveScan.h"
#include "scan/FolderNode.h"
#include "scan/StatusText.h"
#include "support/FakeFileSystem.h"
#include "support/Files.h"
#include "support/ScanRig.h"

#include <QProgressBar>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace torvane;
using namespace torvane::test;

namespace {

constexpr std::uint64_t MB = 1024 * 1024;
const FakeFileSystem::Failure kDenied{13, QStringLiteral("Permission denied")};

// The file system comes first, so it exists before the rig that uses it.
struct FakeDisk {
    FakeFileSystem fs;
};

// The controls a scan writes, wired to a fake file system.
struct Harness : FakeDisk, ScanRig {
    // A plain volume is the usual start: 1024 MB, nothing free, no folders yet.
    explicit Harness(bool plainVolume = false) : ScanRig(fs, "/data")
    {
        if (plainVolume)
            fs.addVolume("/data", {true, 1024 * MB, 0});
    }
    QStringList captionsUnder(const QByteArray& key) const
    {
        QStringList out;
        if (QTreeWidgetItem* item = tree.find(key)) {
            for (int i = 0; i < item->childCount(); ++i)
                out << item->child(i)->text(0);
        }
        return out;
    }
};

} // namespace

class ScanTest : public QObject {
    Q_OBJECT

private slots:
    void wholeScanBuildsTreeReportAndStatus()
    {
        Harness h;
        h.fs.addVolume("/data", {true, 1024 * MB, 512 * MB});
        h.fs.addFolder("/data/Apps", 10 * MB);
        const QDateTime readOne(QDate(2021, 3, 4), QTime(5, 6, 7)), readTwo(QDate(2022, 1, 2), QTime(3, 4, 5));
        h.fs.addFolder("/data/Apps/one", 9 * MB).lastAccess = readOne;
        h.fs.addFolder("/data/Apps/two", 1 * MB).lastAccess = readTwo;
        h.fs.addFolder("/data/Docs & Notes", 5 * MB);
        h.fs.addFolder("/data/empty", 0);
        h.status.setText(QStringLiteral("old"));
        int nested = 0;   // a scan asked for while one runs (events run during it) is ignored
        h.fs.onSubfolders = [&](const QByteArray& path) {
            if (path == "/data/Apps" && !nested++)
                h.scanner->scanVolume();
        };

        h.scanner->scanVolume();

        QCOMPARE(nested, 1);
        QVERIFY(h.prompter.boxes.isEmpty());
        QTreeWidgetItem* root = h.tree.find("/data/");
        QVERIFY(root);
        QCOMPARE(root->text(0), QStringLiteral("/data/  [1024.00 MB  -  Free Space: 512.00]"));
        QVERIFY(FolderTree::tagged(root) && root->isExpanded());
        QCOMPARE(h.view.currentItem(), root);
        QCOMPARE(h.captionsUnder("/data/"), (QStringList{" [0.00 MB] empty", " [5.00 MB] Docs & Notes", " [10.00 MB] Apps"}));
        QCOMPARE(h.captionsUnder("/data/Apps"), (QStringList{" [1.00 MB] two", " [9.00 MB] one"}));
        QVERIFY(!FolderTree::tagged(h.tree.find("/data/Apps")));

        QCOMPARE(h.report(), QByteArray("<?xml version='1.0' ?>\r\n"
                                        "\t<DirectoryTree Size='  [1024.00 MB]' Drive='/data/'>\r\n"
                                        "\t\t<ParentFolder Size=' [ 10.00 MB]' FolderName='Apps'>\r\n"
                                        "\t\t\t<SubFolder Size=' [ 9.00 MB]'>one</SubFolder>\r\n"
                                        "\t\t\t<SubFolder Size=' [ 1.00 MB]'>two</SubFolder>\r\n"
                                        "\t\t</ParentFolder>\r\n"
                                        "\t\t<ParentFolder Size=' [ 5.00 MB]' FolderName='Docs  and  Notes'>\r\n"
                                        "\t\t</ParentFolder>\r\n"
                                        "\t\t<ParentFolder Size=' [ 0.00 MB]' FolderName='empty'>\r\n"
                                        "\t\t</ParentFolder>\r\n"
                                        "\t</DirectoryTree>\r\n"));

        const QStringList lines = h.status.text().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 7);
        QCOMPARE(lines.mid(0, 6), (QStringList{"Drive scan is complete.", "Any File/Folder/Permission errors will be listed below.", "",
                                               readingLine(MB, "two", readTwo), readingLine(9 * MB, "one", readOne), "old"}));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4}@\\d\\d:\\d\\d:\\d\\d$")).match(lines[6]).hasMatch());
        QVERIFY(!h.timerOn);
        QCOMPARE(h.bar.value(), 0);
        QCOMPARE(h.fs.walksBegun, QList<QByteArray>{"/data"});
    }

    void largeDriveThreshold()
    {
        // 12000.00 MB asks nothing.
        Harness quiet;
        quiet.fs.addVolume("/data", {true, 12000 * MB, 0});
        quiet.scanner->scanVolume();
        QVERIFY(quiet.prompter.boxes.isEmpty());

        // 12000.01 MB asks; Cancel leaves the root, the status line and the old report.
        Harness h;
        h.fs.addVolume("/", {true, 12000 * MB + 10486, 0});
        h.fs.addVolume("/data", {false, 0, 0});   // not ready: the root's volume is scanned instead
        h.fs.addFolder("/data/a", 1);
        writeFile(h.reportPath(), "previous report");
        h.status.setText(QStringLiteral("before"));
        h.timerOn = true;
        h.prompter.answerNext(BoxAnswer::Cancel);
        h.scanner->scanVolume();

        QCOMPARE(h.prompter.boxes.size(), 1);
        QCOMPARE(h.prompter.boxes[0].text, QStringLiteral("This is a very large drive\r\nand may take some time to\r\ncomplete. "
                                                          "You may want to\r\nuse the view XML output to\r\nbrowse the folders."));
        QCOMPARE(h.prompter.boxes[0].buttons, BoxButtons::OkCancel);
        QCOMPARE(h.drive, QByteArray("/"));
        QCOMPARE(h.view.topLevelItemCount(), 1);
        QCOMPARE(h.view.topLevelItem(0)->text(0), QStringLiteral("/  [12000.01 MB  -  Free Space: 0.00]"));
        QCOMPARE(h.view.topLevelItem(0)->childCount(), 0);
        QCOMPARE(h.status.text(), QStringLiteral("Operation Canceled. \r\nbefore"));
        QCOMPARE(h.report(), QByteArray("previous report"));
        QVERIFY(!h.timerOn);
        QVERIFY(h.fs.walksBegun.isEmpty());
    }

    // The lister: an unreadable folder never hides its siblings, and after the scan it moves the bar.
    void listerReportsFailuresAndMovesTheBar()
    {
        Harness h(true);
        h.fs.addFolder("/data/a", 3 * MB);
        h.fs.addFolder("/data/a/1", MB);
        h.fs.addFolder("/data/a/2", MB).sizeFails = kDenied;
        h.fs.addFolder("/data/a/3", MB);
        h.fs.addFolder("/data/b", MB).sizeFails = kDenied;
        h.fs.addFolder("/data/c", MB).listFails = kDenied;
        // What the walk could not read anywhere: one line each, by path below the volume, none twice.
        h.fs.failedFolders.push_back({"deep/er/locked", 13, QStringLiteral("Permission denied")});
        h.fs.failedFolders.push_back({"b", 13, QStringLiteral("Permission denied")});
        h.scanner->scanVolume();

        QVERIFY(h.tree.find("/data/a/1") && h.tree.find("/data/a/3") && h.tree.find("/data/c"));
        QVERIFY(!h.tree.find("/data/a/2") && !h.tree.find("/data/b"));
        const QString text = h.status.text();
        for (const char* name : {"2", "b", "c", "deep/er/locked"})
            QCOMPARE(text.count(QStringLiteral("\nError: ") + QLatin1String(name) + QStringLiteral("13 : Permission denied\r\n")), 1);
        QVERIFY(text.indexOf(QStringLiteral("Error: deep")) > text.indexOf(QStringLiteral("errors will be listed below.")));
        const QByteArray report = h.report();
        QVERIFY(report.contains(">1</SubFolder>") && report.contains(">3</SubFolder>"));
        QVERIFY(!report.contains(">2</SubFolder>") && !report.contains("FolderName='b'"));
        QVERIFY(report.contains("FolderName='c'>\r\n\t\t</ParentFolder>"));

        // After the scan the lister counts the listed subfolders on the bar and empties it at the end.
        h.tree.add("/data/", "/data/q", QStringLiteral("q"), FolderTree::Image::Folder);
        for (const char* name : {"/data/q/1", "/data/q/2", "/data/q/3"})
            h.fs.addFolder(name);
        int seenMax = 0, seenValue = 0;
        QObject::connect(&h.bar, &QProgressBar::valueChanged, [&](int v) {
            seenMax = std::max(seenMax, h.bar.maximum());
            seenValue = std::max(seenValue, v);
        });
        h.scanner->listSubfolders("/data/q");
        QCOMPARE(seenMax, 7);
        QCOMPARE(seenValue, 3);
        QCOMPARE(h.bar.value(), 0);
    }

    void waitsForTheWalkWhileEventsRun()
    {
        Harness h(true);
        h.fs.addFolder("/data/slow", 7 * MB).pendingPolls = 10;
        // Apparent bytes beyond the used bytes (sparse files) must not fill the bar early.
        h.fs.progress = WalkProgress{2048 * MB, 256 * MB, false};
        int timerTicks = 0;
        int barSeen = 0;
        bool wentBack = false;
        QObject::connect(&h.bar, &QProgressBar::valueChanged, [&](int v) {
            wentBack = wentBack || (v != 0 && v < barSeen);   // 0 only before and after the scan
            barSeen = std::max(barSeen, v);
        });
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (++timerTicks == 1)   // a lower count from the walk leaves the bar where it is
                h.fs.progress.bytesAllocated = 128 * MB;
            if (timerTicks == 20)   // the scan waits for the walk's end before it completes
                h.fs.progress.finished = true;
        });
        timer.start(0);
        h.scanner->scanVolume();
        QVERIFY(timerTicks >= 20);   // events ran while the size and the walk's end were awaited
        QCOMPARE(barSeen, 250);      // 256 of 1024 MB used, in steps of a thousandth
        QVERIFY(!wentBack);
        QCOMPARE(h.tree.find("/data/slow")->text(0), QStringLiteral(" [7.00 MB] slow"));
    }

    // Past the first thousand folders the walk could not read, a count.
    void errorLinesStopAtAThousand()
    {
        Harness many(true);
        for (int i = 0; i < 1003; ++i)
            many.fs.failedFolders.push_back({"f" + QByteArray::number(i), 5, QStringLiteral("Input/output error")});
        many.scanner->scanVolume();
        QCOMPARE(many.status.text().count(QStringLiteral("Input/output error")), 1000);
        QCOMPARE(many.status.text().count(QStringLiteral("Error: 3 more folders could not be read.")), 1);
    }
};

QTEST_MAIN(ScanTest)
#include "tst_scan.moc"
