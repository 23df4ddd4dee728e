// The walk on the hostile tree, checked against the hostile-tree library's sequential walk
// (hostile::measure), which counts by the same rules without threads: every folder's sizes, the
// index, the progress and the largest files, through Walk and through LinuxFileSystem.

#include "WalkFixture.h"

#include <QtTest>

#include <algorithm>
#include <thread>
#include <vector>

using torvane::LinuxFileSystem;
using torvane::Walk;
using torvane::hostile::Oracle;
using namespace torvane::test;

namespace {

// One folder or largest file as a line, so one comparison of two lists checks the order and every field.
QByteArray sizesLine(const std::string& path, std::uint64_t size, std::uint64_t allocated)
{
    return bytes(path) + " " + QByteArray::number(qulonglong(size)) + " " + QByteArray::number(qulonglong(allocated));
}
QByteArray fileLine(const std::string& path, std::uint64_t size, std::uint64_t allocated, std::int64_t mtime)
{
    return sizesLine(path, size, allocated) + " " + QByteArray::number(qlonglong(mtime));
}

// Every folder in byte order of paths, with both its sizes.
QByteArrayList expectedFolders(const Oracle& oracle)
{
    QByteArrayList lines;
    for (const auto& [path, size] : oracle.folderSizes)
        lines << sizesLine(path, size, oracle.folderAllocated.at(path));
    return lines;
}

// The 1,000 largest by size, ties by path, with full paths below `prefix`; `nsec` keeps the
// modification times to the nanosecond (Walk has them so), else to the millisecond.
QByteArrayList expectedLargest(const Oracle& oracle, const std::string& prefix, bool nsec)
{
    std::vector<Oracle::File> files = oracle.files;
    std::sort(files.begin(), files.end(), [](const Oracle::File& a, const Oracle::File& b) {
        return a.size != b.size ? a.size > b.size : a.path < b.path;
    });
    files.resize(std::min<std::size_t>(1000, files.size()));
    QByteArrayList lines;
    for (const Oracle::File& f : files)
        lines << fileLine(prefix + f.path, f.size, f.allocated,
                          nsec ? f.mtimeSec * 1000000000 + f.mtimeNsec : f.mtimeSec * 1000 + f.mtimeNsec / 1000000);
    return lines;
}

} // namespace

class WalkInsightTest : public QObject {
    Q_OBJECT

    // The tree every case here shares, made once: the hostile tree (odd names, links of every
    // kind, hard links across folders, sparse files, a folder of many entries, chains deeper than
    // recursion and longer than PATH_MAX), and one file whose other name is in a folder that sorts
    // before its own by path though not by name ("x-y/f" before "x/g": '-' is below '/').
    Tree mixed_;
    std::uint64_t mixedFiles_ = 0;
    Oracle oracle_;

private slots:
    void initTestCase()
    {
        const torvane::hostile::Manifest m = torvane::hostile::generate(mixed_.root(), 20240607, torvane::hostile::Scale::Small);
        mixed_.dir("x");
        mixed_.dir("x-y");
        mixed_.file("x/g", 40000);
        QVERIFY(::link(mixed_.at("x/g").c_str(), mixed_.at("x-y/f").c_str()) == 0);
        mixedFiles_ = m.entries - (m.folders.size() - 1) + 2;
        oracle_ = torvane::hostile::measure(mixed_.root());
    }

