// The walk and LinuxFileSystem on small trees made for each case: the FileSystem calls (folders
// made after the walk included), mount points, and the root's size only once finished.

#include "WalkFixture.h"

#include <QtTest>

#include <sys/mount.h>

using torvane::LinuxFileSystem;
using torvane::Walk;
using namespace torvane::test;

class WalkTest : public QObject {
    Q_OBJECT

private slots:
    void fileSystemCalls()
    {
        Tree t;
        t.dir("a");
        t.file("a/inside", 64);
        t.file("afile", 10);
        t.symlink("a", "linkdir");
        LinuxFileSystem fs;
        const QByteArray root = bytes(t.root());

        // Files and links to folders are not folders; the order of names and the odd names: the
        // hostile test's report.
        const std::vector<torvane::Folder> subs = fs.subfolders(root + "/");
        QCOMPARE(subs.size(), std::size_t(1));
        QCOMPARE(subs[0].path, root + "/a");

        QCOMPARE(errorOf([&] { fs.subfolders(root + "/afile"); }), ENOTDIR);
        QCOMPARE(errorOf([&] { fs.subfolders(root + "/missing"); }), ENOENT);
        QCOMPARE(errorOf([&] { fs.lastAccess(root + "/missing"); }), ENOENT);
        QCOMPARE(errorOf([&] { fs.folderSize(root + "/missing"); }), ENOENT);
        // A link to a folder is no folder: never listed or measured through.
        QCOMPARE(errorOf([&] { fs.subfolders(root + "/linkdir"); }), ENOTDIR);
        QCOMPARE(errorOf([&] { fs.folderSize(root + "/linkdir"); }), ENOTDIR);

        QVERIFY(fs.folderExists(root + "/a"));
        for (const char* notFolder : {"/afile", "/linkdir", "/missing"})
            QVERIFY2(!fs.folderExists(root + notFolder), notFolder);

        // Before any walk, from the disk.
        t.setAccessTime("a", 1614834367);
        const QDateTime access = fs.lastAccess(root + "/a");
        QCOMPARE(access.toSecsSinceEpoch(), qint64(1614834367));
        QCOMPARE(access.timeSpec(), Qt::LocalTime);

        fs.beginWalk(root);
        QCOMPARE(sizeWhenReady(fs, root), 64u + 10u + 1u);
        QCOMPARE(sizeWhenReady(fs, root + "/"), 64u + 10u + 1u);
        QVERIFY(fs.walkProgress().finished);
        QCOMPARE(fs.walkProgress().bytesWalked, 64u + 10u + 1u);
        QCOMPARE(fs.walkProgress().bytesAllocated, allocatedOnDisk(t));
        QCOMPARE(errorOf([&] { fs.folderSize(root + "/linkdir"); }), ENOTDIR);

        // A folder made after the walk is measured by a small walk of its own; one walked is not re-read.
        t.file("a/later", 1000);
        t.dir("new");
        t.dir("new/deeper");
        t.file("new/deeper/g", 42000);
        QVERIFY(!fs.folderSize(root + "/new").has_value());   // its own small walk has just begun
        QCOMPARE(sizeWhenReady(fs, root + "/new"), 42000u);
        QCOMPARE(sizeWhenReady(fs, root + "/new/deeper"), 42000u);
        QCOMPARE(fs.folderSizes(root + "/new")->allocated, torvane::hostile::measure(t.at("new")).folderAllocated.at(""));
        QCOMPARE(sizeWhenReady(fs, root + "/a"), 64u);   // from the index, not re-read
        QVERIFY(fs.walkProgress().finished);
    }

    void mountPointIsListedNotEntered()
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
    void rootSizeOnlyOnceFinished()
    {
        Tree t;
        Tree outside;
        for (int i = 0; i < 8; ++i) {
            const std::string d = "d" + std::to_string(i);
            t.dir(d);
            for (int k = 0; k < 40; ++k) {
                const std::string f = d + "/f" + std::to_string(k);
                t.file(f, 1);
                QVERIFY(::link(t.at(f).c_str(), outside.at(std::to_string(i) + "-" + std::to_string(k)).c_str()) == 0);
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
};

QTEST_GUILESS_MAIN(WalkTest)
#include "tst_walk.moc"
