#include "scan/FolderNode.h"
#include "scan/Report.h"
#include "scan/StatusText.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>

using namespace torvane;

constexpr std::uint64_t MB = 1024 * 1024;

// The scan's texts, its tree's order and its report file, each on its own without a scan.
class ScanTextTest : public QObject {
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

    // Each pair in order: less one way, not the other.
    void captionsCompareNumbersByValue()
    {
        const std::pair<const char*, const char*> ordered[] = {
            {" [9.00 MB] b", " [10.00 MB] a"}, {" [1.05 MB] x", " [1.50 MB] x"}, {" [2.00 MB] a", " [2.00 MB] b"},
            {" [0.00 MB] dir2", " [0.00 MB] dir10"},
            // A digit against another character compares as a digit does, whichever digit it is.
            {"a!", "a0"}, {"a99", "a:"},
            // Leading zeros count for nothing; equal values fall back to plain order.
            {"a007b", "a8"}, {"a01", "a1"}, {"a1", "a1b"}, {"b99999999999999999999", "b100000000000000000000"}};
        for (const auto& [less, more] : ordered) {
            QVERIFY2(captionLess(QString::fromLatin1(less), QString::fromLatin1(more)), less);
            QVERIFY2(!captionLess(QString::fromLatin1(more), QString::fromLatin1(less)), more);
        }
        QVERIFY(!captionLess(QStringLiteral(" [2.00 MB] a"), QStringLiteral(" [2.00 MB] a")));
    }

    // The view shows what the box keeps; the text itself, completion lines and all: the scan's test.
    void statusBoxKeepsNewestFirst()
    {
        QPlainTextEdit view;
        StatusBox box(&view);
        box.setText(QStringLiteral("a\r\nb"));
        box.prependLine(QStringLiteral("c"));
        box.repaint();   // the widget shows the same lines at once
        QCOMPARE(view.toPlainText(), QStringLiteral("c\na\nb"));
        box.prependLine(QStringLiteral("d"));
        QCOMPARE(box.text(), QStringLiteral("d\r\nc\r\na\r\nb"));
        QTRY_COMPARE(view.toPlainText(), QStringLiteral("d\nc\na\nb"));   // the view catches up when events run
        box.completeScan(QStringLiteral("STAMP"));
        box.repaint();
        QCOMPARE(view.toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n")), box.text());
    }

    // Names never break a line in two, turn the rest of it around or hide bytes that are not UTF-8.
    void statusLinesAndStamp()
    {
        const QDateTime when(QDate(2024, 3, 5), QTime(14, 7, 9));
        QCOMPARE(scanTimeStamp(when), QStringLiteral("03/05/2024@14:07:09"));
        QCOMPARE(accessTimeText(QDateTime(QDate(2024, 3, 5), QTime(0, 0))),
                 QLocale().toString(QDate(2024, 3, 5), QLocale::ShortFormat));
        QCOMPARE(errorLine("a\nb", 13, QStringLiteral("x")), QStringLiteral("Error: a\\nb13 : x"));
        const QString line = readingLine(0, "olr\xe2\x80\xaetxt.exe", when);
        QCOMPARE(line.section(QLatin1Char(' '), 5, 5), QStringLiteral("olr\\u202etxt.exe"));
        QVERIFY2(line.endsWith(QLatin1Char(']')), qPrintable(line));
        QCOMPARE(folderCaption(0, "caf\xe9\x01"), QStringLiteral(" [0.00 MB] caf\uFFFD\\x01"));
        QCOMPARE(folderCaption(0, "next\xc2\x85line\xe2\x80\xa8sep\xe2\x80\xa9para"),
                 QStringLiteral(" [0.00 MB] next\\x85line\\u2028sep\\u2029para"));
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
        const auto read = [&] {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        {
            ReportWriter first;
            first.begin(path, MB, "/");
            first.finish();
        }
        const QByteArray good = read();
        QVERIFY(good.endsWith("</DirectoryTree>\r\n"));
        {
            ReportWriter second;
            second.begin(path, 2 * MB, "/");
            second.parentFolderOpen(MB, "half");
        }   // never finished
        QCOMPARE(read(), good);
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

QTEST_MAIN(ScanTextTest)
#include "tst_scantext.moc"