    void walkMatchesOracle()
    {
        const QByteArrayList expected = expectedFolders(oracle_);
        const std::uint64_t allocated = allocatedOnDisk(mixed_);

        for (const int threads : {1, 2, 5, 8, 2, 5, 8, 2, 5, 8}) {
            Walk walk(mixed_.root(), threads);
            walk.wait();
            QVERIFY(walk.finished());
            QCOMPARE(walk.rootError(), 0);
            // Every folder, the odd names included, is listed and looked up with the oracle's sizes.
            QByteArrayList listed, lookedUp;
            for (const Walk::FolderRecord& r : walk.folders()) {
                listed << sizesLine(r.path, r.size, r.allocated);
                lookedUp << sizesLine(r.path, found(walk, r.path), walk.sizeOf(r.path).allocated);
            }
            QCOMPARE(listed, expected);
            QCOMPARE(lookedUp, expected);

            const Walk::Totals totals = walk.totals();
            QCOMPARE(totals.folders, std::uint64_t(expected.size()));
            QCOMPARE(totals.bytes, oracle_.folderSizes.at(""));
            QCOMPARE(totals.allocated, oracle_.folderAllocated.at(""));
            QCOMPARE(totals.bytesAllocated, allocated);
            QCOMPARE(totals.files, mixedFiles_);
            // 40 bytes of node and 4 of access time per folder, and the names.
            QVERIFY(totals.indexBytes <= 44 * totals.folders + 2 * 4096);

            // The rules spelled out, so an oracle mistaken the same way cannot hide them: a file of
            // several names counts in the folder of the name whose path sorts first, a sparse file at
            // its apparent size, a link as itself and never as what it points to.
            QCOMPARE(found(walk, "x-y"), 40000u);
            QCOMPARE(found(walk, "x"), 0u);
            QCOMPARE(found(walk, "links/a"), 0u);   // owned by "big/zz hard link to links-a-orig"
            QCOMPARE(found(walk, "sparse"), std::uint64_t(2112) << 30);
            QVERIFY(walk.sizeOf("sparse").allocated < 1 << 20);
            QCOMPARE(int(walk.sizeOf("links/to-folder").state), int(Walk::State::Missing));
        }
    }

    void largestAndIndexMatchOracle()
    {
        const QByteArrayList largest = expectedLargest(oracle_, "", true);
        QCOMPARE(largest.size(), 1000);
        // The cut falls inside a tie (the empty files of the folder of many entries), where the
        // path decides.
        QVERIFY(largest[998].contains(" 0 0 ") && largest[999].contains(" 0 0 "));

        for (const int threads : {1, 3, 8}) {
            Walk walk(mixed_.root(), threads);
            QVERIFY(walk.largest().empty() || walk.finished());
            walk.wait();
            QByteArrayList got;
            for (const Walk::LargeFile& f : walk.largest())
                got << fileLine(f.path, f.size, f.allocated, f.mtimeSec * 1000000000 + f.mtimeNsec);
            QCOMPARE(got, largest);
            QCOMPARE(walk.largest(3).size(), std::size_t(3));
            QCOMPARE(walk.largest(3)[2].path, walk.largest()[2].path);
        }

        // Both sizes of every folder, and the largest files with full paths, as the program asks for them.
        const QByteArray root = bytes(mixed_.root());
        LinuxFileSystem fs;
        fs.beginWalk(root);
        QCOMPARE(sizeWhenReady(fs, root), oracle_.folderSizes.at(""));
        QVERIFY(fs.walkProgress().finished);

        QByteArrayList indexed;
        for (const torvane::IndexedFolder& f : fs.indexedFolders())
            indexed << sizesLine(f.path.toStdString(), f.sizes.apparent, f.sizes.allocated);
        QCOMPARE(indexed, expectedFolders(oracle_));
        QByteArrayList listed;
        for (const torvane::LargeFile& f : fs.largestFiles())
            listed << fileLine(f.path.toStdString(), f.apparent, f.allocated, f.modified.toMSecsSinceEpoch());
        QCOMPARE(listed, expectedLargest(oracle_, mixed_.root() + "/", false));
    }

    void replacedAndAbandonedWalks()
    {
        Tree small;
        small.dir("s");
        small.file("s/f", 77);

        LinuxFileSystem fs;
        for (int i = 0; i < 5; ++i) {
            fs.beginWalk(bytes(mixed_.root()));
            fs.beginWalk(bytes(small.root()));   // replaces the running walk
            QCOMPARE(sizeWhenReady(fs, bytes(small.root())), 77u);
        }
        fs.beginWalk(bytes(mixed_.root()));
        QCOMPARE(sizeWhenReady(fs, bytes(mixed_.root())), oracle_.folderSizes.at(""));
        for (int i = 0; i < 5; ++i) {
            LinuxFileSystem leaving;
            leaving.beginWalk(bytes(mixed_.root()));
            std::this_thread::sleep_for(std::chrono::milliseconds(i));
        }   // destroyed mid-walk: the workers stop and are joined
        Walk unreadable("/no/such/folder", 2);
        QVERIFY(unreadable.finished());
        QCOMPARE(unreadable.rootError(), ENOENT);
        QCOMPARE(int(unreadable.sizeOf("").state), int(Walk::State::Failed));
    }
};

QTEST_GUILESS_MAIN(WalkInsightTest)
#include "tst_walkinsight.moc"
