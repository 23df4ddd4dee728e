#include "TrashTestKit.h"

using namespace torvane;
using namespace torvane::trashtest;

// The trashes of other volumes: $top/.Trash/$uid and $top/.Trash-$uid, on file systems mounted for
// the test (only root may mount; elsewhere these skip).
class TrashVolumeTest : public QObject {
    Q_OBJECT

private:
    QByteArray base() const { return home_.base(); }
    QByteArray work() const { return home_.work(); }
    QByteArray homeTrash() const { return home_.homeTrash(); }

    TrashHome home_;

private slots:
    void init() { QVERIFY(home_.setUp()); }
    void cleanup() { home_.tearDown(); }
    void otherVolumeUsesItsOwnTrash()
    {
        Volume volume(base() + "/vol");
        if (!volume.mounted())
            QSKIP("no second file system can be mounted here (needs root)");
        const QByteArray top = volume.path();
        const QByteArray privateTrash = top + "/.Trash-" + uid();
        makeDir(top + "/photos");
        makeDir(top + "/photos/2024");
        writeFile(top + "/photos/2024/a.jpg", "jpeg");

        // Where no trash can be made, nothing is moved, and nothing goes to the home trash instead.
        writeFile(privateTrash, "a file where the trash should be");
        const QString reason = refusal(top + "/photos/2024").description();
        QVERIFY2(reason.contains(QLatin1String("Nothing was moved")), qPrintable(reason));
        QCOMPARE(readBytes(top + "/photos/2024/a.jpg"), QByteArray("jpeg"));
        QCOMPARE(countEntries(homeTrash() + "/files"), 0);
        QCOMPARE(::unlink(privateTrash.constData()), 0);

        // No .Trash on the volume: $top/.Trash-$uid, made private, with a path relative to the top.
        QCOMPARE(moveToTrash(top + "/photos/2024").trashDir, privateTrash);
        QCOMPARE(readBytes(privateTrash + "/files/2024/a.jpg"), QByteArray("jpeg"));
        QCOMPARE(readInfo(privateTrash + "/info/2024.trashinfo").value("Path"), QByteArray("photos/2024"));
        struct stat st;
        QCOMPARE(::lstat(privateTrash.constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0700));
        QVERIFY(!exists(homeTrash() + "/files/2024"));

        // A sticky .Trash is used, and its $uid folder is made on demand.
        makeDir(top + "/.Trash", 01777);
        makeDir(top + "/shared");
        QCOMPARE(moveToTrash(top + "/shared").trashDir, top + "/.Trash/" + uid());
        QVERIFY(exists(top + "/.Trash/" + uid() + "/files/shared"));
        QCOMPARE(readInfo(top + "/.Trash/" + uid() + "/info/shared.trashinfo").value("Path"), QByteArray("shared"));

        // Neither form of the volume's trash, nor anything in them, is trashed.
        for (const QByteArray& path : {top + "/.Trash", top + "/.Trash/" + uid() + "/files/shared", privateTrash,
                                       privateTrash + "/files/2024"}) {
            QVERIFY2(refusal(path).description().contains(QLatin1String("trash folder")), path.constData());
            QVERIFY(exists(path));
        }
    }

    void emptyingBothVolumeFormsCountsAndSizes()
    {
        Volume volume(base() + "/vol");
        if (!volume.mounted())
            QSKIP("no second file system can be mounted here (needs root)");
        const QByteArray top = volume.path();

        makeDir(work() + "/home-item");
        writeFile(work() + "/home-item/f", QByteArray(100, 'h'));
        moveToTrash(work() + "/home-item");
        makeDir(top + "/private");
        writeFile(top + "/private/f", QByteArray(1000, 'p'));
        QCOMPARE(moveToTrash(top + "/private").trashDir, top + "/.Trash-" + uid());
        makeDir(top + "/.Trash", 01777);
        writeFile(top + "/shared.bin", QByteArray(10000, 's'));
        QCOMPARE(moveToTrash(top + "/shared.bin").trashDir, top + "/.Trash/" + uid());
        writeFile(top + "/.Trash/" + uid() + "/directorysizes", "0 0 x\n");

        // The volume named twice, once with a trailing slash, counts once.
        const std::vector<QByteArray> mounts{top, top + '/'};
        const TrashContents contents = trashContents(mounts);
        QCOMPARE(contents.items, std::uint64_t(3));
        QCOMPARE(contents.bytes, std::uint64_t(11100));
        QCOMPARE(trashContents({}).items, std::uint64_t(1));

        emptyTrash(mounts);
        for (const QByteArray& trash : {homeTrash(), top + "/.Trash-" + uid(), top + "/.Trash/" + uid()}) {
            QCOMPARE(countEntries(trash + "/files"), 0);
            QCOMPARE(countEntries(trash + "/info"), 0);
            QVERIFY(!exists(trash + "/directorysizes"));
        }
        QCOMPARE(trashContents(mounts).bytes, std::uint64_t(0));
    }

