// The walk on one mixed tree, checked against the hostile-tree library's sequential walk
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

// A tree of many folders below `top` (which exists; "" is the root) where a good share of the
// files has further names elsewhere in it. Returns how many names of files it made.
int makeLinkedForest(const Tree& t, const std::string& top, int folders, int filesPerFolder)
{
    const auto in = [](const std::string& folder, const std::string& name) {
        return folder.empty() ? name : folder + "/" + name;
    };
    std::vector<std::string> dirs{top};
    for (int i = 1; i < folders; ++i) {
        dirs.push_back(in(dirs[std::size_t((i - 1) / 4)], (i % 3 ? "d" : "d-") + std::to_string(i)));
        t.dir(dirs.back());
    }
    int n = 0;
    int links = 0;
    for (const std::string& d : dirs) {
        for (int k = 0; k < filesPerFolder; ++k, ++n) {
            const std::string rel = in(d, "f" + std::to_string(k));
            t.file(rel, std::uint64_t(n * 37 % 5000), true);
            if (n % 5 == 0) {
                t.link(rel, in(dirs[std::size_t(n * 7919 % folders)], "L" + std::to_string(n)));
                ++links;
            }
            if (n % 11 == 0) {
                t.link(rel, in(d, "same" + std::to_string(n)));
                ++links;
            }
        }
    }
    return n + links;
}

// Odd names, links of both kinds, a sparse file, a folder of many entries, a forest of hard links
// across folders, and more files than the largest-files list keeps, many of them tied on size at
// its cut. Returns how many names of files it made.
int makeMixedTree(const Tree& t)
{
    for (const char* folder : {"name with spaces & ' <", "new\nline", "\xff\xfe bytes", "empty", "empty2", "empty2/inner",
                               "sparse", "links", "links/a", "links/b", "x", "x-y", "syms", "many", "forest", "ties", "ties-c"})
        t.dir(folder);
    t.file("plain.txt", 1000);
    t.file("name with spaces & ' </file", 123);
    t.file("new\nline/f\nile", 70001);
    t.file("\xff\xfe bytes/\xff", 50003);
    t.file("sparse/big.img", std::uint64_t(1) << 40, true);
    // The second largest file has three names in two folders: links/a/orig sorts first and owns it.
    t.file("links/a/orig", 3 << 20);
    t.link("links/a/orig", "links/b/second");
    t.link("links/a/orig", "links/a/same");
    const timespec mtime[2] = {{0, UTIME_OMIT}, {1234567890, 123456789}};
    if (::utimensat(AT_FDCWD, t.at("links/a/orig").c_str(), mtime, 0) != 0)
        qFatal("utimensat: %s", std::strerror(errno));
    // "x-y/f" sorts before "x/g" ('-' is below '/'), though "x" sorts before "x-y" as a name.
    t.file("x/g", 40000);
    t.link("x/g", "x-y/f");
    t.symlink("../plain.txt", "syms/file");
    t.symlink("../links", "syms/folder");
    t.symlink(".", "syms/loop");
    t.symlink("nowhere", "syms/dangling");
    for (int i = 0; i < 50000; ++i)
        t.file("many/entry " + std::to_string(i), std::uint64_t(i % 97), true);
    // 1,500 files of one size, 150 a folder, made in shuffled order so no walk meets them in path
    // order: the 1,000th place falls inside a folder, and a name met late must still push out a
    // larger name of the same size. Smaller files below them stay out.
    for (int f = 0; f < 10; ++f) {
        const std::string folder = "ties/t" + std::to_string(f);
        t.dir(folder);
        for (int k = 0; k < 150; ++k) {
            const int i = k * 7 % 150;
            t.file(folder + "/n" + std::to_string(100 + i), 5000, i % 2 == 0);
        }
    }
    for (int i = 0; i < 300; ++i)
        t.file("ties-c/s" + std::to_string(i), std::uint64_t(i) * 13, i % 3 == 0);
    return 1 + 1 + 1 + 1 + 1 + 3 + 2 + 4 + 50000 + 1500 + 300 + makeLinkedForest(t, "forest", 400, 12);
}

std::vector<Oracle::File> expectedLargest(const Oracle& oracle)
{
    std::vector<Oracle::File> files = oracle.files;
    std::sort(files.begin(), files.end(), [](const Oracle::File& a, const Oracle::File& b) {
        return a.size != b.size ? a.size > b.size : a.path < b.path;
    });
    files.resize(std::min<std::size_t>(1000, files.size()));
    return files;
}

} // namespace

