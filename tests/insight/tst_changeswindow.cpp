#include "insight/ChangesWindow.h"
#include "SnapshotMaker.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace torvane;
using namespace torvane::test;

namespace {

constexpr std::uint64_t MB = 1024 * 1024;
const QByteArray kVolume = "uuid:1234";

// Three earlier scans and the current one, all saved as the program saves them after a scan.
struct Scans {
    QTemporaryDir data;
    SnapshotStore store{data.path()};
    std::shared_ptr<const Snapshot> current = std::make_shared<const Snapshot>(
        makeSnapshot(kVolume, 4000, {{"", 120 * MB + MB / 2},
                                     {"big", 52 * MB + MB / 2},
                                     {"big/cache", 42 * MB + MB / 2},
                                     {"big/keep", 10 * MB},
                                     {"new", 8 * MB},
                                     {"same", 5 * MB},
                                     {"\xff\nodd", 2 * MB}}));

    Scans()
    {
        store.save(makeSnapshot(kVolume, 1000, {{"", 90 * MB}, {"big", 90 * MB}}));
        store.save(makeSnapshot(kVolume, 2000, {{"", 95 * MB}}));
        store.save(makeSnapshot(kVolume, 3000, {{"", 100 * MB},
                                                {"big", 40 * MB},
                                                {"big/cache", 30 * MB},
                                                {"big/keep", 10 * MB},
                                                {"gone", 3 * MB},
                                                {"same", 5 * MB},
                                                {"\xff\nodd", 1 * MB}}));
        store.save(*current);
        store.save(makeSnapshot("uuid:other", 3500, {{"", 1}}));
    }
};

struct Window {
    std::vector<QByteArray> shown, opened;
    QStringList lines;
    ChangesWindow window;
    QComboBox* choice = window.findChild<QComboBox*>(QStringLiteral("snapshotChoice"));
    QTreeWidget* tree = window.findChild<QTreeWidget*>(QStringLiteral("changesTree"));
    QLabel* total = window.findChild<QLabel*>(QStringLiteral("changesTotal"));
    QLabel* message = window.findChild<QLabel*>(QStringLiteral("changesMessage"));
    QPushButton* showInTree = window.findChild<QPushButton*>(QStringLiteral("showInTree"));
    QPushButton* openFolder = window.findChild<QPushButton*>(QStringLiteral("openFolder"));

    explicit Window(const SnapshotStore& store)
        : window(store, {[this](const QByteArray& p) { shown.push_back(p); },
                         [this](const QByteArray& p) { opened.push_back(p); },
                         [this](const QString& line) { lines << line; }})
    {
        window.show();
    }
};

QStringList row(const QTreeWidgetItem* item)
{
    return {item->text(0), item->text(1), item->text(2), item->text(3)};
}

} // namespace

