#include "TrashTestKit.h"

#include <QFileInfo>
#include <QScopeGuard>

#include <ctime>
#include <future>

using namespace torvane;
using namespace torvane::trashtest;

class TrashTest : public QObject {
    Q_OBJECT

private:
    QByteArray base() const { return home_.base(); }
    QByteArray work() const { return home_.work(); }
    QByteArray homeTrash() const { return home_.homeTrash(); }

    TrashHome home_;

private slots:
    void init() { QVERIFY(home_.setUp()); }
    void cleanup() { home_.tearDown(); }

    void homeTrashFollowsTheEnvironment()
    {
        qputenv("XDG_DATA_HOME", "");
        QCOMPARE(homeTrashPath(), base() + "/home/.local/share/Trash");
        qputenv("XDG_DATA_HOME", "relative/data");   // not absolute: ignored
        QCOMPARE(homeTrashPath(), base() + "/home/.local/share/Trash");
        qputenv("XDG_DATA_HOME", base() + "/data/");
        QCOMPARE(homeTrashPath(), homeTrash());
    }

    void trashedFolderKeepsItsOriginInInfo()
    {
        const QByteArray folder = work() + "/Projects";
        makeDir(folder);
        makeDir(folder + "/sub");
        writeFile(folder + "/sub/notes.txt", "twelve bytes");

        // DeletionDate is local time: checked in a zone that is neither UTC nor a whole hour from it.
        const bool hadZone = qEnvironmentVariableIsSet("TZ");
        const QByteArray oldZone = qgetenv("TZ");
        const auto restoreZone = qScopeGuard([&] {
            if (hadZone)
                qputenv("TZ", oldZone);
            else
                qunsetenv("TZ");
            ::tzset();
        });
        qputenv("TZ", "IST-5:30");
        ::tzset();

        const std::time_t before = std::time(nullptr);
        const TrashedItem trashed = moveToTrash(folder);
        const std::time_t after = std::time(nullptr);

        QCOMPARE(trashed.trashDir, homeTrash());
        QCOMPARE(trashed.name, QByteArray("Projects"));
        QVERIFY(!exists(folder));
        QCOMPARE(readBytes(homeTrash() + "/files/Projects/sub/notes.txt"), QByteArray("twelve bytes"));
        QCOMPARE(origin(homeTrash(), "Projects"), folder);
        const QByteArray date = readInfo(homeTrash() + "/info/Projects.trashinfo").value("DeletionDate");
        QByteArrayList expected;
        for (std::time_t t = before; t <= after; ++t) {
            std::tm local{};
            QVERIFY(::localtime_r(&t, &local));
            QCOMPARE(local.tm_gmtoff, 5 * 3600 + 30 * 60);   // the zone took effect
            char text[32];
            QVERIFY(std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) > 0);
            expected << text;
        }
        QVERIFY2(expected.contains(date), (date + " is not one of " + expected.join(", ")).constData());
    }

    void nameClashesGetNumberedNames()
    {
        for (const char* parent : {"/a", "/b", "/c"}) {
            makeDir(work() + parent);
            makeDir(work() + parent + "/same");
            writeFile(work() + parent + "/same/origin", parent);
        }
        // An entry in files/ that lost its info must not be overwritten either.
        QVERIFY(moveToTrash(work() + "/a/same").name == "same");
        ::unlink((homeTrash() + "/info/same.trashinfo").constData());
        QCOMPARE(moveToTrash(work() + "/b/same").name, QByteArray("same.2"));
        QCOMPARE(moveToTrash(work() + "/c/same").name, QByteArray("same.3"));

        QCOMPARE(readBytes(homeTrash() + "/files/same/origin"), QByteArray("/a"));
        QCOMPARE(readBytes(homeTrash() + "/files/same.2/origin"), QByteArray("/b"));
        QCOMPARE(readBytes(homeTrash() + "/files/same.3/origin"), QByteArray("/c"));
        QVERIFY(!exists(homeTrash() + "/info/same.trashinfo"));
        QCOMPARE(origin(homeTrash(), "same.2"), work() + "/b/same");
        QCOMPARE(origin(homeTrash(), "same.3"), work() + "/c/same");

        // Orphans that a plain rename would replace without a word: an empty folder, and a file when a
        // file is trashed.
        makeDir(homeTrash() + "/files/empty");
        writeFile(homeTrash() + "/files/note", "orphan");
        struct stat orphan;
        QCOMPARE(::lstat((homeTrash() + "/files/empty").constData(), &orphan), 0);
        makeDir(work() + "/empty");
        writeFile(work() + "/note", "trashed");
        QCOMPARE(moveToTrash(work() + "/empty").name, QByteArray("empty.2"));
        QCOMPARE(moveToTrash(work() + "/note").name, QByteArray("note.2"));
        struct stat st;
        QCOMPARE(::lstat((homeTrash() + "/files/empty").constData(), &st), 0);
        QCOMPARE(st.st_ino, orphan.st_ino);
        QCOMPARE(readBytes(homeTrash() + "/files/note"), QByteArray("orphan"));
        QCOMPARE(readBytes(homeTrash() + "/files/note.2"), QByteArray("trashed"));
        QCOMPARE(origin(homeTrash(), "empty.2"), work() + "/empty");
        QCOMPARE(origin(homeTrash(), "note.2"), work() + "/note");
        QVERIFY(!exists(homeTrash() + "/info/empty.trashinfo"));
        QVERIFY(!exists(homeTrash() + "/info/note.trashinfo"));
    }

    void awkwardNamesSurviveByteExact_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("not UTF-8") << QByteArray("caf\xe9 \xff\xfe");
        QTest::newRow("newline") << QByteArray("line\nbreak");
        QTest::newRow("percent and URL marks") << QByteArray("100% sure #1?&x=y");
        QTest::newRow("UTF-8") << QByteArray("Fotos \xc3\xa9t\xc3\xa9");
        QTest::newRow("longest name") << QByteArray(255, 'n');
    }

    void awkwardNamesSurviveByteExact()
    {
        QFETCH(QByteArray, name);
        const QByteArray folder = work() + '/' + name;
        makeDir(folder);
        const TrashedItem trashed = moveToTrash(folder);
        QVERIFY(!exists(folder));
        QVERIFY(exists(homeTrash() + "/files/" + trashed.name));
        QVERIFY(name.startsWith(trashed.name));
        const QByteArray infoPath = homeTrash() + "/info/" + trashed.name + ".trashinfo";
        // Three lines and nothing else: a newline in the name must not break the format.
        QCOMPARE(readBytes(infoPath).count('\n'), 3);
        const QByteArray encoded = readInfo(infoPath).value("Path");
        for (const char c : encoded)
            QVERIFY2(c > 0x20 && c < 0x7f, encoded.constData());
        QCOMPARE(QByteArray::fromPercentEncoding(encoded), folder);
    }

    void refusalsChangeNothing()
    {
        makeDir(work() + "/first");
        moveToTrash(work() + "/first");
        // The default home trash, unused while XDG_DATA_HOME points elsewhere, is still a trash.
        const QByteArray defaultTrash = base() + "/home/.local/share/Trash";
        QVERIFY(QDir().mkpath(QFile::decodeName(defaultTrash + "/files/old")));

        for (const QByteArray& path : {homeTrash(), homeTrash() + "/files", homeTrash() + "/files/first", base() + "/data",
                                       defaultTrash + "/files/old"})
            QVERIFY2(refusal(path).description().contains(QLatin1String("trash folder")), path.constData());
        QCOMPARE(refusal(work() + "/never-was").number(), ENOENT);
        QVERIFY(exists(homeTrash() + "/files/first"));
        QVERIFY(exists(defaultTrash + "/files/old"));
        QCOMPARE(countEntries(homeTrash() + "/files"), 1);
        QCOMPARE(countEntries(homeTrash() + "/info"), 1);
        QVERIFY(exists(homeTrash() + "/info/first.trashinfo"));
    }

    void trashedFoldersAreListedInDirectorySizes()
    {
        const QByteArray name = "Fotos 2024\n100%";
        const QByteArray folder = work() + '/' + name;
        makeDir(folder);
        makeDir(folder + "/sub");
        writeFile(folder + "/sub/a", QByteArray(70000, 'a'));
        writeFile(folder + "/b", "b");
        makeDir(work() + "/kept");
        makeDir(work() + "/restored");
        writeFile(work() + "/plain.txt", "a file has no line");

        moveToTrash(work() + "/kept");
        moveToTrash(work() + "/restored");
        QCOMPARE(directorySizes(homeTrash()).size(), 2);
        // Put back by a file manager that left its line behind.
        QCOMPARE(::rename((homeTrash() + "/files/restored").constData(), (work() + "/restored").constData()), 0);
        const QByteArray beforeText = readBytes(homeTrash() + "/directorysizes");
        const QByteArrayList before = directorySizes(homeTrash());
        // Another name for the old cache: it must be replaced whole, never rewritten in place.
        QCOMPARE(::link((homeTrash() + "/directorysizes").constData(), (base() + "/old-sizes").constData()), 0);

        QCOMPARE(moveToTrash(folder).name, name);
        moveToTrash(work() + "/plain.txt");

        // Disk usage as du counts it: every entry's blocks, the folders' own included.
        const QByteArray trashed = homeTrash() + "/files/" + name;
        std::uint64_t allocated = 0;
        for (const char* entry : {"", "/sub", "/sub/a", "/b"}) {
            struct stat st;
            QCOMPARE(::lstat((trashed + entry).constData(), &st), 0);
            allocated += std::uint64_t(st.st_blocks) * 512;
        }
        QVERIFY(allocated >= 70000);
        struct stat info;
        QCOMPARE(::stat((homeTrash() + "/info/" + name + ".trashinfo").constData(), &info), 0);
        const QByteArray keptLine = before.first().endsWith(" kept") ? before.first() : before.last();
        QVERIFY(keptLine.endsWith(" kept"));
        QByteArrayList expected{keptLine, QByteArray::number(qulonglong(allocated)) + ' ' + QByteArray::number(qlonglong(info.st_mtime))
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
        makeDir(outside);
        writeFile(outside + "/precious", "do not delete");
        makeDir(outside + "/folder");
        writeFile(outside + "/folder/inner", "nor this");

        makeDir(work() + "/junk");
        makeDir(work() + "/junk/locked");
        writeFile(work() + "/junk/locked/x", "12345");
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
        QCOMPARE(before.bytes, std::uint64_t(5 + outside.size() + (outside.size() + 9) + (outside.size() + 7)));
        // The window measures on worker threads before it asks; two at once see the same.
        auto measure = [] { return trashContents({}); };
        std::future<TrashContents> workers[] = {std::async(std::launch::async, measure), std::async(std::launch::async, measure)};
        for (std::future<TrashContents>& worker : workers) {
            const TrashContents seen = worker.get();
            QCOMPARE(seen.items, before.items);
            QCOMPARE(seen.bytes, before.bytes);
        }

        emptyTrash({});
        QCOMPARE(countEntries(homeTrash() + "/files"), 0);
        QCOMPARE(countEntries(homeTrash() + "/info"), 0);
        QVERIFY(!exists(homeTrash() + "/directorysizes"));
        QCOMPARE(readBytes(outside + "/precious"), QByteArray("do not delete"));
        QCOMPARE(readBytes(outside + "/folder/inner"), QByteArray("nor this"));
        QCOMPARE(trashContents({}).items, std::uint64_t(0));
    }

    void deepTreesAreMeasuredAndRemoved()
    {
        // Deeper than PATH_MAX allows as one path: only descriptor-relative calls reach the bottom.
        constexpr int depth = 1500;
        const QByteArray deep = work() + "/deep";
        const QByteArray bottom = makeChain(work(), QByteArrayList{"deep"} + QByteArrayList(depth, "level"));
        QVERIFY(bottom.size() > PATH_MAX);
        const int fd = openFolder(bottom, O_PATH);
        const int file = ::openat(fd, "bottom", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        QCOMPARE(::write(file, "bottom", 6), ssize_t(6));
        ::close(file);
        QCOMPARE(::linkat(fd, "bottom", fd, "hardlink", 0), 0);
        ::close(fd);

        const TreeTotals totals = measureTree(AT_FDCWD, deep);
        QCOMPARE(totals.folders, std::uint64_t(depth));
        QCOMPARE(totals.files, std::uint64_t(2));
        QCOMPARE(totals.bytes, std::uint64_t(6));   // the hard link counts once
        QCOMPARE(totals.error, 0);
        // A stopped walk ends after the level it is reading.
        const std::atomic<bool> stop{true};
        QCOMPARE(measureTree(AT_FDCWD, deep, &stop).folders, std::uint64_t(1));

        moveToTrash(deep);
        QCOMPARE(trashContents({}).bytes, std::uint64_t(6));
        emptyTrash({});
        QCOMPARE(countEntries(homeTrash() + "/files"), 0);
    }

    void foldersResolveAsRealpathDoes()
    {
        const QByteArray w = work();
        makeDir(w + "/real");
        makeDir(w + "/real/inner");
        writeFile(w + "/file", "x");
        QCOMPARE(::symlink("real", (w + "/relative").constData()), 0);
        QCOMPARE(::symlink((w + "/real/inner").constData(), (w + "/absolute").constData()), 0);
        QCOMPARE(::symlink("relative/../absolute", (w + "/chained").constData()), 0);
        QCOMPARE(::symlink("loop", (w + "/loop").constData()), 0);

        const QByteArray real = QFile::encodeName(QFileInfo(QFile::decodeName(w)).canonicalFilePath());
        const std::pair<QByteArray, QByteArray> found[] = {
            {w, real},
            {"/", "/"},
            {"/..//./", "/"},
            {w + "/relative", real + "/real"},
            {w + "/relative/inner/..", real + "/real"},
            {w + "/absolute/../../relative/./inner/", real + "/real/inner"},
            {w + "/chained", real + "/real/inner"},
        };
        for (const auto& [path, expected] : found) {
            QByteArray resolved;
            const int fd = resolveFolder(path, resolved);
            QVERIFY2(fd >= 0, path.constData());
            QCOMPARE(resolved, expected);
            // The descriptor is the folder named.
            struct stat byFd;
            struct stat byPath;
            QCOMPARE(::fstat(fd, &byFd), 0);
            QCOMPARE(::stat(expected.constData(), &byPath), 0);
            QCOMPARE(byFd.st_ino, byPath.st_ino);
            ::close(fd);
        }
        const std::pair<QByteArray, int> refused[] = {
            {w + "/missing", ENOENT}, {w + "/file", ENOTDIR}, {w + "/file/..", ENOTDIR},
            {w + "/loop", ELOOP},     {QByteArray(), ENOENT},
        };
        for (const auto& [path, error] : refused) {
            QByteArray resolved = "untouched";
            errno = 0;
            const int fd = resolveFolder(path, resolved);
            const int err = errno;
            QCOMPARE(fd, -1);
            QCOMPARE(err, error);
            QCOMPARE(resolved, QByteArray("untouched"));
        }

        // Past PATH_MAX, where realpath gives up, links and ".." on the way still resolve.
        const QByteArray name(200, 'd');
        const QByteArray deep = makeChain(w + "/real", QByteArrayList(25, name));
        QVERIFY(deep.size() > PATH_MAX);
        const QByteArray twoDown = name + '/' + name;
        QCOMPARE(::symlink(("../" + twoDown).constData(), (w + "/real/inner/to-deep").constData()), 0);
        QByteArray resolved;
        int fd = resolveFolder(w + "/relative/inner/to-deep/../" + name + deep.mid(w.size() + 6 + twoDown.size()), resolved);
        QVERIFY(fd >= 0);
        QCOMPARE(resolved, real + deep.mid(w.size()));
        ::close(fd);
        // Opening for reading lists the deepest folder.
        fd = openFolder(w + "/chained/../../relative" + deep.mid(w.size() + 5), O_RDONLY);
        QVERIFY(fd >= 0);
        QCOMPARE(::mkdirat(fd, "bottom", 0755), 0);
        ::close(fd);
        struct stat st;
        QVERIFY(lstatLong(deep + "/bottom", st) && S_ISDIR(st.st_mode));
    }

    void itemsPastPathMaxAreTrashed()
    {
        // Reached through a link: the info holds the path without it, as for any item.
        makeDir(work() + "/real");
        QCOMPARE(::symlink("real", (work() + "/link").constData()), 0);
        const QByteArray item = makeChain(work() + "/real", QByteArrayList(20, QByteArray(250, 'c')) << "Caf\xe9 item");
        QVERIFY(item.size() > PATH_MAX);
        struct stat before;
        QVERIFY(lstatLong(item, before));

        const TrashedItem trashed = moveToTrash(work() + "/link" + item.mid(work().size() + 5));
        QCOMPARE(trashed.trashDir, homeTrash());
        QCOMPARE(trashed.name, QByteArray("Caf\xe9 item"));
        struct stat st;
        QVERIFY(!lstatLong(item, st));
        QVERIFY(lstatLong(homeTrash() + "/files/" + trashed.name, st));
        QCOMPARE(st.st_ino, before.st_ino);
        QCOMPARE(origin(homeTrash(), trashed.name), item);

        // On another volume the top is found by climbing from the item, and the path is relative to it.
        Volume volume(base() + "/vol");
        if (!volume.mounted())
            QSKIP("no second file system can be mounted here (needs root)");
        const QByteArray top = volume.path();
        const QByteArray onVolume = makeChain(top, QByteArrayList(20, QByteArray(250, 'v')));
        QVERIFY(onVolume.size() > PATH_MAX);
        QVERIFY(lstatLong(onVolume, before));
        const TrashedItem elsewhere = moveToTrash(onVolume);
        QCOMPARE(elsewhere.trashDir, top + "/.Trash-" + uid());
        QVERIFY(!lstatLong(onVolume, st));
        QVERIFY(lstatLong(onVolume.left(onVolume.lastIndexOf('/')), st));
        QVERIFY(lstatLong(top + "/.Trash-" + uid() + "/files/" + elsewhere.name, st));
        QCOMPARE(st.st_ino, before.st_ino);
        QCOMPARE(readInfo(top + "/.Trash-" + uid() + "/info/" + elsewhere.name + ".trashinfo").value("Path"),
                 onVolume.mid(top.size() + 1));
        QVERIFY(!exists(homeTrash() + "/files/" + elsewhere.name));
    }
};

QTEST_GUILESS_MAIN(TrashTest)
#include "tst_trash.moc"
