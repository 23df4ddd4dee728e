#include "FakeRenameHost.h"
#include "TestFolders.h"

#include "fs/PlatformError.h"
#include "desktop/TrashTree.h"
#include "rename/RenameFile.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>

#include <cerrno>
#include <climits>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace torvane;
using namespace torvane::test;

namespace {

bool succeeds(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A folder of a file system that ignores letter case but keeps it, as FAT and exFAT do: the
// entry is found by any spelling and refuses a rename onto its own other spelling. Kernel FAT
// gives every spelling the file's inode; FUSE exFAT numbers each spelling apart.
class CaseInsensitiveFolder final : public RenameOps {
public:
    explicit CaseInsensitiveFolder(bool inodePerSpelling) : inodePerSpelling_(inodePerSpelling) {}

    void renameNoReplace(const QByteArray& oldPath, const QByteArray& newPath) override
    {
        calls.append(oldPath + " -> " + newPath);
        if (!entryExists(oldPath))
            throw PlatformError::fromErrno(ENOENT);
        if (entryExists(newPath))
            throw PlatformError::fromErrno(EEXIST);
        const int inode = entries.at(fold(oldPath)).second;
        entries.erase(fold(oldPath));
        entries[fold(newPath)] = {newPath, inode};
    }
    bool sameInode(const QByteArray& a, const QByteArray& b) override
    {
        if (inodePerSpelling_ && a != b)
            return false;
        return entryExists(a) && entryExists(b) && entries.at(fold(a)).second == entries.at(fold(b)).second;
    }
    bool entryExists(const QByteArray& path) override { return entries.count(fold(path)) != 0; }
    bool listedExactly(const QByteArray& path) override { return entryExists(path) && entries.at(fold(path)).first == path; }

    void add(const QByteArray& path, int inode) { entries[fold(path)] = {path, inode}; }
    QByteArrayList stored() const
    {
        QByteArrayList out;
        for (const auto& [key, entry] : entries)
            out.append(entry.first);
        std::sort(out.begin(), out.end());
        return out;
    }

    QByteArrayList calls;

private:
    static QByteArray fold(const QByteArray& path) { return path.toLower(); }
    bool inodePerSpelling_;
    std::map<QByteArray, std::pair<QByteArray, int>> entries;
};

} // namespace

class RenameFileTest : public QObject {
    Q_OBJECT

private slots:
    // Another file, or another link of the same file, under the new name: the rename fails and
    // leaves both entries, and no temporary name behind.
    void ontoAnotherEntryFails_data()
    {
        QTest::addColumn<bool>("hardLink");
        QTest::newRow("another file") << false;
        QTest::newRow("hard link of the same file") << true;
    }
    void ontoAnotherEntryFails()
    {
        QFETCH(bool, hardLink);
        QTemporaryDir dir;
        const QByteArray folder = bytesOf(dir);
        writeFile(folder + "/a", "first");
        if (hardLink)
            QCOMPARE(::link((folder + "/a").constData(), (folder + "/A").constData()), 0);
        else
            writeFile(folder + "/A", "second");
        FakeRenameHost host;
        renameFile(folder + "/a", folder + "/A", host);
        QCOMPARE(host.lines, QStringList{" Cannot access " + dir.path() + "/a."});
        QCOMPARE(filesIn(folder), (QByteArrayList{"A", "a"}));
        QCOMPARE(readFile(folder + "/a"), QByteArray("first"));
        QCOMPARE(readFile(folder + "/A"), QByteArray(hardLink ? "first" : "second"));
    }

    void renamesThatSucceed_data()
    {
        QTest::addColumn<QByteArray>("oldName");
        QTest::addColumn<QByteArray>("newName");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("case only") << QByteArray("/ABC.TXT") << QByteArray("/abc.txt") << QByteArray("abc.txt");
        QTest::newRow("doubled separators") << QByteArray("//x.txt") << QByteArray("//X.TXT") << QByteArray("X.TXT");
        QTest::newRow("other name") << QByteArray("/a b") << QByteArray("/A B.txt") << QByteArray("A B.txt");
        QTest::newRow("identical name") << QByteArray("/Same.txt") << QByteArray("/Same.txt") << QByteArray("Same.txt");
        QTest::newRow("not UTF-8") << QByteArray("/Caf\xe9 \xff" "MENU.TXT") << QByteArray("/caf\xe9 \xff" "menu.txt")
                                   << QByteArray("caf\xe9 \xff" "menu.txt");
    }
    void renamesThatSucceed()
    {
        QFETCH(QByteArray, oldName);
        QFETCH(QByteArray, newName);
        QFETCH(QByteArray, stored);
        QTemporaryDir dir;
        const QByteArray folder = bytesOf(dir);
        writeFile(folder + oldName, "content");
        FakeRenameHost host;
        renameFile(folder + oldName, folder + newName, host);
        QVERIFY(host.lines.isEmpty());
        QCOMPARE(filesIn(folder), QByteArrayList{stored});
        QCOMPARE(readFile(folder + '/' + stored), QByteArray("content"));
        QCOMPARE(std::remove((folder + '/' + stored).constData()), 0);   // QTemporaryDir cannot, if not UTF-8
    }

