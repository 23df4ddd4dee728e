#include "insight/ChangesWindow.h"
#include "insight/SnapshotComparison.h"
#include "insight/SnapshotStore.h"
#include "SnapshotMaker.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <random>

using namespace torvane;
using namespace torvane::test;

namespace {

constexpr std::uint64_t kMax = ~std::uint64_t(0);

// Before and after: one folder grew, one shrank, one went with its subfolder, one came with its
// subfolder, one kept its size, and "box" kept its size while "old name" in it was renamed.
const Snapshot kOlder = makeSnapshot("v", 1, {{"", 100, 200}, {"box", 33, 40}, {"box/old name", 33, 40},
                                              {"gone", 7, 8}, {"gone/inner", 3, 4}, {"grown", 10, 12},
                                              {"same", 30, 32}, {"same/kid", 30, 32},
                                              {"shrunk", 20, 24}, {"shrunk/\xff", 20, 24}});
const Snapshot kNewer = makeSnapshot("v", 2, {{"", 101, 210}, {"box", 33, 40}, {"box/new name", 33, 40},
                                              {"grown", 15, 16}, {"new", 8, 9}, {"new/inner", 2, 4},
                                              {"same", 30, 50}, {"same/kid", 30, 50},
                                              {"shrunk", 5, 8}, {"shrunk/\xff", 5, 8}});

// The listed children of a folder as "name old>new kind", with "+" when changes lie below it
// and the path added when it is not the parent's path and the name.
QByteArrayList listed(const SnapshotComparison& comparison, const QByteArray& path)
{
    static const char* const kinds[] = {"changed", "new", "gone"};
    QByteArrayList out;
    for (const FolderChange& c : comparison.children(path)) {
        QByteArray line = c.name + ' ' + QByteArray::number(c.oldSize) + '>' + QByteArray::number(c.newSize) + ' ';
        line += kinds[int(c.kind)] + QByteArray(c.hasChangedChildren ? "+" : "");
        if (c.path != (path.isEmpty() ? c.name : path + '/' + c.name))
            line += " at " + c.path;
        out << line;
    }
    return out;
}

constexpr std::uint64_t MB = 1024 * 1024;
const QByteArray kVolume = "uuid:1234";

// Three earlier scans and the current one, all saved as the program saves them after a scan.
struct Scans {
    QTemporaryDir data;
    SnapshotStore store{data.path()};
    std::shared_ptr<const Snapshot> current = std::make_shared<const Snapshot>(
        makeSnapshot(kVolume, 4000, {{"", 120 * MB + MB / 2}, {"big", 52 * MB + MB / 2}, {"big/cache", 42 * MB + MB / 2},
                                     {"big/keep", 10 * MB}, {"new", 8 * MB}, {"same", 5 * MB}, {"\xff\nodd", 2 * MB}}));

