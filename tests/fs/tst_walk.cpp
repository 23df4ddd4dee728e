// The parallel walk and LinuxFileSystem on real trees, checked against the plain sequential walk of
// the hostile-tree library (hostile::measure), which counts by the same rules without threads.

#include "WalkFixture.h"

#include <QtTest>

#include <ftw.h>
#include <sys/mount.h>

#include <climits>
#include <set>
#include <thread>
#include <vector>

using torvane::LinuxFileSystem;
using torvane::Walk;
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

// What the progress bar is measured in, summed as du would: allocated bytes, every entry (folders
// too) once, a file of several names once, a hole not at all.
std::uint64_t allocatedOnDisk(const Tree& t)
{
    ::sync();   // allocation settles: what this reads is what the walk reads
    static std::uint64_t allocated;
    static std::set<std::pair<dev_t, ino_t>> seen;
    allocated = 0;
    seen.clear();
    const int walked = ::nftw(t.root().c_str(), [](const char*, const struct stat* st, int, FTW*) {
        if (seen.insert({st->st_dev, st->st_ino}).second)
            allocated += std::uint64_t(st->st_blocks) * 512;
        return 0;
    }, 64, FTW_PHYS | FTW_MOUNT);
    return walked == 0 ? allocated : 0;
}

} // namespace

class WalkTest : public QObject {
    Q_OBJECT

private slots:
    void walkMatchesOracle();
    void deepTreeBeyondPathMax();
    void fileSystemCalls();
    void folderMadeAfterTheWalkIsMeasuredOnDemand();
    void replacedAndAbandonedWalks();
    void mountPointIsListedNotEntered();
    void rootSizeOnlyOnceFinished();
};