    void emptyingStaysOnTheTrashFileSystem()
    {
        makeDir(work() + "/item");
        makeDir(work() + "/item/sub");
        moveToTrash(work() + "/item");
        makeDir(work() + "/gone");
        moveToTrash(work() + "/gone");
        QCOMPARE(directorySizes(homeTrash()).size(), 2);
        Volume top(homeTrash() + "/files/vol");   // the trashed entry itself is a mount point
        Volume nested(homeTrash() + "/files/item/sub/vol");
        if (!top.mounted() || !nested.mounted())
            QSKIP("no second file system can be mounted here (needs root)");
        writeFile(top.path() + "/elsewhere", "another volume");
        writeFile(nested.path() + "/elsewhere", "another volume");

        QVERIFY_THROWS_EXCEPTION(PlatformError, emptyTrash({}));
        QCOMPARE(readBytes(top.path() + "/elsewhere"), QByteArray("another volume"));
        QCOMPARE(readBytes(nested.path() + "/elsewhere"), QByteArray("another volume"));
        // The folder that could not be removed keeps its line; the removed one loses its own.
        QVERIFY(!exists(homeTrash() + "/files/gone"));
        const QByteArrayList sizes = directorySizes(homeTrash());
        QCOMPARE(sizes.size(), 1);
        QVERIFY2(sizes.first().endsWith(" item"), sizes.first().constData());
    }

    void sharedTrashMustBeTheUsersOwn_data()
    {
        // Each row lays out a .Trash that must not be used, with a decoy trash (its files/ and info/
        // holding one item) where a trash that wrongly accepted it would put things, count and empty.
        QTest::addColumn<QByteArray>("layout");
        QTest::addColumn<QByteArray>("decoy");   // relative to the volume's top
        const QByteArray id = uid();
        QTest::newRow(".Trash without the sticky bit") << QByteArray("loose") << ".Trash/" + id;
        QTest::newRow(".Trash a link to a sticky folder") << QByteArray("linked") << "sticky/" + id;
        QTest::newRow("$uid a link") << QByteArray("uid-link") << QByteArray("elsewhere");
        QTest::newRow("$uid another user's") << QByteArray("uid-foreign") << ".Trash/" + id;
    }

    void sharedTrashMustBeTheUsersOwn()
    {
        QFETCH(QByteArray, layout);
        QFETCH(QByteArray, decoy);
        Volume volume(base() + "/vol");
        if (!volume.mounted())
            QSKIP("no second file system can be mounted here (needs root)");
        const QByteArray top = volume.path();
        const QByteArray shared = top + "/.Trash";
        if (layout == "loose")
            makeDir(shared, 0777);
        if (layout == "linked") {
            makeDir(top + "/sticky", 01777);
            QCOMPARE(::symlink("sticky", shared.constData()), 0);
        }
        if (layout.startsWith("uid-"))
            makeDir(shared, 01777);
        makeDir(top + '/' + decoy, 0700);
        for (const char* sub : {"/files", "/info"})
            makeDir(top + '/' + decoy + sub, 0700);
        makeDir(top + '/' + decoy + "/files/decoy");
        writeFile(top + '/' + decoy + "/info/decoy.trashinfo", "[Trash Info]\nPath=decoy\n");
        if (layout == "uid-link")
            QCOMPARE(::symlink(("../" + decoy).constData(), (shared + '/' + uid()).constData()), 0);
        if (layout == "uid-foreign")
            QCOMPARE(::chown((top + '/' + decoy).constData(), ::getuid() + 4242, ::getgid()), 0);

        makeDir(top + "/item");
        QCOMPARE(moveToTrash(top + "/item").trashDir, top + "/.Trash-" + uid());
        QCOMPARE(trashContents({top}).items, std::uint64_t(1));
        emptyTrash({top});
        QCOMPARE(countEntries(top + "/.Trash-" + uid() + "/files"), 0);
        QCOMPARE(countEntries(top + '/' + decoy + "/files"), 1);
        QVERIFY(exists(top + '/' + decoy + "/files/decoy"));
        QVERIFY(exists(top + '/' + decoy + "/info/decoy.trashinfo"));
    }