    Scans()
    {
        store.save(makeSnapshot(kVolume, 1000, {{"", 90 * MB}, {"big", 90 * MB}}));
        store.save(makeSnapshot(kVolume, 2000, {{"", 95 * MB}}));
        store.save(makeSnapshot(kVolume, 3000, {{"", 100 * MB}, {"big", 40 * MB}, {"big/cache", 30 * MB}, {"big/keep", 10 * MB},
                                                {"gone", 3 * MB}, {"same", 5 * MB}, {"\xff\nodd", 1 * MB}}));
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

// The rows below an item as "change | old | new | name".
QStringList rows(const QTreeWidgetItem* parent)
{
    QStringList out;
    for (int i = 0; i < parent->childCount(); ++i) {
        const QTreeWidgetItem* item = parent->child(i);
        out << QStringList{item->text(0), item->text(1), item->text(2), item->text(3)}.join(QStringLiteral(" | "));
    }
    return out;
}

} // namespace

class ChangesTest : public QObject {
    Q_OBJECT

private slots:
    void comparisonListsWhatChangedFromAnyInput()
    {
        const SnapshotComparison apparent(kOlder, kNewer, SizeKind::Apparent);
        QCOMPARE(apparent.total().change(), 1);
        QVERIFY(apparent.total().hasChangedChildren);
        // Largest change first; "same" is left out; the rename keeps "box" listed at no change.
        QCOMPARE(listed(apparent, ""), (QByteArrayList{"shrunk 20>5 changed+", "new 0>8 new+", "gone 7>0 gone+",
                                                       "grown 10>15 changed", "box 33>33 changed+"}));
        // Equal changes in byte order of names.
        QCOMPARE(listed(apparent, "box"), (QByteArrayList{"new name 0>33 new", "old name 33>0 gone"}));
        QCOMPARE(listed(apparent, "gone") + listed(apparent, "new") + listed(apparent, "shrunk"),
                 (QByteArrayList{"inner 3>0 gone", "inner 0>2 new", "\xff 20>5 changed"}));
        QVERIFY(listed(apparent, "same").isEmpty() && listed(apparent, "no such folder").isEmpty());
        QCOMPARE(apparent.listedCount(), std::size_t(10));
        QVERIFY(apparent.find("same") && !apparent.find("nowhere"));

        // "same" grew on disk only.
        const SnapshotComparison allocated(kOlder, kNewer, SizeKind::Allocated);
        QCOMPARE(allocated.total().change(), 10);
        QCOMPARE(listed(allocated, ""), (QByteArrayList{"same 32>50 changed+", "shrunk 24>8 changed+", "new 0>9 new+",
                                                        "gone 8>0 gone+", "grown 12>16 changed", "box 40>40 changed+"}));

        // A snapshot read from a file may be in any order and may lack folders between others.
        Snapshot older = kOlder;
        Snapshot newer = kNewer;
        std::mt19937 shuffle(7);
        std::shuffle(older.folders.begin(), older.folders.end(), shuffle);
        std::shuffle(newer.folders.begin(), newer.folders.end(), shuffle);
        const SnapshotComparison shuffled(older, newer, SizeKind::Apparent);
        for (const QByteArray path : {"", "box", "gone", "new", "shrunk"})
            QCOMPARE(listed(shuffled, path), listed(apparent, path));

        // Without "a/b", "a/b/c" is listed under "a" by the rest of its path.
        const SnapshotComparison gaps(makeSnapshot("v", 1, {{"", 1}, {"a", 1}}),
                                      makeSnapshot("v", 2, {{"", 2}, {"a", 2}, {"a/b/c", 1}, {"a/b/c/d", 1}}),
                                      SizeKind::Apparent);
        QCOMPARE(listed(gaps, "a"), QByteArrayList{"b/c 0>1 new+"});
        QCOMPARE(listed(gaps, "a/b/c"), QByteArrayList{"d 0>1 new"});

        // Changes beyond the range of a signed size are held at its ends.
        const SnapshotComparison extremes(makeSnapshot("v", 1, {{"", kMax}, {"a", kMax}, {"b", 0}}),
                                          makeSnapshot("v", 2, {{"", 0}, {"a", 0}, {"b", kMax}}), SizeKind::Apparent);
        const std::vector<FolderChange> children = extremes.children("");
        QCOMPARE(children.at(0).magnitude(), kMax);
        QCOMPARE(children.at(0).change(), std::numeric_limits<std::int64_t>::min() + 1);
        QCOMPARE(children.at(1).change(), std::numeric_limits<std::int64_t>::max());
    }

