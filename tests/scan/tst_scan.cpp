#include "fs/PlatformError.h"
#include "scan/DriveScan.h"
#include "scan/FolderNode.h"
#include "scan/Report.h"
#include "scan/StatusText.h"
#include "support/FakeFileSystem.h"
#include "support/FakePrompter.h"
#include "support/ScanRig.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QXmlStreamReader>

using namespace torvane;
using namespace torvane::test;

namespace {

constexpr std::uint64_t MB = 1024 * 1024;

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
    void mbTextIgnoresLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(mbText(0), QStringLiteral("0.00"));
        QCOMPARE(mbText(5 * MB), QStringLiteral("5.00"));
        QCOMPARE(mbText(1234 * MB + MB / 2), QStringLiteral("1234.50"));
        QCOMPARE(mbText(std::uint64_t(3) * 1024 * 1024 * MB), QStringLiteral("3145728.00"));
        QCOMPARE(mbText(5243), QStringLiteral("0.01"));   // 0.005 MB rounds up
        QLocale::setDefault(QLocale::c());
    }

    void captionsCompareNumbersByValue()
    {
        QVERIFY(captionLess(QStringLiteral(" [9.00 MB] b"), QStringLiteral(" [10.00 MB] a")));
        QVERIFY(!captionLess(QStringLiteral(" [10.00 MB] a"), QStringLiteral(" [9.00 MB] b")));
        QVERIFY(captionLess(QStringLiteral(" [1.05 MB] x"), QStringLiteral(" [1.50 MB] x")));
        QVERIFY(captionLess(QStringLiteral(" [2.00 MB] a"), QStringLiteral(" [2.00 MB] b")));
        QVERIFY(!captionLess(QStringLiteral(" [2.00 MB] a"), QStringLiteral(" [2.00 MB] a")));
        QVERIFY(captionLess(QStringLiteral(" [0.00 MB] dir2"), QStringLiteral(" [0.00 MB] dir10")));
    }

    void statusBoxKeepsNewestFirst()
    {
        QPlainTextEdit view;
        StatusBox box(&view);
        QCOMPARE(box.text(), QString());
        box.prependLine(QStringLiteral("one"));
        box.prependLine(QStringLiteral("two"));
        QCOMPARE(box.text(), QStringLiteral("two\r\none\r\n"));
        box.completeScan(QStringLiteral("STAMP"));
        QCOMPARE(box.text(), QStringLiteral("Drive scan is complete.\r\nAny File/Folder/Permission errors will be listed "
                                            "below.\r\n\r\ntwo\r\none\r\n\r\nSTAMP"));
        // The widget shows the same lines.
        box.repaint();
        QCOMPARE(view.toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n")), box.text());
        box.setText(QStringLiteral("a\r\nb"));
        box.prependLine(QStringLiteral("c"));
        box.prependLine(QStringLiteral("d"));
        QCOMPARE(box.text(), QStringLiteral("d\r\nc\r\na\r\nb"));
        QTRY_COMPARE(view.toPlainText(), QStringLiteral("d\nc\na\nb"));   // the view catches up when events run
    }

    void statusLinesAndStamp()
    {
        const QDateTime when(QDate(2024, 3, 5), QTime(14, 7, 9));
        QCOMPARE(scanTimeStamp(when), QStringLiteral("03/05/2024@14:07:09"));
        const QString line = readingLine(0, "a&b", when);
        QVERIFY2(line.startsWith(QStringLiteral("Reading:  [ 0.00 MB] a&b [Last Accessed: ")), qPrintable(line));
        QVERIFY(line.endsWith(QLatin1Char(']')));
        QCOMPARE(accessTimeText(QDateTime(QDate(2024, 3, 5), QTime(0, 0))),
                 QLocale().toString(QDate(2024, 3, 5), QLocale::ShortFormat));
        QCOMPARE(errorLine("Data", 70, QStringLiteral("Permission denied")), QStringLiteral("Error: Data70 : Permission denied"));
        // A newline in a name never breaks the line in two.
        QCOMPARE(errorLine("a\nb", 13, QStringLiteral("x")), QStringLiteral("Error: a\\nb13 : x"));
        // Nor turns the rest of the line around, nor hides bytes that are not UTF-8.
        QCOMPARE(readingLine(0, "olr\xe2\x80\xaetxt.exe", when).section(QLatin1Char(' '), 5, 5),
                 QStringLiteral("olr\\u202etxt.exe"));
        QCOMPARE(folderCaption(0, "caf\xe9\x01"), QStringLiteral(" [0.00 MB] caf\uFFFD\\x01"));
        QCOMPARE(folderCaption(0, "next\xc2\x85line\xe2\x80\xa8sep\xe2\x80\xa9para"),
                 QStringLiteral(" [0.00 MB] next\\x85line\\u2028sep\\u2029para"));
    }

    void wholeScanBuildsTreeReportAndStatus()
    {
        Harness h;
        h.fs.addVolume("/data", {true, 1024 * MB, 512 * MB});
        h.fs.addFolder("/data/Apps", 10 * MB);
        h.fs.addFolder("/data/Apps/one", 9 * MB);
        h.fs.addFolder("/data/Apps/two", 1 * MB);
        h.fs.addFolder("/data/Docs & Notes", 5 * MB);
        h.fs.addFolder("/data/empty", 0);
        h.status.setText(QStringLiteral("old"));

        h.scanner->scanVolume();

        QVERIFY(h.prompter.boxes.isEmpty());
        QTreeWidgetItem* root = h.tree.find("/data/");
        QVERIFY(root);
        QCOMPARE(root->text(0), QStringLiteral("/data/  [1024.00 MB  -  Free Space: 512.00]"));
        QVERIFY(FolderTree::tagged(root));
        QVERIFY(root->isExpanded());
        QCOMPARE(h.view.currentItem(), root);
        QCOMPARE(h.captionsUnder("/data/"), (QStringList{QStringLiteral(" [0.00 MB] empty"), QStringLiteral(" [5.00 MB] Docs & Notes"),
                                                       QStringLiteral(" [10.00 MB] Apps")}));
        QCOMPARE(h.captionsUnder("/data/Apps"), (QStringList{QStringLiteral(" [1.00 MB] two"), QStringLiteral(" [9.00 MB] one")}));
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
        QCOMPARE(lines[0], QStringLiteral("Drive scan is complete."));
        QCOMPARE(lines[1], QStringLiteral("Any File/Folder/Permission errors will be listed below."));
        QCOMPARE(lines[2], QString());
        QVERIFY(lines[3].startsWith(QStringLiteral("Reading:  [ 1.00 MB] two [Last Accessed: ")));
        QVERIFY(lines[4].startsWith(QStringLiteral("Reading:  [ 9.00 MB] one [Last Accessed: ")));
        QCOMPARE(lines[5], QStringLiteral("old"));
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
        h.fs.addVolume("/data", {true, 12000 * MB + 10486, 0});
        h.fs.addFolder("/data/a", 1);
        QFile old(h.reportPath());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("previous report");
        old.close();
        h.status.setText(QStringLiteral("before"));
        h.timerOn = true;
        h.prompter.answerNext(BoxAnswer::Cancel);
        h.scanner->scanVolume();

        QCOMPARE(h.prompter.boxes.size(), 1);
        QCOMPARE(h.prompter.boxes[0].text, QStringLiteral("This is a very large drive\r\nand may take some time to\r\ncomplete. "
                                                          "You may want to\r\nuse the view XML output to\r\nbrowse the folders."));
        QCOMPARE(h.prompter.boxes[0].buttons, BoxButtons::OkCancel);
        QCOMPARE(h.prompter.boxes[0].title, QString());
        QCOMPARE(h.view.topLevelItemCount(), 1);
        QCOMPARE(h.view.topLevelItem(0)->childCount(), 0);
        QCOMPARE(h.status.text(), QStringLiteral("Operation Canceled. \r\nbefore"));
        QCOMPARE(h.report(), QByteArray("previous report"));
        QVERIFY(!h.timerOn);
        QVERIFY(h.fs.walksBegun.isEmpty());
    }

    void volumeWithoutFolders()
    {
        Harness h;
        h.fs.addVolume("/data", {true, 1024 * MB, 1024 * MB});
        h.scanner->scanVolume();
        QCOMPARE(h.report(), QByteArray("<?xml version='1.0' ?>\r\n\t<DirectoryTree Size='  [1024.00 MB]' Drive='/data/'>\r\n"
                                        "\t</DirectoryTree>\r\n"));
        QVERIFY(h.status.text().startsWith(QStringLiteral("Drive scan is complete.\r\nAny File/Folder/Permission errors will be "
                                                           "listed below.\r\n\r\n\r\n")));
    }

    void notReadyVolumeFallsBackToRoot()
    {
        Harness h;
        h.fs.addVolume("/", {true, 2048 * MB, 1024 * MB});
        h.fs.addVolume("/media/usb", {false, 0, 0});
        h.fs.addFolder("/etc", 3 * MB);
        h.drive = "/media/usb";
        h.scanner->scanVolume();
        QCOMPARE(h.drive, QByteArray("/"));
        QVERIFY(h.tree.find("/"));
        QCOMPARE(h.tree.find("/")->text(0), QStringLiteral("/  [2048.00 MB  -  Free Space: 1024.00]"));
        QVERIFY(h.tree.find("/etc"));
    }

    void failuresAreReportedAndSiblingsStay()
    {
        Harness h(true);
        h.fs.addFolder("/data/a", 3 * MB);
        h.fs.addFolder("/data/a/1", MB);
        h.fs.addFolder("/data/a/2", MB).sizeFails = FakeFileSystem::Failure{13, QStringLiteral("Permission denied")};
        h.fs.addFolder("/data/a/3", MB);
        h.fs.addFolder("/data/b", MB).sizeFails = FakeFileSystem::Failure{13, QStringLiteral("Permission denied")};
        h.fs.addFolder("/data/c", MB).listFails = FakeFileSystem::Failure{13, QStringLiteral("Permission denied")};
        h.scanner->scanVolume();

        QVERIFY(h.tree.find("/data/a/1"));
        QVERIFY(!h.tree.find("/data/a/2"));
        QVERIFY(h.tree.find("/data/a/3"));
        QVERIFY(!h.tree.find("/data/b"));
        QVERIFY(h.tree.find("/data/c"));
        const QString text = h.status.text();
        QVERIFY(text.contains(QStringLiteral("\r\nError: 213 : Permission denied\r\n")));
        QVERIFY(text.contains(QStringLiteral("\r\nError: b13 : Permission denied\r\n")));
        QVERIFY(text.contains(QStringLiteral("\r\nError: c13 : Permission denied\r\n")));
        const QByteArray report = h.report();
        QVERIFY(report.contains(">1</SubFolder>") && report.contains(">3</SubFolder>"));
        QVERIFY(!report.contains(">2</SubFolder>") && !report.contains("FolderName='b'"));
        QVERIFY(report.contains("FolderName='c'>\r\n\t\t</ParentFolder>"));
    }

    void listerMovesTheBar()
    {
        Harness h(true);
        h.fs.addFolder("/data/a");
        h.scanner->scanVolume();
        h.fs.addFolder("/data/a/x");
        h.fs.addFolder("/data/a/y");
        h.fs.addFolder("/data/a/z");
        h.tree.add("/data/", "/data/q", QStringLiteral("q"), FolderTree::Image::Folder);
        h.fs.addFolder("/data/q/1");
        h.fs.addFolder("/data/q/2");
        h.fs.addFolder("/data/q/3");
        int seenMax = 0, seenValue = 0;
        QObject::connect(&h.bar, &QProgressBar::valueChanged, [&](int v) {
            seenMax = std::max(seenMax, h.bar.maximum());
            seenValue = std::max(seenValue, v);
        });
        h.scanner->listSubfolders("/data/q");
        QCOMPARE(h.bar.maximum(), 7);
        QCOMPARE(seenMax, 7);
        QCOMPARE(seenValue, 3);
        QCOMPARE(h.bar.value(), 0);
        QCOMPARE(h.captionsUnder("/data/q").size(), 3);
    }

    void waitsForTheWalkWhileEventsRun()
    {
        Harness h(true);
        h.fs.addFolder("/data/slow", 7 * MB).pendingPolls = 5;
        // Apparent bytes beyond the used bytes (sparse files) must not fill the bar early.
        h.fs.progress = WalkProgress{2048 * MB, 256 * MB, false};
        int timerTicks = 0;
        int barSeen = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            barSeen = std::max(barSeen, h.bar.value());
            if (++timerTicks == 20)   // the scan waits for the walk's end before it completes
                h.fs.progress.finished = true;
        });
        timer.start(0);
        h.scanner->scanVolume();
        QVERIFY(timerTicks >= 20);   // events ran while the size and the walk's end were awaited
        QCOMPARE(barSeen, 250);      // 256 of 1024 MB used, in steps of a thousandth
        QCOMPARE(h.tree.find("/data/slow")->text(0), QStringLiteral(" [7.00 MB] slow"));
    }

    // Folders the walk could not read anywhere below the top levels: one line each, by path below
    // the volume, none twice, and a count past the first thousand.
    void unreadableFoldersGetOneErrorLineEach()
    {
        Harness h(true);
        h.fs.addFolder("/data/top", MB).sizeFails = FakeFileSystem::Failure{13, QStringLiteral("Permission denied")};
        h.fs.failedFolders.push_back({"deep/er/locked", 13, QStringLiteral("Permission denied")});
        h.fs.failedFolders.push_back({"top", 13, QStringLiteral("Permission denied")});
        h.scanner->scanVolume();
        const QString text = h.status.text();
        QCOMPARE(text.count(QStringLiteral("Error: deep/er/locked13 : Permission denied")), 1);
        QCOMPARE(text.count(QStringLiteral("Error: top13 : Permission denied")), 1);   // the lister's line only
        QVERIFY(text.indexOf(QStringLiteral("Error: deep")) > text.indexOf(QStringLiteral("errors will be listed below.")));

        Harness many(true);
        for (int i = 0; i < 1003; ++i)
            many.fs.failedFolders.push_back({"f" + QByteArray::number(i), 5, QStringLiteral("Input/output error")});
        many.scanner->scanVolume();
        QCOMPARE(many.status.text().count(QStringLiteral("Input/output error")), 1000);
        QCOMPARE(many.status.text().count(QStringLiteral("Error: 3 more folders could not be read.")), 1);
    }

    void scanRequestedDuringScanIsIgnored()
    {
        Harness h(true);
        h.fs.addFolder("/data/a/b");
        int nested = 0;
        h.fs.onSubfolders = [&](const QByteArray& path) {
            if (path == "/data/a") {
                ++nested;
                h.scanner->scanVolume();
            }
        };
        h.scanner->scanVolume();
        QCOMPARE(nested, 1);
        QCOMPARE(h.fs.walksBegun.size(), 1);
        QVERIFY(h.tree.find("/data/a/b"));
        QCOMPARE(h.status.text().count(QStringLiteral("Drive scan is complete.")), 1);
    }

    void reportIsWellFormedForAnyName_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("apostrophe") << QByteArray("it's") << QStringLiteral("it's");
        QTest::newRow("markup") << QByteArray("<a> \"b\"") << QStringLiteral("<a> \"b\"");
        QTest::newRow("ampersand") << QByteArray("R&D&Co") << QStringLiteral("R and D and Co");
        QTest::newRow("newline") << QByteArray("two\nlines\ttab\rcr") << QStringLiteral("two\nlines\ttab\rcr");
        QTest::newRow("not utf8") << QByteArray("caf\xe9") << QStringLiteral("caf\uFFFD");
        QTest::newRow("control") << QByteArray("bell\x07") << QStringLiteral("bell\uFFFD");
        QTest::newRow("unicode") << QByteArray("\xc3\xa9t\xc3\xa9 \xe6\x97\xa5") << QStringLiteral("\u00e9t\u00e9 \u65e5");
    }

    void reportIsWellFormedForAnyName()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, expected);
        Harness h(true);
        h.fs.addFolder("/data/" + name + "/" + name);
        h.scanner->scanVolume();

        QXmlStreamReader xml(h.report());
        QStringList folderNames, subNames;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("ParentFolder"))
                folderNames << xml.attributes().value(QLatin1String("FolderName")).toString();
            else if (xml.name() == QLatin1String("SubFolder"))
                subNames << xml.readElementText();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(folderNames, QStringList{expected});
        QCOMPARE(subNames, QStringList{expected});
    }

    void sortingKeepsOpenNodesOpen()
    {
        QTreeWidget view;
        FolderTree tree(&view);
        tree.add(QByteArray(), "/", QStringLiteral("/"), FolderTree::Image::Drive);
        tree.add("/", "/b", QStringLiteral(" [9.00 MB] b"), FolderTree::Image::Folder);
        tree.add("/", "/a", QStringLiteral(" [10.00 MB] a"), FolderTree::Image::Folder);
        tree.add("/a", "/a/x", QStringLiteral(" [1.00 MB] x"), FolderTree::Image::Folder);
        tree.add("/a/x", "/a/x/y", QStringLiteral(" [1.00 MB] y"), FolderTree::Image::Folder);
        tree.add("/b", "/b/z", QStringLiteral(" [1.00 MB] z"), FolderTree::Image::Folder);
        for (const char* key : {"/", "/a", "/a/x"})
            tree.find(key)->setExpanded(true);
        tree.find("/b")->setExpanded(true);
        tree.find("/b")->setExpanded(false);
        view.setCurrentItem(tree.find("/a/x/y"));
        int expansions = 0;
        QObject::connect(&view, &QTreeWidget::itemExpanded, [&] { ++expansions; });

        tree.sortChildren("/");

        QCOMPARE(tree.find("/")->child(0), tree.find("/b"));
        QVERIFY(tree.find("/a")->isExpanded());
        QVERIFY(tree.find("/a/x")->isExpanded());
        QVERIFY(!tree.find("/b")->isExpanded());
        QCOMPARE(view.currentItem(), tree.find("/a/x/y"));
        QCOMPARE(expansions, 0);   // restoring is no expansion by the user
    }

    void abandonedReportLeavesTheOldOne()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("xmlOutput.xml"));
        {
            ReportWriter first;
            first.begin(path, MB, "/");
            first.finish();
        }
        const QByteArray good = [&] {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        QVERIFY(good.endsWith("</DirectoryTree>\r\n"));
        {
            ReportWriter second;
            second.begin(path, 2 * MB, "/");
            second.parentFolderOpen(MB, "half");
        }   // never finished
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), good);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("xmlOutput.xml")});
    }

    // The sort works on keys made from the captions; its order must be captionLess's, ties and
    // leading zeros included.
    void sortedFamilyFollowsCaptionOrder()
    {
        QTreeWidget view;
        FolderTree tree(&view);
        tree.add(QByteArray(), "/", QStringLiteral("/"), FolderTree::Image::Drive);
        QStringList captions;
        int n = 0;
        for (const char* name : {"a1", "a01", "a001b", "a1b", "a!", "a:", "a10", "a9", "a", "ab", "a 1", "a0", "a00",
                                 "\xc3\xa9" "1", "A1", "a1.5", "a1.05", "0", "00", "b99999999999999999999", "b1e"}) {
            for (const char* size : {"0.00", "9.00", "10.00", "010.00"}) {
                const QString caption = QStringLiteral(" [%1 MB] %2").arg(QLatin1String(size), QString::fromUtf8(name));
                tree.add("/", "/" + QByteArray::number(n++), caption, FolderTree::Image::Folder);
                captions << caption;
            }
        }
        std::stable_sort(captions.begin(), captions.end(), captionLess);
        tree.sortChildren("/");
        QStringList sorted;
        for (int i = 0; i < tree.find("/")->childCount(); ++i)
            sorted << tree.find("/")->child(i)->text(0);
        QCOMPARE(sorted, captions);
    }
};

QTEST_MAIN(ScanTest)
#include "tst_scan.moc"
