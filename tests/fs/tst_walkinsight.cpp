// The largest files and both sizes of every folder, checked against the hostile-tree library's
// sequential walk (hostile::measure), through Walk, through LinuxFileSystem and through
// torvane-bench's --largest lines.

#include "WalkFixture.h"

#include <QProcess>
#include <QtTest>

#include <algorithm>
#include <vector>

using torvane::LinuxFileSystem;
using torvane::Walk;
using torvane::hostile::Oracle;
using torvane::test::Tree;

namespace {

void setMtime(const Tree& t, const std::string& rel, std::int64_t sec, long nsec)
{
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(sec), nsec}};
    if (::utimensat(AT_FDCWD, t.at(rel).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        qFatal("utimensat %s", rel.c_str());
}

// Hard links within and across folders, a sparse file, written files, odd names, and more files
// than the list keeps, with many of them tied on size at the cut.
void makeFixture(const Tree& t)
{
    for (const char* folder : {"new\nline", "\xff\xfe bytes", "sparse", "links", "links/a", "links/b", "x", "x-y",
                               "ties", "ties-c", "syms"})
        t.dir(folder);
    t.file("new\nline/f\nile", 70001);
    t.file("\xff\xfe bytes/\xff", 50003);
    t.file("sparse/disk.img", std::uint64_t(1) << 36, true);
    t.file("sparse/half", 1 << 20);
    // The biggest file has three names in two folders; links/a/orig sorts first and owns it.
    t.file("links/b/second", 3 << 20);
    t.link("links/b/second", "links/a/orig");
    t.link("links/b/second", "links/b/third");
    setMtime(t, "links/a/orig", 1234567890, 123456789);
    // "x-y/f" sorts before "x/g" ('-' is below '/').
    t.file("x/g", 40000);
    t.link("x/g", "x-y/f");
    t.symlink("../sparse/disk.img", "syms/img");
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
}

bool ranksBefore(const Oracle::File& a, const Oracle::File& b)
{
    return a.size != b.size ? a.size > b.size : a.path < b.path;
}

std::vector<Oracle::File> expectedLargest(const Oracle& oracle, std::size_t n)
{
    std::vector<Oracle::File> files = oracle.files;
    std::sort(files.begin(), files.end(), ranksBefore);
    files.resize(std::min(n, files.size()));
    return files;
}

} // namespace

class WalkInsightTest : public QObject {
    Q_OBJECT

private slots:
    void largestAndBothSizesMatchOracle();
    void benchPrintsLargestEscaped();
};

void WalkInsightTest::largestAndBothSizesMatchOracle()
{
    Tree t;
    makeFixture(t);
    const Oracle oracle = torvane::hostile::measure(t.root());
    const std::vector<Oracle::File> largest = expectedLargest(oracle, 1000);
    QCOMPARE(largest.size(), std::size_t(1000));

    // The rules spelled out, so an oracle mistaken the same way cannot hide them.
    QCOMPARE(largest[0].path, std::string("sparse/disk.img"));
    QCOMPARE(largest[1].path, std::string("links/a/orig"));
    QCOMPARE(largest[1].mtimeNsec, 123456789);
    QVERIFY(largest[998].size == largest[999].size);   // the cut falls inside a tie

    for (const int threads : {1, 3, 8}) {
        Walk walk(t.root(), threads);
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
        QCOMPARE(named("links/a/orig") + named("links/b/second") + named("links/b/third"), 1);
        QCOMPARE(named("x-y/f") + named("x/g"), 1);
        QCOMPARE(named("x-y/f"), 1);

        const std::vector<Walk::LargeFile> top = walk.largest(3);
        QCOMPARE(top.size(), std::size_t(3));
        QCOMPARE(top[2].path, got[2].path);
    }

    // Through LinuxFileSystem: both sizes of every folder, and the list with full paths.
    const QByteArray root(t.root().c_str());
    LinuxFileSystem fs;
    QVERIFY(fs.largestFiles().empty());
    fs.beginWalk(root);
    for (int i = 0; i < 6000 && !fs.walkProgress().finished; ++i)
        fs.waitForWalk(std::chrono::milliseconds(10));
    QVERIFY(fs.walkProgress().finished);

    const std::optional<torvane::FolderSizes> sparse = fs.folderSizes(root + "/sparse");
    QVERIFY(sparse);
    QCOMPARE(sparse->apparent, oracle.folderSizes.at("sparse"));
    QCOMPARE(sparse->allocated, oracle.folderAllocated.at("sparse"));

    const std::vector<torvane::IndexedFolder> indexed = fs.indexedFolders();
    QCOMPARE(indexed.size(), oracle.folderSizes.size());
    for (const torvane::IndexedFolder& f : indexed) {
        const std::string path = f.path.toStdString();
        QCOMPARE(f.sizes.apparent, oracle.folderSizes.at(path));
        QCOMPARE(f.sizes.allocated, oracle.folderAllocated.at(path));
    }

    const std::vector<torvane::LargeFile> listed = fs.largestFiles();
    QCOMPARE(listed.size(), largest.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        QCOMPARE(listed[i].path, root + "/" + QByteArray::fromStdString(largest[i].path));
        QCOMPARE(listed[i].apparent, largest[i].size);
        QCOMPARE(listed[i].allocated, largest[i].allocated);
        QCOMPARE(listed[i].modified.toMSecsSinceEpoch(), qint64(largest[i].mtimeSec) * 1000 + largest[i].mtimeNsec / 1000000);
    }
}

void WalkInsightTest::benchPrintsLargestEscaped()
{
    const QByteArray dir = qgetenv("TORVANE_TEST_BINARY_DIR");
    const QString bench = QString::fromLocal8Bit(dir) + "/bench/torvane-bench";
    if (dir.isEmpty() || !QFileInfo(bench).isExecutable())
        QSKIP("torvane-bench is not built");

    Tree t;
    t.dir("odd\\dir");
    t.file("odd\\dir/new\nline\ttab \xff\x7f~", 900);
    t.file("plain", 800);
    t.file("\xc3\xa9t\xc3\xa9", 700, true);
    t.file("linked", 1000);
    t.link("linked", "zz-linked");
    const Oracle oracle = torvane::hostile::measure(t.root());

    QProcess p;
    p.start(bench, {QString::fromLocal8Bit(t.root().c_str()), "--largest", "3", "--threads", "2"});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    const QList<QByteArray> lines = p.readAllStandardOutput().split('\n');
    QCOMPARE(lines.size(), 5);   // three files, the summary, and after the last newline nothing
    QCOMPARE(lines[0], QByteArray("1000\tlinked"));
    QCOMPARE(lines[1], QByteArray("900\todd\\\\dir/new\\x0aline\\x09tab \\xff\\x7f~"));
    QCOMPARE(lines[2], QByteArray("800\tplain"));
    QVERIFY(lines[3].startsWith("folders=2 files=5 bytes=3400 "));
    QVERIFY2(lines[3].endsWith(" allocated=" + QByteArray::number(qulonglong(oracle.folderAllocated.at("")))),
             lines[3].constData());
    QCOMPARE(lines[4], QByteArray());
}

QTEST_GUILESS_MAIN(WalkInsightTest)
#include "tst_walkinsight.moc"
