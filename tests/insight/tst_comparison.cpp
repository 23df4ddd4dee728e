#include "insight/SnapshotComparison.h"
#include "SnapshotMaker.h"

#include <QTest>

#include <algorithm>
#include <random>

using namespace torvane;
using namespace torvane::test;

namespace {

using Kind = FolderChange::Kind;

// Before and after: one folder grew, one shrank, one went with its subfolder, one came with its
// subfolder, one kept its size, and "box" kept its size while "old name" in it was renamed.
const Snapshot kOlder = makeSnapshot("v", 1, {{"", 100, 200},
                                              {"box", 33, 40},
                                              {"box/old name", 33, 40},
                                              {"gone", 7, 8},
                                              {"gone/inner", 3, 4},
                                              {"grown", 10, 12},
                                              {"same", 30, 32},
                                              {"same/kid", 30, 32},
                                              {"shrunk", 20, 24},
                                              {"shrunk/\xff", 20, 24}});
const Snapshot kNewer = makeSnapshot("v", 2, {{"", 101, 210},
                                              {"box", 33, 40},
                                              {"box/new name", 33, 40},
                                              {"grown", 15, 16},
                                              {"new", 8, 9},
                                              {"new/inner", 2, 4},
                                              {"same", 30, 50},
                                              {"same/kid", 30, 50},
                                              {"shrunk", 5, 8},
                                              {"shrunk/\xff", 5, 8}});

struct Expected {
    QByteArray name;
    std::uint64_t oldSize;
    std::uint64_t newSize;
    Kind kind;
    bool hasChangedChildren;
};

void compareChildren(const SnapshotComparison& comparison, const QByteArray& path, const std::vector<Expected>& expected)
{
    const std::vector<FolderChange> children = comparison.children(path);
    QCOMPARE(children.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const FolderChange& got = children[i];
        const Expected& want = expected[i];
        QCOMPARE(got.name, want.name);
        QCOMPARE(got.path, path.isEmpty() ? want.name : path + '/' + want.name);
        QCOMPARE(got.oldSize, want.oldSize);
        QCOMPARE(got.newSize, want.newSize);
        QCOMPARE(got.kind, want.kind);
        QCOMPARE(got.hasChangedChildren, want.hasChangedChildren);
        QCOMPARE(got.change(), qint64(want.newSize) - qint64(want.oldSize));
    }
}

} // namespace

class ComparisonTest : public QObject {
    Q_OBJECT

private slots:
    void apparentSizes()
    {
        const SnapshotComparison comparison(kOlder, kNewer, SizeKind::Apparent);
        const FolderChange total = comparison.total();
        QCOMPARE(total.path, QByteArray());
        QCOMPARE(total.change(), 1);
        QVERIFY(total.hasChangedChildren);
        // Largest change first; "same" is left out; the rename keeps "box" listed at no change.
        compareChildren(comparison, "",
                        {{"shrunk", 20, 5, Kind::Changed, true},
                         {"new", 0, 8, Kind::New, true},
                         {"gone", 7, 0, Kind::Gone, true},
                         {"grown", 10, 15, Kind::Changed, false},
                         {"box", 33, 33, Kind::Changed, true}});
        // Equal changes in byte order of names.
        compareChildren(comparison, "box", {{"new name", 0, 33, Kind::New, false}, {"old name", 33, 0, Kind::Gone, false}});
        compareChildren(comparison, "gone", {{"inner", 3, 0, Kind::Gone, false}});
        compareChildren(comparison, "new", {{"inner", 0, 2, Kind::New, false}});
        compareChildren(comparison, "shrunk", {{"\xff", 20, 5, Kind::Changed, false}});
        compareChildren(comparison, "same", {});
        compareChildren(comparison, "no such folder", {});
        QCOMPARE(comparison.listedCount(), std::size_t(10));
        QVERIFY(comparison.find("same"));
        QVERIFY(!comparison.find("nowhere"));
    }

    void allocatedSizes()
    {
        const SnapshotComparison comparison(kOlder, kNewer, SizeKind::Allocated);
        QCOMPARE(comparison.total().change(), 10);
        QCOMPARE(comparison.total().oldSize, std::uint64_t(200));
        // "same" grew on disk only.
        compareChildren(comparison, "",
                        {{"same", 32, 50, Kind::Changed, true},
                         {"shrunk", 24, 8, Kind::Changed, true},
                         {"new", 0, 9, Kind::New, true},
                         {"gone", 8, 0, Kind::Gone, true},
                         {"grown", 12, 16, Kind::Changed, false},
                         {"box", 40, 40, Kind::Changed, true}});
    }

    // A snapshot read from a file may be in any order and may lack folders between others.
    void orderAndGapsOfTheInputDoNotMatter()
    {
        Snapshot older = kOlder;
        Snapshot newer = kNewer;
        std::mt19937 shuffle(7);
        std::shuffle(older.folders.begin(), older.folders.end(), shuffle);
        std::shuffle(newer.folders.begin(), newer.folders.end(), shuffle);
        const SnapshotComparison shuffled(older, newer, SizeKind::Apparent);
        const SnapshotComparison sorted(kOlder, kNewer, SizeKind::Apparent);
        for (const QByteArray path : {"", "box", "gone", "new", "shrunk"}) {
            const std::vector<FolderChange> a = shuffled.children(path), b = sorted.children(path);
            QCOMPARE(a.size(), b.size());
            for (std::size_t i = 0; i < a.size(); ++i)
                QCOMPARE(a[i].path, b[i].path);
        }

        // Without "a/b", "a/b/c" is listed under "a" by the rest of its path.
        const SnapshotComparison gaps(makeSnapshot("v", 1, {{"", 1}, {"a", 1}}),
                                      makeSnapshot("v", 2, {{"", 2}, {"a", 2}, {"a/b/c", 1}, {"a/b/c/d", 1}}),
                                      SizeKind::Apparent);
        compareChildren(gaps, "a", {{"b/c", 0, 1, Kind::New, true}});
        compareChildren(gaps, "a/b/c", {{"d", 0, 1, Kind::New, false}});
    }

    void sizesAtTheEndsOfTheRange()
    {
        constexpr std::uint64_t top = ~std::uint64_t(0);
        const SnapshotComparison comparison(makeSnapshot("v", 1, {{"", top}, {"a", top}, {"b", 0}}),
                                            makeSnapshot("v", 2, {{"", 0}, {"a", 0}, {"b", top}}), SizeKind::Apparent);
        const std::vector<FolderChange> children = comparison.children("");
        QCOMPARE(children.size(), std::size_t(2));
        QCOMPARE(children[0].magnitude(), top);
        QCOMPARE(children[0].change(), std::numeric_limits<std::int64_t>::min() + 1);
        QCOMPARE(children[1].change(), std::numeric_limits<std::int64_t>::max());
        QCOMPARE(comparison.total().kind, Kind::Changed);
    }

    void identicalSnapshotsListNothing()
    {
        const SnapshotComparison comparison(kOlder, kOlder, SizeKind::Apparent);
        QCOMPARE(comparison.listedCount(), std::size_t(0));
        QCOMPARE(comparison.total().change(), 0);
        QVERIFY(!comparison.total().hasChangedChildren);
        QVERIFY(comparison.children("").empty());
    }
};

QTEST_GUILESS_MAIN(ComparisonTest)
#include "tst_comparison.moc"