// Odd names, links of both kinds, a sparse file, a folder of many entries and a forest of hard
// links across folders, walked again and again on different numbers of threads.
void WalkTest::walkMatchesOracle()
{
    Tree t;
    for (const char* folder : {"name with spaces & ' <", "new\nline", "\xff\xfe bytes", "empty", "empty2", "empty2/inner",
                               "sparse", "links", "links/a", "links/b", "x", "x-y", "syms", "many", "forest"})
        t.dir(folder);
    t.file("plain.txt", 1000);
    t.file("name with spaces & ' </file", 123);
    t.file("new\nline/f", 7);
    t.file("\xff\xfe bytes/g", 11);
    t.file("sparse/big.img", std::uint64_t(1) << 40, true);
    // Three names of one file in two folders: links/a/orig sorts first.
    t.file("links/a/orig", 5000);
    t.link("links/a/orig", "links/b/second");
    t.link("links/a/orig", "links/a/same");
    // "x-y/f" sorts before "x/g" ('-' is below '/'), though "x" sorts before "x-y" as a name.
    t.file("x-y/f", 300);
    t.link("x-y/f", "x/g");
    t.symlink("../plain.txt", "syms/file");
    t.symlink("../links", "syms/folder");
    t.symlink(".", "syms/loop");
    t.symlink("nowhere", "syms/dangling");
    for (int i = 0; i < 50000; ++i)
        t.file("many/entry " + std::to_string(i), std::uint64_t(i % 97), true);
    const int forestFiles = makeLinkedForest(t, "forest", 400, 12);
    const torvane::hostile::Oracle oracle = torvane::hostile::measure(t.root());
    const auto& expected = oracle.folderSizes;
    const std::uint64_t allocated = allocatedOnDisk(t);
    QVERIFY(allocated >= 6000 && allocated < (std::uint64_t(1) << 30));

    std::vector<std::string> order;
    for (const int threads : {1, 2, 5, 8, 2, 5, 8, 2, 5, 8}) {
        Walk walk(t.root(), threads);
        walk.wait();
        QVERIFY(walk.finished());
        QCOMPARE(walk.rootError(), 0);
        // Every folder, the odd names included, is listed, in the same order on any number of
        // threads, and looked up with the oracle's sizes.
        std::vector<std::string> listed;
        for (const Walk::FolderRecord& r : walk.folders()) {
            QVERIFY2(expected.count(r.path), r.path.c_str());
            QCOMPARE(r.size, expected.at(r.path));
            QCOMPARE(r.allocated, oracle.folderAllocated.at(r.path));
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
        QCOMPARE(totals.allocated, oracle.folderAllocated.at(""));
        QCOMPARE(totals.bytesAllocated, allocated);
        QCOMPARE(totals.files, std::uint64_t(1 + 1 + 1 + 1 + 1 + 3 + 2 + 4 + 50000 + forestFiles));
        // 40 bytes of node and 4 of access time per folder, and the names.
        QVERIFY(totals.indexBytes <= 44 * totals.folders + 2 * 4096);
    }

    // The rules spelled out, so an oracle mistaken the same way cannot hide them.
    Walk walk(t.root(), 4);
    walk.wait();
    QCOMPARE(found(walk, "links/a"), 5000u);
    QCOMPARE(found(walk, "links/b"), 0u);
    QCOMPARE(walk.sizeOf("links/b").allocated, 0u);
    QCOMPARE(found(walk, "x-y"), 300u);
    QCOMPARE(found(walk, "x"), 0u);
    QCOMPARE(found(walk, "sparse"), std::uint64_t(1) << 40);
    QVERIFY(walk.sizeOf("sparse").allocated < 1 << 20);
    QCOMPARE(found(walk, "syms"), std::uint64_t(12 + 8 + 1 + 7));   // the links themselves
    QCOMPARE(int(walk.sizeOf("syms/folder").state), int(Walk::State::Missing));
    QCOMPARE(int(walk.sizeOf("plain.txt").state), int(Walk::State::Missing));
}

void WalkTest::deepTreeBeyondPathMax()
{
    Tree t;
    // A file of its own size every 1000 levels, so a level lost anywhere shows in the root's total.
    std::uint64_t total = 0;
    std::uint64_t deepest = 0;
    const QByteArray deep = bytes(t.at(t.chain(20000, [&](int fd, int depth, const std::string&) {
        if (depth > 0 && depth % 1000 == 0) {
            deepest = std::uint64_t(depth / 1000 + 1);
            Tree::fileAt(fd, "f", deepest);
            total += deepest;
        }
    })));
    QVERIFY(deep.size() > PATH_MAX);

    LinuxFileSystem fs;
    const QByteArray root = bytes(t.root());
    fs.beginWalk(root);
    QCOMPARE(sizeWhenReady(fs, root), total);
    QCOMPARE(sizeWhenReady(fs, deep), deepest);
    QVERIFY(fs.folderExists(deep));
    QVERIFY(fs.lastAccess(deep).isValid());
    QVERIFY(fs.subfolders(deep).empty());
    const QByteArray parent = deep.left(deep.size() - 2);
    const std::vector<torvane::Folder> subs = fs.subfolders(parent);
    QCOMPARE(subs.size(), std::size_t(1));
    QCOMPARE(subs[0].path, deep);
}

void WalkTest::fileSystemCalls()
{
    Tree t;
    for (const char* name : {"b", "B", "a b", "\xff", "Z", "a"})
        t.dir(name);
    t.file("a/inside", 64);
    t.file("afile", 10);
    t.symlink("a", "linkdir");
    LinuxFileSystem fs;
    const QByteArray root = bytes(t.root());

    // Byte order of names; files and links to folders are not folders.
    const std::vector<torvane::Folder> subs = fs.subfolders(root);
    QList<QByteArray> names;
    for (const torvane::Folder& f : subs) {
        names << f.name;
        QCOMPARE(f.path, root + '/' + f.name);
    }
    QCOMPARE(names, (QList<QByteArray>{"B", "Z", "a", "a b", "b", "\xff"}));
    QCOMPARE(fs.subfolders(root + "/").size(), subs.size());

    QCOMPARE(errorOf([&] { fs.subfolders(root + "/afile"); }), ENOTDIR);
    QCOMPARE(errorOf([&] { fs.subfolders(root + "/missing"); }), ENOENT);
    QCOMPARE(errorOf([&] { fs.lastAccess(root + "/missing"); }), ENOENT);
    QCOMPARE(errorOf([&] { fs.folderSize(root + "/missing"); }), ENOENT);
    // A link to a folder is no folder: never listed or measured through.
    QCOMPARE(errorOf([&] { fs.subfolders(root + "/linkdir"); }), ENOTDIR);
    QCOMPARE(errorOf([&] { fs.folderSize(root + "/linkdir"); }), ENOTDIR);

    QVERIFY(fs.folderExists(root + "/a"));
    QVERIFY(!fs.folderExists(root + "/afile"));
    QVERIFY(!fs.folderExists(root + "/linkdir"));
    QVERIFY(!fs.folderExists(root + "/missing"));

    // Before any walk, from the disk.
    t.setAccessTime("a", 1614834367);
    const QDateTime access = fs.lastAccess(root + "/a");
    QCOMPARE(access.toSecsSinceEpoch(), qint64(1614834367));
    QCOMPARE(access.timeSpec(), Qt::LocalTime);

    fs.beginWalk(root);
    QCOMPARE(sizeWhenReady(fs, root + "/a"), 64u);
    QCOMPARE(sizeWhenReady(fs, root), 64u + 10u + 1u);
    QCOMPARE(sizeWhenReady(fs, root + "/"), 64u + 10u + 1u);
    QVERIFY(fs.walkProgress().finished);
    QCOMPARE(fs.walkProgress().bytesWalked, 64u + 10u + 1u);
    QCOMPARE(fs.walkProgress().bytesAllocated, allocatedOnDisk(t));
    QCOMPARE(errorOf([&] { fs.folderSize(root + "/linkdir"); }), ENOTDIR);
}

void WalkTest::folderMadeAfterTheWalkIsMeasuredOnDemand()
{
    Tree t;
    t.dir("old");
    t.file("old/f", 5);
    LinuxFileSystem fs;
    const QByteArray root = bytes(t.root());
    fs.beginWalk(root);
    QCOMPARE(sizeWhenReady(fs, root), 5u);

    t.dir("new");
    t.dir("new/deeper");
    t.file("new/deeper/g", 42000);
    QVERIFY(!fs.folderSize(root + "/new").has_value());   // its own small walk has just begun
    QCOMPARE(sizeWhenReady(fs, root + "/new"), 42000u);
    QCOMPARE(sizeWhenReady(fs, root + "/new/deeper"), 42000u);
    QCOMPARE(fs.folderSizes(root + "/new")->allocated, torvane::hostile::measure(t.at("new")).folderAllocated.at(""));
    QVERIFY(fs.folderSizes(root + "/new")->allocated >= 42000u);
    QCOMPARE(sizeWhenReady(fs, root + "/old"), 5u);   // still from the index, not re-read
    QVERIFY(fs.walkProgress().finished);
}

void WalkTest::replacedAndAbandonedWalks()
{
    Tree big;
    makeLinkedForest(big, "", 600, 20);
    Tree small;
    small.dir("s");
    small.file("s/f", 77);
    const std::uint64_t bigTotal = big.oracleSizes().at("");

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

void WalkTest::mountPointIsListedNotEntered()
{
    Tree t;
    t.dir("mnt");
    t.file("here", 9);
    if (::mount("torvane-test", t.at("mnt").c_str(), "tmpfs", 0, "size=1m") != 0)
        QSKIP("cannot mount a tmpfs here (needs CAP_SYS_ADMIN)");
    t.dir("mnt/inside");
    t.file("mnt/inside/f", 1000);
    {
        Walk walk(t.root(), 2);
        walk.wait();
        QCOMPARE(found(walk, ""), 9u);
        QCOMPARE(found(walk, "mnt"), 0u);
        QCOMPARE(int(walk.sizeOf("mnt/inside").state), int(Walk::State::Missing));
        LinuxFileSystem fs;
        fs.beginWalk(bytes(t.root()));
        QCOMPARE(fs.subfolders(bytes(t.at("mnt"))).size(), std::size_t(0));
        QCOMPARE(fs.subfolders(bytes(t.root())).size(), std::size_t(1));
    }
    QVERIFY(::umount(t.at("mnt").c_str()) == 0);
}

// A walk that has its root's size has finished: a caller who sees the one sees the other, however
// the threads are scheduled. Files whose other names are outside the tree are decided last, at
// the very end of the walk.
void WalkTest::rootSizeOnlyOnceFinished()
{
    Tree t;
    Tree outside;
    for (int i = 0; i < 8; ++i) {
        const std::string d = "d" + std::to_string(i);
        t.dir(d);
        for (int k = 0; k < 40; ++k) {
            const std::string f = d + "/f" + std::to_string(k);
            t.file(f, 1);
            if (::link(t.at(f).c_str(), outside.at(std::to_string(i) + "-" + std::to_string(k)).c_str()) != 0)
                QFAIL("link");
        }
    }
    const QByteArray root = bytes(t.root());
    for (int run = 0; run < 300; ++run) {
        LinuxFileSystem fs;
        fs.beginWalk(root);
        std::optional<std::uint64_t> size;
        while (!(size = fs.folderSize(root))) {
        }
        QCOMPARE(*size, 320u);
        QVERIFY2(fs.walkProgress().finished, ("run " + std::to_string(run)).c_str());
    }
}

QTEST_GUILESS_MAIN(WalkTest)
#include "tst_walk.moc"