    void craftedTrashLinksAreNeverFollowed_data()
    {
        QTest::addColumn<QByteArray>("trash");    // relative to the volume's top
        QTest::addColumn<QByteArray>("linked");   // the entry in it that is a link out of it
        for (const QByteArray& trash : {".Trash-" + uid(), ".Trash/" + uid()}) {
            for (const char* linked : {"files", "info", "directorysizes"})
                QTest::addRow("%s, %s", trash.constData(), linked) << trash << QByteArray(linked);
        }
    }

    void craftedTrashLinksAreNeverFollowed()
    {
        QFETCH(QByteArray, trash);
        QFETCH(QByteArray, linked);
        Volume volume(base() + "/vol");
        if (!volume.mounted())
            QSKIP("no second file system can be mounted here (needs root)");
        // A removable volume's trash, made by whoever wrote the volume: its parts lead out of it, to
        // the owner's files on the same volume.
        const QByteArray top = volume.path();
        const QByteArray outside = top + "/outside";
        makeDir(outside);
        writeFile(outside + "/precious", "keep");
        makeDir(outside + "/folder");
        writeFile(outside + "/folder/inner.trashinfo", "[Trash Info]\nPath=inner\n");
        const auto outsideState = [&outside] {
            return readBytes(outside + "/precious") + '|' + readBytes(outside + "/folder/inner.trashinfo") + '|'
                   + QByteArray::number(countEntries(outside)) + QByteArray::number(countEntries(outside + "/folder"));
        };
        const QByteArray untouched = outsideState();

        if (trash.startsWith(".Trash/"))
            makeDir(top + "/.Trash", 01777);
        const QByteArray dir = top + '/' + trash;
        makeDir(dir, 0700);
        for (const QByteArray& sub : {QByteArray("files"), QByteArray("info")}) {
            if (sub != linked)
                makeDir(dir + '/' + sub, 0700);
        }
        const QByteArray target = linked == "directorysizes" ? outside + "/precious" : outside;
        QCOMPARE(::symlink(target.constData(), (dir + '/' + linked).constData()), 0);
        makeDir(top + "/item");
        writeFile(top + "/item/f", "item");

        struct stat st;
        if (linked == "directorysizes") {
            // The trash itself is sound; the cache is written in the link's place, not through it.
            QCOMPARE(moveToTrash(top + "/item").trashDir, dir);
            QCOMPARE(::lstat((dir + "/directorysizes").constData(), &st), 0);
            QVERIFY(S_ISREG(st.st_mode));
            QCOMPARE(directorySizes(dir).size(), 1);
            QCOMPARE(trashContents({top}).items, std::uint64_t(1));
            emptyTrash({top});
            QVERIFY(!exists(dir + "/directorysizes"));
        } else {
            const QString reason = refusal(top + "/item").description();
            QVERIFY2(reason.contains(QLatin1String("Nothing was moved")), qPrintable(reason));
            QCOMPARE(readBytes(top + "/item/f"), QByteArray("item"));
            QCOMPARE(trashContents({top}).items, std::uint64_t(0));
            int emptying = 0;
            try {
                emptyTrash({top});
            } catch (const PlatformError& e) {
                emptying = e.number();
            }
            QCOMPARE(outsideState(), untouched);
            // What could not be emptied is a failure to report, not a success.
            QVERIFY(emptying != 0);
            QCOMPARE(::lstat((dir + '/' + linked).constData(), &st), 0);
            QVERIFY(S_ISLNK(st.st_mode));
        }
        QCOMPARE(outsideState(), untouched);
    }