class ChangesWindowTest : public QObject {
    Q_OBJECT

private slots:
    void listsEarlierScansAndTheChangedFolders()
    {
        Scans scans;
        Window w(scans.store);
        QVERIFY(w.window.isWindow() && !w.window.isModal());
        w.window.setCurrent(scans.current, "/mnt/vol");

        // The current scan's own file and other volumes' files are not choices.
        QCOMPARE(w.choice->count(), 3);
        QCOMPARE(w.choice->currentIndex(), 0);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(w.choice->itemData(i).toLongLong(), 3000 - 1000 * i);

        QTRY_VERIFY(!w.tree->isHidden());
        QVERIFY(w.message->isHidden());
        QCOMPARE(w.total->text(), QStringLiteral("Total change: +20.50 MB (from 100.00 MB to 120.50 MB)"));
        QCOMPARE(w.tree->topLevelItemCount(), 4);
        QCOMPARE(row(w.tree->topLevelItem(0)), (QStringList{"+12.50 MB", "40.00 MB", "52.50 MB", "big"}));
        QCOMPARE(row(w.tree->topLevelItem(1)), (QStringList{"+8.00 MB", "(new)", "8.00 MB", "new"}));
        QCOMPARE(row(w.tree->topLevelItem(2)), (QStringList{"-3.00 MB", "3.00 MB", "(gone)", "gone"}));
        QCOMPARE(row(w.tree->topLevelItem(3)), (QStringList{"+1.00 MB", "1.00 MB", "2.00 MB", QString::fromUtf8("\uFFFD\\nodd")}));

        // Levels are filled when opened; only a folder with changes below it shows the mark.
        QTreeWidgetItem* big = w.tree->topLevelItem(0);
        QCOMPARE(big->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        QCOMPARE(w.tree->topLevelItem(2)->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
        QCOMPARE(big->childCount(), 0);
        big->setExpanded(true);
        QCOMPARE(big->childCount(), 1);
        QCOMPARE(row(big->child(0)), (QStringList{"+12.50 MB", "30.00 MB", "42.50 MB", "cache"}));
        big->setExpanded(false);
        big->setExpanded(true);
        QCOMPARE(big->childCount(), 1);

        // Another earlier scan.
        w.choice->setCurrentIndex(2);
        QTRY_COMPARE(w.total->text(), QStringLiteral("Total change: +30.50 MB (from 90.00 MB to 120.50 MB)"));
        QCOMPARE(w.tree->topLevelItemCount(), 4);
        QCOMPARE(row(w.tree->topLevelItem(0)), (QStringList{"-37.50 MB", "90.00 MB", "52.50 MB", "big"}));
        QCOMPARE(row(w.tree->topLevelItem(2)), (QStringList{"+5.00 MB", "(new)", "5.00 MB", "same"}));
    }

    void showInTreeAndOpenFolderGetAbsolutePaths()
    {
        Scans scans;
        Window w(scans.store);
        w.window.setCurrent(scans.current, "/mnt/vol");
        QTRY_VERIFY(!w.tree->isHidden());
        QVERIFY(!w.showInTree->isEnabled());

        w.tree->setCurrentItem(w.tree->topLevelItem(3));
        QVERIFY(w.showInTree->isEnabled());
        QTest::mouseClick(w.showInTree, Qt::LeftButton);
        w.tree->topLevelItem(0)->setExpanded(true);
        w.tree->setCurrentItem(w.tree->topLevelItem(0)->child(0));
        QTest::mouseClick(w.openFolder, Qt::LeftButton);
        const QList<QAction*> menu = w.tree->actions();
        QCOMPARE(menu.size(), 2);
        QCOMPARE(menu[0]->text(), QStringLiteral("Show in Tree"));
        menu[0]->trigger();
        QCOMPARE(w.shown, (std::vector<QByteArray>{"/mnt/vol/\xff\nodd", "/mnt/vol/big/cache"}));
        QCOMPARE(w.opened, (std::vector<QByteArray>{"/mnt/vol/big/cache"}));

        // A gone folder is nowhere to show or open.
        w.tree->setCurrentItem(w.tree->topLevelItem(2));
        QVERIFY(!w.showInTree->isEnabled() && !w.openFolder->isEnabled() && !menu[0]->isEnabled());
        menu[1]->trigger();
        QCOMPARE(w.opened.size(), std::size_t(1));
    }

    void saysSoWhenThereIsNothingToCompare()
    {
        Scans scans;
        Window w(scans.store);
        QVERIFY(w.tree->isHidden());
        QVERIFY(w.message->text().startsWith(QStringLiteral("No scan yet")));

        // The first scan of a volume has nothing before it.
        QTemporaryDir empty;
        Window first{SnapshotStore(empty.path())};
        first.window.setCurrent(scans.current, "/mnt/vol");
        QTRY_VERIFY(first.message->text().startsWith(QStringLiteral("No earlier scan")));
        QVERIFY(first.tree->isHidden());
        QCOMPARE(first.choice->count(), 0);

        // The same apparent size as before, one more megabyte on disk.
        Window same(scans.store);
        same.window.setCurrent(std::make_shared<const Snapshot>(makeSnapshot(kVolume, 3500, {{"", 95 * MB, 96 * MB}})), "/");
        same.choice->setCurrentIndex(1);
        QTRY_COMPARE(same.message->text(), QStringLiteral("No folder changed."));
        QCOMPARE(same.total->text(), QStringLiteral("Total change: 0.00 MB (from 95.00 MB to 95.00 MB)"));
        same.window.setSizeKind(SizeKind::Allocated);
        QTRY_COMPARE(same.total->text(), QStringLiteral("Total change: +1.00 MB (from 95.00 MB to 96.00 MB)"));
    }

    void aDamagedSnapshotGivesOneStatusLine()
    {
        Scans scans;
        QFile latest(scans.store.list(kVolume).at(1).file);
        QVERIFY(latest.resize(latest.size() / 2));
        Window w(scans.store);
        w.window.setCurrent(scans.current, "/mnt/vol");
        QTRY_COMPARE(w.lines.size(), 1);
        QVERIFY2(w.lines[0].endsWith(QStringLiteral("was skipped: truncated")), qPrintable(w.lines[0]));
        QCOMPARE(w.message->text(), w.lines[0]);
        QVERIFY(w.tree->isHidden());
        // The others still open.
        w.choice->setCurrentIndex(1);
        QTRY_VERIFY(!w.tree->isHidden());
        QCOMPARE(w.lines.size(), 1);
    }
};

QTEST_MAIN(ChangesWindowTest)
#include "tst_changeswindow.moc"