    void missingFileGetsItsLine()
    {
        QTemporaryDir dir;
        const QByteArray folder = bytesOf(dir);
        FakeRenameHost host;
        host.lines = QStringList{"older line"};
        renameFile(folder + "/gone.txt", folder + "/GONE.TXT", host);
        renameFile(folder + "/gone2.txt", folder + "/gone2.txt", host);
        renameFile(folder + "/Caf\xe9 \xff" "MENU.TXT", folder + "/x", host);
        // Newest first; a name that is not UTF-8 shows readably, its stray bytes replaced.
        QCOMPARE(host.lines, (QStringList{" Cannot access " + dir.path() + "/Caf\ufffd \ufffdMENU.TXT.",
                                          " Cannot access " + dir.path() + "/gone2.txt.",
                                          " Cannot access " + dir.path() + "/gone.txt.", "older line"}));
        QVERIFY(filesIn(folder).isEmpty());
    }

    // No call takes a path past PATH_MAX whole; there the file calls and renames work, and
    // refuse, as anywhere else.
    void pathsPastPathMax()
    {
        QTemporaryDir dir;
        const QByteArray name(200, 'p');
        // QTemporaryDir cannot remove what is deeper than PATH_MAX.
        const auto removeDeep = qScopeGuard([&] { removeTree(AT_FDCWD, bytesOf(dir) + '/' + name); });
        QByteArray deep = bytesOf(dir);
        int fd = ::open(deep.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int i = 0; i < 25 && fd >= 0; ++i) {
            const int next = ::mkdirat(fd, name.constData(), 0755) == 0 ? ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
            ::close(fd);
            fd = next;
            deep += '/' + name;
        }
        QVERIFY(fd >= 0);
        const auto closeDeep = qScopeGuard([fd] { ::close(fd); });
        QVERIFY(deep.size() > PATH_MAX);
        // The same folder by a short path, for the test's own reads and writes.
        const QByteArray near = "/proc/self/fd/" + QByteArray::number(fd);
        QCOMPARE(::mkdirat(fd, "sub", 0755), 0);
        writeFile(near + "/a", "first");
        writeFile(near + "/b", "second");

        QVERIFY(isFolder(deep));
        QVERIFY(isFolder(deep + "/sub/"));
        QVERIFY(!isFolder(deep + "/a"));
        QVERIFY(entryExists(deep + "/a"));
        QVERIFY(!entryExists(deep + "/gone"));
        QVERIFY(!entryExists(deep + "/a/below-a-file"));
        QVERIFY(folderListsName(deep, "a"));
        QVERIFY(!folderListsName(deep + '/', "A"));
        QCOMPARE(readFolderEntries(deep).folders, std::vector<QByteArray>{"sub"});
        QCOMPARE(filesIn(deep), (QByteArrayList{"a", "b"}));
        QVERIFY(sameInode(deep + "/a", deep + "/sub/../a"));
        QVERIFY(!sameInode(deep + "/a", deep + "/b"));

        FakeRenameHost host;
        renameFile(deep + "/a", deep + "/c", host);
        QVERIFY(host.lines.isEmpty());
        QCOMPARE(filesIn(deep), (QByteArrayList{"b", "c"}));
        QCOMPARE(readFile(near + "/c"), QByteArray("first"));

        renameFile(deep + "/c", deep + "/b", host);
        QCOMPARE(host.lines, QStringList{" Cannot access " + QString::fromUtf8(deep) + "/c."});
        QCOMPARE(readFile(near + "/b"), QByteArray("second"));
        QCOMPARE(readFile(near + "/c"), QByteArray("first"));

        renameFile(deep + "/b", deep + "/b", host);
        renameFile(deep + "/gone", deep + "/gone", host);
        QCOMPARE(host.lines.size(), 2);

        // Between two folders, each past PATH_MAX.
        renameNoReplace(deep + "/c", deep + "/sub/c");
        QCOMPARE(readFile(near + "/sub/c"), QByteArray("first"));
        QVERIFY_THROWS_EXCEPTION(PlatformError, renameNoReplace(deep + "/sub/c", deep + "/missing/c"));
        QCOMPARE(filesIn(deep), QByteArrayList{"b"});
    }

