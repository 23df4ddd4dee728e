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
    // One rename in a folder of files that each hold their own name. A failure puts its line on
    // top of the status text and leaves every file as it was: never another file replaced, even a
    // hard link of the same file, and no temporary name behind.
    void renames_data()
    {
        QTest::addColumn<QByteArrayList>("files");
        QTest::addColumn<bool>("hardLink");   // the second file is a link of the first
        QTest::addColumn<QByteArray>("oldName");
        QTest::addColumn<QByteArray>("newName");
        QTest::addColumn<QByteArrayList>("after");   // empty: the rename fails
        auto row = [](const char* tag, const QByteArrayList& files, bool hardLink, const QByteArray& oldName,
                      const QByteArray& newName, const QByteArrayList& after) {
            QTest::newRow(tag) << files << hardLink << oldName << newName << after;
        };
        const QByteArray stray("Caf\xe9 \xff" "MENU.TXT"), strayLower("caf\xe9 \xff" "menu.txt");
        row("case only", {"ABC.TXT"}, false, "/ABC.TXT", "/abc.txt", {"abc.txt"});
        row("doubled separators", {"x.txt"}, false, "//x.txt", "//X.TXT", {"X.TXT"});
        row("other name", {"a b"}, false, "/a b", "/A B.txt", {"A B.txt"});
        row("identical name", {"Same.txt"}, false, "/Same.txt", "/Same.txt", {"Same.txt"});
        row("not UTF-8", {stray}, false, '/' + stray, '/' + strayLower, {strayLower});
        row("onto another file", {"a", "A"}, false, "/a", "/A", {});
        row("onto a hard link of itself", {"a", "A"}, true, "/a", "/A", {});
        row("missing", {}, false, "/gone.txt", "/GONE.TXT", {});
        row("missing, identical name", {}, false, "/gone", "/gone", {});
        row("missing, not UTF-8", {}, false, '/' + stray, "/x", {});
    }
    void renames()
    {
        QFETCH(QByteArrayList, files);
        QFETCH(bool, hardLink);
        QFETCH(QByteArray, oldName);
        QFETCH(QByteArray, newName);
        QFETCH(QByteArrayList, after);
        QTemporaryDir dir;
        const QByteArray folder = bytesOf(dir);
        for (const QByteArray& name : files) {
            if (hardLink && name != files.first())
                QCOMPARE(::link((folder + '/' + files.first()).constData(), (folder + '/' + name).constData()), 0);
            else
                writeFile(folder + '/' + name, name);
        }
        FakeRenameHost host;
        host.lines = QStringList{"older line"};
        renameFile(folder + oldName, folder + newName, host);
        const bool fails = after.isEmpty();
        QStringList lines{"older line"};
        // A name that is not UTF-8 shows readably, its stray bytes replaced.
        if (fails)
            lines.prepend(" Cannot access " + QString::fromUtf8(folder + oldName) + '.');
        QCOMPARE(host.lines, lines);
        const QByteArray firstContent = files.value(0);
        std::sort(files.begin(), files.end());
        QCOMPARE(filesIn(folder), fails ? files : after);
        for (const QByteArray& name : fails ? files : after)
            QCOMPARE(readFile(folder + '/' + name), fails && !hardLink ? name : firstContent);
        for (const QByteArray& name : filesIn(folder))
            std::remove((folder + '/' + name).constData());   // QTemporaryDir cannot, if not UTF-8
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