class WalkInsightTest : public QObject {
    Q_OBJECT

    // The tree every case here shares, made once.
    Tree mixed_;
    int mixedFiles_ = 0;
    Oracle oracle_;

private slots:
    void initTestCase()
    {
        mixedFiles_ = makeMixedTree(mixed_);
        oracle_ = torvane::hostile::measure(mixed_.root());
    }
    void walkMatchesOracle();
    void largestMatchOracle();
    void fileSystemMatchesOracle();
    void replacedAndAbandonedWalks();
};

// Walked again and again on different numbers of threads.
void WalkInsightTest::walkMatchesOracle()
{
    const auto& expected = oracle_.folderSizes;
    const std::uint64_t allocated = allocatedOnDisk(mixed_);
    QVERIFY(allocated >= std::uint64_t(3 << 20) && allocated < (std::uint64_t(1) << 30));

    std::vector<std::string> order;
    for (const int threads : {1, 2, 5, 8, 2, 5, 8, 2, 5, 8}) {
        Walk walk(mixed_.root(), threads);
        walk.wait();
        QVERIFY(walk.finished());
        QCOMPARE(walk.rootError(), 0);
        // Every folder, the odd names included, is listed, in the same order on any number of
        // threads, and looked up with the oracle's sizes.
        std::vector<std::string> listed;
        for (const Walk::FolderRecord& r : walk.folders()) {
            QVERIFY2(expected.count(r.path), r.path.c_str());
            QCOMPARE(r.size, expected.at(r.path));
            QCOMPARE(r.allocated, oracle_.folderAllocated.at(r.path));
            QCOMPARE(found(walk, r.path), r.size);
            QCOMPARE(walk.sizeOf(r.path).allocated, r.allocated);
            listed.push_back(r.path);
        }
        QCOMPARE(listed.size(), expected.size());
        if (order.empty())
            order = listed;
        QVERIFY(listed == order);

        const Walk::Totals totals = walk.totals();
        QCOMPARE(totals.folders, std::uint64_t(expected.size()));
        QCOMPARE(totals.bytes, expected.at(""));
        QCOMPARE(totals.allocated, oracle_.folderAllocated.at(""));
        QCOMPARE(totals.bytesAllocated, allocated);
        QCOMPARE(totals.files, std::uint64_t(mixedFiles_));
        // 40 bytes of node and 4 of access time per folder, and the names.
        QVERIFY(totals.indexBytes <= 44 * totals.folders + 2 * 4096);
    }

    // The rules spelled out, so an oracle mistaken the same way cannot hide them.
    Walk walk(mixed_.root(), 4);
    walk.wait();
    QCOMPARE(found(walk, "links/a"), std::uint64_t(3 << 20));
    QCOMPARE(found(walk, "links/b"), 0u);
    QCOMPARE(walk.sizeOf("links/b").allocated, 0u);
    QCOMPARE(found(walk, "x-y"), 40000u);
    QCOMPARE(found(walk, "x"), 0u);
    QCOMPARE(found(walk, "sparse"), std::uint64_t(1) << 40);
    QVERIFY(walk.sizeOf("sparse").allocated < 1 << 20);
    QCOMPARE(found(walk, "syms"), std::uint64_t(12 + 8 + 1 + 7));   // the links themselves
    QCOMPARE(int(walk.sizeOf("syms/folder").state), int(Walk::State::Missing));
    QCOMPARE(int(walk.sizeOf("plain.txt").state), int(Walk::State::Missing));
}