    void windowListsEarlierScansAndTheChangedFoldersToShowAndOpen()
    {
        Scans scans;
        Window w(scans.store);
        w.window.setCurrent(scans.current, "/mnt/vol");

        // The current scan's own file and other volumes' files are not choices.
        QCOMPARE(w.choice->count(), 3);
        QCOMPARE(w.choice->currentIndex(), 0);

        QTRY_VERIFY(!w.tree->isHidden());
        QCOMPARE(w.total->text(), QStringLiteral("Total change: +20.50 MB (from 100.00 MB to 120.50 MB)"));
        QCOMPARE(rows(w.tree->invisibleRootItem()),
                 (QStringList{"+12.50 MB | 40.00 MB | 52.50 MB | big", "+8.00 MB | (new) | 8.00 MB | new",
                              "-3.00 MB | 3.00 MB | (gone) | gone", "+1.00 MB | 1.00 MB | 2.00 MB | \uFFFD\\nodd"}));

        // Levels are filled when opened; only a folder with changes below it shows the mark.
        QTreeWidgetItem* big = w.tree->topLevelItem(0);
        QCOMPARE(big->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        QCOMPARE(w.tree->topLevelItem(2)->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
        QCOMPARE(big->childCount(), 0);
        big->setExpanded(true);
        big->setExpanded(false);
        big->setExpanded(true);
        QCOMPARE(rows(big), QStringList{"+12.50 MB | 30.00 MB | 42.50 MB | cache"});

        // Show and open get absolute paths; a gone folder is nowhere to show or open.
        QVERIFY(!w.showInTree->isEnabled());
        w.tree->setCurrentItem(w.tree->topLevelItem(3));
        QVERIFY(w.showInTree->isEnabled());
        QTest::mouseClick(w.showInTree, Qt::LeftButton);
        w.tree->setCurrentItem(big->child(0));
        QTest::mouseClick(w.openFolder, Qt::LeftButton);
        const QList<QAction*> menu = w.tree->actions();   // show in tree, open folder
        menu.at(0)->trigger();
        QCOMPARE(w.shown, (std::vector<QByteArray>{"/mnt/vol/\xff\nodd", "/mnt/vol/big/cache"}));
        QCOMPARE(w.opened, (std::vector<QByteArray>{"/mnt/vol/big/cache"}));
        w.tree->setCurrentItem(w.tree->topLevelItem(2));
        QVERIFY(!w.showInTree->isEnabled() && !w.openFolder->isEnabled());
        QVERIFY(!menu.at(0)->isEnabled() && !menu.at(1)->isEnabled());

        w.choice->setCurrentIndex(2);
        QTRY_COMPARE(w.total->text(), QStringLiteral("Total change: +30.50 MB (from 90.00 MB to 120.50 MB)"));
    }

    void windowSaysSoWhenThereIsNothingToCompareOrTheSnapshotIsDamaged()
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

        // The same apparent size as before, one more megabyte on disk.
        Window same(scans.store);
        same.window.setCurrent(std::make_shared<const Snapshot>(makeSnapshot(kVolume, 3500, {{"", 95 * MB, 96 * MB}})), "/");
        same.choice->setCurrentIndex(1);
        QTRY_COMPARE(same.message->text(), QStringLiteral("No folder changed."));
        QCOMPARE(same.total->text(), QStringLiteral("Total change: 0.00 MB (from 95.00 MB to 95.00 MB)"));
        same.window.setSizeKind(SizeKind::Allocated);
        QTRY_COMPARE(same.total->text(), QStringLiteral("Total change: +1.00 MB (from 95.00 MB to 96.00 MB)"));

        // A damaged snapshot is skipped with one status line.
        QFile latest(scans.store.list(kVolume).at(1).file);
        QVERIFY(latest.resize(latest.size() / 2));
        w.window.setCurrent(scans.current, "/mnt/vol");
        QTRY_COMPARE(w.lines.size(), 1);
        QVERIFY2(w.lines[0].endsWith(QStringLiteral("was skipped: truncated")), qPrintable(w.lines[0]));
        QCOMPARE(w.message->text(), w.lines[0]);
        QVERIFY(w.tree->isHidden());
        w.choice->setCurrentIndex(1);
        QTRY_VERIFY(!w.tree->isHidden());
        QCOMPARE(w.lines.size(), 1);
    }
};

QTEST_MAIN(ChangesTest)
#include "tst_changes.moc"
