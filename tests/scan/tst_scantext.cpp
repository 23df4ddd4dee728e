#include "scan/FolderNode.h"
#include "scan/Report.h"
#include "scan/StatusText.h"
#include "support/Files.h"

#include <QDir>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace torvane;
using namespace torvane::test;

constexpr std::uint64_t MB = 1024 * 1024;

// The scan's texts, its tree's order and its report file, each on its own without a scan.
class ScanTextTest : public QObject {
    Q_OBJECT

private slots:
    // Sizes whatever the locale, status lines and the scan's time stamp.
    void sizeAndStatusTexts()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(mbText(1234 * MB + MB / 2), QStringLiteral("1234.50"));
        QCOMPARE(mbText(std::uint64_t(3) * 1024 * 1024 * MB), QStringLiteral("3145728.00"));
        QCOMPARE(mbText(5243), QStringLiteral("0.01"));   // 0.005 MB rounds up
        QLocale::setDefault(QLocale::c());

        // Names never break a line in two, turn the rest of it around or hide bytes that are not UTF-8.
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

    // The order of captions, and the tree's sort agrees with it whatever order the family was added
    // in, keeping the view's state: runs of digits compare by value, a digit against another character as any digit does,
    // leading zeros count for nothing, equal values fall back to plain order.
    void captionOrder()
    {
        const QStringList ordered{
            " [0.00 MB] dir2", " [0.00 MB] dir10", " [1.05 MB] x", " [1.50 MB] x", " [2.00 MB] a", " [2.00 MB] b",
            " [9.00 MB] b", " [010.00 MB] a", " [10.00 MB] a", "0", "00", "A1", "a", "a 1", "a!", "a0", "a00", "a01", "a1",
            "a1.05", "a1.5", "a1b", "a007b", "a8", "a99", "a:", "b99999999999999999999", "b100000000000000000000", "\xc3\xa9" "1"};
        QTreeWidget view;
        FolderTree tree(&view);
        tree.add(QByteArray(), "/", QStringLiteral("/"), FolderTree::Image::Drive);
        for (qsizetype i = ordered.size() - 1; i >= 0; --i) {
            tree.add("/", "/" + QByteArray::number(i), ordered[i], FolderTree::Image::Folder);
            if (i > 0) {
                QVERIFY2(captionLess(ordered[i - 1], ordered[i]), qPrintable(ordered[i]));
                QVERIFY2(!captionLess(ordered[i], ordered[i - 1]), qPrintable(ordered[i]));
            }
            QVERIFY(!captionLess(ordered[i], ordered[i]));
        }
        // Sorting takes the family out and puts it back: what was open stays open, what was closed
        // stays closed, the current item stays current, and nothing is reported as the user's expansion.
        tree.add("/1", "/1/x", QStringLiteral("x"), FolderTree::Image::Folder);
        tree.add("/1/x", "/1/x/y", QStringLiteral("y"), FolderTree::Image::Folder);
        tree.add("/2", "/2/z", QStringLiteral("z"), FolderTree::Image::Folder);
        for (const char* key : {"/", "/1", "/1/x", "/2"})
            tree.find(key)->setExpanded(true);
        tree.find("/2")->setExpanded(false);
        view.setCurrentItem(tree.find("/1/x/y"));
        int expansions = 0;
        QObject::connect(&view, &QTreeWidget::itemExpanded, [&] { ++expansions; });

        tree.sortChildren("/");
        QStringList sorted;
        for (int i = 0; i < tree.find("/")->childCount(); ++i)
            sorted << tree.find("/")->child(i)->text(0);
        QCOMPARE(sorted, ordered);
        QVERIFY(tree.find("/")->isExpanded() && tree.find("/1")->isExpanded() && tree.find("/1/x")->isExpanded());
        QVERIFY(!tree.find("/2")->isExpanded());
        QCOMPARE(view.currentItem(), tree.find("/1/x/y"));
        QCOMPARE(expansions, 0);
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
        QTRY_COMPARE(view.toPlainText(), QStringLiteral("d\nc\na\nb"));   // the view catches up when events run
    }

    void abandonedReportLeavesTheOldOne()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("xmlOutput.xml"));
        writeFile(path, "good");
        {
            ReportWriter abandoned;
            abandoned.begin(path, 2 * MB, "/");
            abandoned.parentFolderOpen(MB, "half");
        }   // never finished
        QCOMPARE(readFile(path), QByteArray("good"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("xmlOutput.xml")});
    }
};

QTEST_MAIN(ScanTextTest)
#include "tst_scantext.moc"