void WalkInsightTest::largestMatchOracle()
{
    const std::vector<Oracle::File> largest = expectedLargest(oracle_);
    QCOMPARE(largest.size(), std::size_t(1000));
    // The rules spelled out, so an oracle mistaken the same way cannot hide them.
    QCOMPARE(largest[0].path, std::string("sparse/big.img"));
    QCOMPARE(largest[1].path, std::string("links/a/orig"));
    QCOMPARE(largest[1].mtimeNsec, 123456789);
    QVERIFY(largest[998].size == largest[999].size);   // the cut falls inside a tie

    for (const int threads : {1, 3, 8}) {
        Walk walk(mixed_.root(), threads);
        QVERIFY(walk.largest().empty() || walk.finished());
        walk.wait();
        const std::vector<Walk::LargeFile> got = walk.largest();
        QCOMPARE(got.size(), largest.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            QCOMPARE(got[i].path, largest[i].path);
            QCOMPARE(got[i].size, largest[i].size);
            QCOMPARE(got[i].allocated, largest[i].allocated);
            QCOMPARE(got[i].mtimeSec, largest[i].mtimeSec);
            QCOMPARE(got[i].mtimeNsec, largest[i].mtimeNsec);
        }
        const auto named = [&](const char* path) {
            return std::count_if(got.begin(), got.end(), [&](const Walk::LargeFile& f) { return f.path == path; });
        };
        QCOMPARE(named("links/a/orig") + named("links/a/same") + named("links/b/second"), 1);
        QCOMPARE(named("x-y/f") + named("x/g"), 1);
        QCOMPARE(named("x-y/f"), 1);

        const std::vector<Walk::LargeFile> top = walk.largest(3);
        QCOMPARE(top.size(), std::size_t(3));
        QCOMPARE(top[2].path, got[2].path);
    }
}

// Both sizes of every folder, and the largest files with full paths, as the program asks for them.
void WalkInsightTest::fileSystemMatchesOracle()
{
    const QByteArray root = bytes(mixed_.root());
    LinuxFileSystem fs;
    QVERIFY(fs.largestFiles().empty());
    fs.beginWalk(root);
    for (int i = 0; i < 6000 && !fs.walkProgress().finished; ++i)
        fs.waitForWalk(std::chrono::milliseconds(10));
    QVERIFY(fs.walkProgress().finished);

    const std::optional<torvane::FolderSizes> sparse = fs.folderSizes(root + "/sparse");
    QVERIFY(sparse);
    QCOMPARE(sparse->apparent, oracle_.folderSizes.at("sparse"));
    QCOMPARE(sparse->allocated, oracle_.folderAllocated.at("sparse"));
    const std::vector<torvane::IndexedFolder> indexed = fs.indexedFolders();
    QCOMPARE(indexed.size(), oracle_.folderSizes.size());
    for (const torvane::IndexedFolder& f : indexed) {
        QCOMPARE(f.sizes.apparent, oracle_.folderSizes.at(f.path.toStdString()));
        QCOMPARE(f.sizes.allocated, oracle_.folderAllocated.at(f.path.toStdString()));
    }

    const std::vector<Oracle::File> expected = expectedLargest(oracle_);
    const std::vector<torvane::LargeFile> listed = fs.largestFiles();
    QCOMPARE(listed.size(), expected.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        QCOMPARE(listed[i].path, root + "/" + bytes(expected[i].path));
        QCOMPARE(listed[i].apparent, expected[i].size);
        QCOMPARE(listed[i].allocated, expected[i].allocated);
        QCOMPARE(listed[i].modified.toMSecsSinceEpoch(), qint64(expected[i].mtimeSec) * 1000 + expected[i].mtimeNsec / 1000000);
    }
}

void WalkInsightTest::replacedAndAbandonedWalks()
{
    const Tree& big = mixed_;
    Tree small;
    small.dir("s");
    small.file("s/f", 77);
    const std::uint64_t bigTotal = oracle_.folderSizes.at("");

    LinuxFileSystem fs;
    for (int i = 0; i < 5; ++i) {
        fs.beginWalk(bytes(big.root()));
        fs.beginWalk(bytes(small.root()));   // replaces the running walk
        QCOMPARE(sizeWhenReady(fs, bytes(small.root())), 77u);
    }
    fs.beginWalk(bytes(big.root()));
    QCOMPARE(sizeWhenReady(fs, bytes(big.root())), bigTotal);
    for (int i = 0; i < 5; ++i) {
        LinuxFileSystem leaving;
        leaving.beginWalk(bytes(big.root()));
        std::this_thread::sleep_for(std::chrono::milliseconds(i));
    }   // destroyed mid-walk: the workers stop and are joined
    Walk unreadable("/no/such/folder", 2);
    QVERIFY(unreadable.finished());
    QCOMPARE(unreadable.rootError(), ENOENT);
    QCOMPARE(int(unreadable.sizeOf("").state), int(Walk::State::Failed));
}

QTEST_GUILESS_MAIN(WalkInsightTest)
#include "tst_walkinsight.moc"