    void bindMountsUseTheTrashOfTheirOwnTop()
    {
        Volume volume(base() + "/vol");
        if (!volume.mounted())
            QSKIP("no file system can be mounted here (needs root)");
        // The volume is the home file system here.
        const QByteArray top = volume.path();
        qputenv("XDG_DATA_HOME", top + "/data");
        makeDir(top + "/data");
        makeDir(top + "/shared");
        for (const char* name : {"/inside", "/outside", "/plain"}) {
            makeDir(top + "/shared" + name);
            writeFile(top + "/shared" + name + "/f", name);
        }
        // Bound within the home volume, where climbing by device alone passes the bind mount's top,
        // and outside it, where a user's bind mount of the home file system usually is.
        BindMount within(top + "/shared", top + "/bound");
        BindMount outside(top + "/shared", base() + "/bound");
        if (!within.mounted() || !outside.mounted())
            QSKIP("no bind mount can be made here (needs root)");

        const QByteArray ownTrash = "/.Trash-" + uid();
        const TrashedItem first = moveToTrash(top + "/bound/inside");
        QCOMPARE(first.trashDir, top + "/bound" + ownTrash);
        QCOMPARE(readBytes(top + "/shared" + ownTrash + "/files/inside/f"), QByteArray("/inside"));
        QCOMPARE(readInfo(first.trashDir + "/info/inside.trashinfo").value("Path"), QByteArray("inside"));
        const TrashedItem second = moveToTrash(base() + "/bound/outside");
        QCOMPARE(second.trashDir, base() + "/bound" + ownTrash);
        QCOMPARE(readBytes(top + "/shared" + ownTrash + "/files/outside/f"), QByteArray("/outside"));
        QCOMPARE(readInfo(second.trashDir + "/info/outside.trashinfo").value("Path"), QByteArray("outside"));
        // The home trash was neither used nor made for them.
        QVERIFY(!exists(top + "/data/Trash"));

        // The same folder reached through the home mount goes to the home trash.
        QCOMPARE(moveToTrash(top + "/shared/plain").trashDir, top + "/data/Trash");
        QCOMPARE(readBytes(top + "/data/Trash/files/plain/f"), QByteArray("/plain"));
    }

    void homeTrashOutOfReachFallsBackToTheTop()
    {
        Volume volume(base() + "/vol");
        if (!volume.mounted())
            QSKIP("no file system can be mounted here (needs root)");
        const QByteArray top = volume.path();
        const QByteArray homeTrashOnVolume = top + "/data/Trash";
        qputenv("XDG_DATA_HOME", top + "/data");
        makeDir(top + "/data");
        makeDir(homeTrashOnVolume);
        makeDir(homeTrashOnVolume + "/info");
        makeDir(base() + "/elsewhere");
        // The trash folder is on the item's mount, but its files/ is not: only the move can tell.
        BindMount files(base() + "/elsewhere", homeTrashOnVolume + "/files");
        if (!files.mounted())
            QSKIP("no bind mount can be made here (needs root)");
        makeDir(top + "/item");
        writeFile(top + "/item/f", "kept");

        const TrashedItem trashed = moveToTrash(top + "/item");
        QCOMPARE(trashed.trashDir, top + "/.Trash-" + uid());
        QCOMPARE(readBytes(trashed.trashDir + "/files/item/f"), QByteArray("kept"));
        QCOMPARE(readInfo(trashed.trashDir + "/info/item.trashinfo").value("Path"), QByteArray("item"));
        QVERIFY(!exists(top + "/item"));
        // The info claimed in the home trash for the failed move is gone again.
        QCOMPARE(countEntries(homeTrashOnVolume + "/info"), 0);
        QCOMPARE(countEntries(base() + "/elsewhere"), 0);
    }
};

QTEST_GUILESS_MAIN(TrashVolumeTest)
#include "tst_trash_volumes.moc"
