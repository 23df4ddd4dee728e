#include "TrashTestKit.h"

#include <QDateTime>
#include <QFileInfo>

using namespace torvane;
using namespace torvane::trashtest;

class TrashTest : public QObject, public TrashHome {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // DeletionDate is local time: checked in a zone that is neither UTC nor a whole hour from it.
        qputenv("TZ", "IST-5:30");
        ::tzset();
    }
    void init() { QVERIFY(setUp()); }
    void cleanup() { tearDown(); }

    void trashedFoldersKeepNameAndOrigin()
    {
        const QByteArray names[] = {"caf\xe9 \xff\xfe", "line\nbreak", "100% sure #1?&x=y", QByteArray(NAME_MAX, 'n')};
        for (const QByteArray& name : names) {
            const QByteArray folder = work() + '/' + name;
            makeTree(work(), {name + '/', name + "/sub/", name + "/sub/notes.txt"});

            const qint64 before = QDateTime::currentSecsSinceEpoch();
            const TrashedItem trashed = moveToTrash(folder);
            const qint64 after = QDateTime::currentSecsSinceEpoch();

            QCOMPARE(trashed.trashDir, homeTrash());
            // Only the longest name is cut, to leave room for the info's suffix.
            QCOMPARE(trashed.name, name.size() < NAME_MAX ? name : name.left(trashed.name.size()));
            QVERIFY(!exists(folder));
            QCOMPARE(readBytes(homeTrash() + "/files/" + trashed.name + "/sub/notes.txt"), QByteArray("notes.txt"));
            const QByteArray infoFile = homeTrash() + "/info/" + trashed.name + ".trashinfo";
            // Three lines and nothing else: a newline in the name must not break the format.
            QCOMPARE(readBytes(infoFile).count('\n'), 3);
            const QMap<QByteArray, QByteArray> info = readInfo(infoFile);
            for (const char c : info.value("Path"))
                QVERIFY2(c > 0x20 && c < 0x7f, info.value("Path").constData());
            QCOMPARE(QByteArray::fromPercentEncoding(info.value("Path")), folder);
            const QDateTime date = QDateTime::fromString(QString::fromLatin1(info.value("DeletionDate")),
                                                         QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
            QCOMPARE(date.offsetFromUtc(), 5 * 3600 + 30 * 60);   // read as local time, in the zone set above
            QVERIFY2(date.toSecsSinceEpoch() >= before && date.toSecsSinceEpoch() <= after, info.value("DeletionDate").constData());
        }
    }

    void nameClashesGetNumberedNames()
    {
        // Orphans in files/ without their info, which a plain rename would replace without a word:
        // an empty folder, and a file when a file is trashed.
        makeTree(base(), {"data/", "data/Trash/", "data/Trash/files/", "data/Trash/files/same/", "data/Trash/info/"});
        writeFile(homeTrash() + "/files/note", "orphan");
        const ino_t orphan = statOf(homeTrash() + "/files/same").st_ino;
        makeTree(work(), {"a/", "a/same/", "b/", "b/same/", "note"});

        // same.3: same.2's info is taken.
        QByteArrayList origins;
        for (const char* item : {"/a/same", "/b/same", "/note"}) {
            const QByteArray name = moveToTrash(work() + item).name;
            origins << name + ' ' + origin(homeTrash(), name);
        }
        const QByteArray w = work();
        QCOMPARE(origins, (QByteArrayList{"same.2 " + w + "/a/same", "same.3 " + w + "/b/same", "note.2 " + w + "/note"}));
        QCOMPARE(statOf(homeTrash() + "/files/same").st_ino, orphan);
        QCOMPARE((QByteArrayList{readBytes(homeTrash() + "/files/note"), readBytes(homeTrash() + "/files/note.2")}),
                 (QByteArrayList{"orphan", "note"}));
        QCOMPARE(countEntries(homeTrash() + "/info"), 3);
    }

    void homeTrashIsFoundAndNeverTrashed()
    {
        // The home trash follows XDG_DATA_HOME where it is set and absolute.
        const QByteArray defaultTrash = base() + "/home/.local/share/Trash";
        for (const QByteArray& value : {QByteArray(), QByteArray("relative/data")}) {
            qputenv("XDG_DATA_HOME", value);
            QCOMPARE(homeTrashPath(), defaultTrash);
        }
        qputenv("XDG_DATA_HOME", base() + "/data/");
        QCOMPARE(homeTrashPath(), homeTrash());
        makeDir(work() + "/first");
        moveToTrash(work() + "/first");
        // The default home trash, unused while XDG_DATA_HOME points elsewhere, is still a trash.
        QVERIFY(QDir().mkpath(QFile::decodeName(defaultTrash + "/files/old")));

        for (const QByteArray& path : {homeTrash(), homeTrash() + "/files", homeTrash() + "/files/first", base() + "/data",
                                       defaultTrash + "/files/old"})
            QVERIFY2(refusal(path).description().contains(QLatin1String("trash folder")), path.constData());
        QCOMPARE(refusal(work() + "/never-was").number(), ENOENT);
        QVERIFY(exists(homeTrash() + "/files/first"));
        QVERIFY(exists(defaultTrash + "/files/old"));
        QCOMPARE(countEntries(homeTrash() + "/files"), 1);
        QCOMPARE(filesIn(homeTrash() + "/info"), QByteArrayList{"first.trashinfo"});
    }

    void trashedFoldersAreListedInDirectorySizes()
    {
        const QByteArray name = "Fotos 2024\n100%";
        const QByteArray folder = work() + '/' + name;
        makeTree(work(), {name + '/', name + "/sub/", name + "/b", "kept/", "restored/", "plain.txt"});
        writeFile(folder + "/sub/a", QByteArray(70000, 'a'));
        moveToTrash(work() + "/kept");
        moveToTrash(work() + "/restored");
        const QByteArrayList before = directorySizes(homeTrash());
        QCOMPARE(before.size(), 2);
        const QByteArray keptLine = before.first().endsWith(" kept") ? before.first() : before.last();
        QVERIFY(keptLine.endsWith(" kept"));
        // Put back by a file manager that left its line behind.
        QCOMPARE(::rename((homeTrash() + "/files/restored").constData(), (work() + "/restored").constData()), 0);
        // Another name for the old cache: it must be replaced whole, never rewritten in place.
        const QByteArray beforeText = readBytes(homeTrash() + "/directorysizes");
        QCOMPARE(::link((homeTrash() + "/directorysizes").constData(), (base() + "/old-sizes").constData()), 0);

        QCOMPARE(moveToTrash(folder).name, name);
        moveToTrash(work() + "/plain.txt");

        // Disk usage as du counts it: every entry's blocks, the folders' own included.
        std::uint64_t allocated = 0;
        for (const char* entry : {"", "/sub", "/sub/a", "/b"})
            allocated += std::uint64_t(statOf(homeTrash() + "/files/" + name + entry).st_blocks) * 512;
        QVERIFY(allocated >= 70000);
        const time_t infoTime = statOf(homeTrash() + "/info/" + name + ".trashinfo").st_mtime;
        QVERIFY(infoTime > 0);
        QByteArrayList expected{keptLine, QByteArray::number(qulonglong(allocated)) + ' ' + QByteArray::number(qlonglong(infoTime))
                                              + " Fotos%202024%0A100%25"};
        std::sort(expected.begin(), expected.end());
        QCOMPARE(directorySizes(homeTrash()), expected);
        QCOMPARE(readBytes(base() + "/old-sizes"), beforeText);
        // Nothing of the temporary file is left beside it.
        QCOMPARE(countEntries(homeTrash()), 3);
    }

    void emptyingNeverFollowsLinks()
    {
        const QByteArray outside = base() + "/outside";
        makeTree(base(), {"outside/", "outside/precious", "outside/folder/", "outside/folder/inner", "work/junk/",
                          "work/junk/locked/", "work/junk/locked/x"});
        QCOMPARE(::symlink(outside.constData(), (work() + "/junk/to-outside").constData()), 0);
        QCOMPARE(::symlink((outside + "/precious").constData(), (work() + "/junk/to-file").constData()), 0);
        ::chmod((work() + "/junk/locked").constData(), 0500);
        moveToTrash(work() + "/junk");
        QCOMPARE(::symlink((outside + "/folder").constData(), (work() + "/top-link").constData()), 0);
        moveToTrash(work() + "/top-link");
        writeFile(homeTrash() + "/directorysizes", "5 0 junk\n");

        // The links count as their own length, never as what they point to.
        const TrashContents before = trashContents({});
        QCOMPARE(before.items, std::uint64_t(2));
        QCOMPARE(before.bytes, std::uint64_t(1 + outside.size() + (outside.size() + 9) + (outside.size() + 7)));

        emptyTrash({});
        // Entries in files/ and info/, and whether directorysizes is left.
        QCOMPARE((QList<int>{countEntries(homeTrash() + "/files"), countEntries(homeTrash() + "/info"),
                             int(exists(homeTrash() + "/directorysizes"))}), (QList<int>{0, 0, 0}));
        QCOMPARE((QByteArrayList{readBytes(outside + "/precious"), readBytes(outside + "/folder/inner")}),
                 (QByteArrayList{"precious", "inner"}));
    }

    void deepTreesAreTrashedMeasuredAndRemoved()
    {
        // Deeper than PATH_MAX allows as one path: only descriptor-relative calls reach the bottom.
        constexpr int depth = 1500;
        makeDir(work() + "/real");
        QCOMPARE(::symlink("real", (work() + "/link").constData()), 0);
        const QByteArray deep = work() + "/real/deep";
        const QByteArray item = makeChain(work() + "/real", QByteArrayList{"deep"} + QByteArrayList(depth, "level") << "Caf\xe9 item");
        QVERIFY(item.size() > PATH_MAX);
        const int fd = openFolder(item, O_PATH);
        const int file = ::openat(fd, "bottom", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        QCOMPARE(::write(file, "bottom", 6), ssize_t(6));
        ::close(file);
        QCOMPARE(::linkat(fd, "bottom", fd, "hardlink", 0), 0);
        ::close(fd);

        const TreeTotals totals = measureTree(AT_FDCWD, deep);
        QCOMPARE((QList<qint64>{qint64(totals.folders), qint64(totals.files), qint64(totals.bytes), totals.error}),
                 (QList<qint64>{depth + 1, 2, 6, 0}));   // the hard link's bytes count once
        // A stopped walk ends after the level it is reading.
        const std::atomic<bool> stop{true};
        QCOMPARE(measureTree(AT_FDCWD, deep, &stop).folders, std::uint64_t(1));

        // Reached through a link: the info holds the path without it, as for any item.
        const ino_t before = statOf(item).st_ino;
        QVERIFY(before != 0);
        const TrashedItem trashed = moveToTrash(work() + "/link" + item.mid(work().size() + 5));
        QCOMPARE((QByteArrayList{trashed.trashDir, trashed.name}), (QByteArrayList{homeTrash(), "Caf\xe9 item"}));
        QCOMPARE(statOf(item).st_ino, ino_t(0));
        QCOMPARE(statOf(homeTrash() + "/files/" + trashed.name).st_ino, before);
        QCOMPARE(origin(homeTrash(), trashed.name), item);

        moveToTrash(deep);
        QCOMPARE(trashContents({}).bytes, std::uint64_t(6));
        emptyTrash({});
        QCOMPARE(countEntries(homeTrash() + "/files"), 0);
    }

    void foldersResolveAsRealpathDoes()
    {
        const QByteArray w = work();
        makeTree(w, {"real/", "real/inner/", "file"});
        QCOMPARE(::symlink("real", (w + "/relative").constData()), 0);
        QCOMPARE(::symlink((w + "/real/inner").constData(), (w + "/absolute").constData()), 0);
        QCOMPARE(::symlink("relative/../absolute", (w + "/chained").constData()), 0);
        QCOMPARE(::symlink("loop", (w + "/loop").constData()), 0);
        // Past PATH_MAX, where realpath gives up.
        const QByteArray name(200, 'd');
        const QByteArray deep = makeChain(w + "/real", QByteArrayList(25, name));
        QVERIFY(deep.size() > PATH_MAX);
        const QByteArray twoDown = name + '/' + name;
        QCOMPARE(::symlink(("../" + twoDown).constData(), (w + "/real/inner/to-deep").constData()), 0);

        const QByteArray real = QFile::encodeName(QFileInfo(QFile::decodeName(w)).canonicalFilePath());
        const std::pair<QByteArray, QByteArray> found[] = {
            {w, real},
            {"/..//./", "/"},
            {w + "/relative", real + "/real"},
            {w + "/absolute/../../relative/./inner/", real + "/real/inner"},
            {w + "/chained", real + "/real/inner"},
            {w + "/relative/inner/to-deep/../" + name + deep.mid(w.size() + 6 + twoDown.size()), real + deep.mid(w.size())},
        };
        for (const auto& [path, expected] : found) {
            QByteArray resolved;
            const int fd = resolveFolder(path, resolved);
            QVERIFY2(fd >= 0, path.constData());
            QCOMPARE(resolved, expected);
            struct stat byFd;
            QCOMPARE(::fstat(fd, &byFd), 0);
            QCOMPARE(byFd.st_ino, statOf(expected).st_ino);
            ::close(fd);
        }
        // Refusals leave the result alone and say why in errno.
        QList<int> errors;
        for (const QByteArray& path : {w + "/missing", w + "/file", w + "/file/..", w + "/loop", QByteArray()}) {
            QByteArray resolved = "untouched";
            errno = 0;
            errors << (resolveFolder(path, resolved) == -1 && resolved == "untouched" ? errno : -1);
        }
        QCOMPARE(errors, (QList<int>{ENOENT, ENOTDIR, ENOTDIR, ELOOP, ENOENT}));
    }
};

QTEST_GUILESS_MAIN(TrashTest)
#include "tst_trash.moc"