    void caseInsensitiveFolder_data()
    {
        QTest::addColumn<bool>("inodePerSpelling");
        QTest::newRow("one inode") << false;
        QTest::newRow("inode per spelling") << true;
    }
    void caseInsensitiveFolder()
    {
        QFETCH(bool, inodePerSpelling);
        CaseInsensitiveFolder fs(inodePerSpelling);
        fs.add("/m/ABC.TXT", 1);
        fs.add("/m/ABD.TXT", 2);
        FakeRenameHost host;
        // A case-only change is stored, by way of a name of ours in the same folder.
        renameFile("/m/ABC.TXT", "/m/abc.txt", host, fs);
        QVERIFY(host.lines.isEmpty());
        QCOMPARE(fs.calls.size(), 3);
        QVERIFY(fs.calls[1].startsWith("/m/ABC.TXT -> /m/.torvane-rename-"));
        // Another file's name in another spelling is refused.
        renameFile("/m/abc.txt", "/m/abd.txt", host, fs);
        QCOMPARE(host.lines, QStringList{" Cannot access /m/abc.txt."});
        QCOMPARE(fs.stored(), (QByteArrayList{"/m/ABD.TXT", "/m/abc.txt"}));
    }

    // The same on real FAT and exFAT images (exFAT through the kernel or through FUSE), where the
    // machine lets the test make and mount them; and on a read-only volume, where every rename
    // fails but an unchanged name is no rename at all and passes without a line.
    void onMountedFileSystems_data()
    {
        QTest::addColumn<QString>("mkfs");   // none: a tmpfs, made read-only once filled
        QTest::addColumn<QStringList>("mountOptions");
        QTest::addColumn<QStringList>("lines");   // %1: the mount point
        QTest::addColumn<QByteArrayList>("after");
        const QStringList loop{"-o", "loop"};
        const QStringList fatLines{" Cannot access %1/abc.txt."};
        const QByteArrayList fatAfter{"Other.txt", "abc.txt"};
        QTest::newRow("FAT") << "mkfs.vfat" << loop << fatLines << fatAfter;
        QTest::newRow("exFAT") << "mkfs.exfat" << loop << fatLines << fatAfter;
        QTest::newRow("exFAT on FUSE") << "mkfs.exfat" << QStringList{"-t", "exfat-fuse"} + loop << fatLines << fatAfter;
        QTest::newRow("read-only") << QString() << QStringList{"-t", "tmpfs", "-o", "size=1m"}
                                   << QStringList{" Cannot access %1/abc.txt.", " Cannot access %1/ABC.TXT."}
                                   << QByteArrayList{"ABC.TXT", "Other.txt"};
    }
    void onMountedFileSystems()
    {
        QFETCH(QString, mkfs);
        QFETCH(QStringList, mountOptions);
        QFETCH(QStringList, lines);
        QFETCH(QByteArrayList, after);
        if (::geteuid() != 0)
            QSKIP("mounting needs root");
        QTemporaryDir dir;
        const QString mountPoint = dir.path() + "/mnt";
        QString source = QStringLiteral("tmpfs");
        QVERIFY(QDir().mkpath(mountPoint));
        if (!mkfs.isEmpty()) {
            source = dir.path() + "/fs.img";
            QFile img(source);
            QVERIFY(img.open(QIODevice::WriteOnly) && img.resize(8 * 1024 * 1024));
            img.close();
            if (!succeeds(mkfs, {source}))
                QSKIP(qPrintable(mkfs + " is not available"));
        }
        if (!succeeds("mount", mountOptions + QStringList{source, mountPoint}))
            QSKIP("this machine cannot mount it");
        const auto unmount = qScopeGuard([&] { succeeds("umount", {mountPoint}); });
        const QByteArray folder = QFile::encodeName(mountPoint);
        writeFile(folder + "/ABC.TXT", "abc");
        writeFile(folder + "/Other.txt", "other");
        if (mkfs.isEmpty())
            QVERIFY(succeeds("mount", {"-o", "remount,ro", mountPoint}));

        FakeRenameHost host;
        renameFile(folder + "/ABC.TXT", folder + "/abc.txt", host);
        renameFile(folder + "/abc.txt", folder + "/OTHER.TXT", host);
        renameFile(folder + "/Other.txt", folder + "/Other.txt", host);
        lines.replaceInStrings(QStringLiteral("%1"), mountPoint);
        QCOMPARE(host.lines, lines);
        QCOMPARE(filesIn(folder), after);
        // Found by the old spelling on every one of them: case-insensitive, or never renamed.
        QCOMPARE(readFile(folder + "/ABC.TXT"), QByteArray("abc"));
        QCOMPARE(readFile(folder + "/Other.txt"), QByteArray("other"));
    }
};

int runRenameFileTests(int argc, char** argv)
{
    RenameFileTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RenameFileTest.moc"
