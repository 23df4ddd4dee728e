#include "TrashTestKit.h"

using namespace torvane;
using namespace torvane::trashtest;

// The trashes of other volumes, $top/.Trash/$uid and $top/.Trash-$uid, on a tmpfs mounted for each
// test (only root may mount; elsewhere these skip).
class TrashVolumeTest : public QObject, public TrashHome {
    Q_OBJECT

private:
    QByteArray top() const { return volume_->path(); }

    std::unique_ptr<TestMount> volume_;

private slots:
    void init()
    {
        QVERIFY(setUp());
        volume_ = std::make_unique<TestMount>(base() + "/vol");
        if (!volume_->mounted())
            QSKIP("no second file system can be mounted here (needs root)");
    }
    void cleanup()
    {
        volume_.reset();
        tearDown();
    }

    void otherVolumesUseTheirOwnTrash()
    {
        const QByteArray privateTrash = top() + "/.Trash-" + uid();
        const QByteArray sharedTrash = top() + "/.Trash/" + uid();
        // Deeper than PATH_MAX: the top is found by climbing from the item's folder.
        const QByteArray deep = makeChain(top(), QByteArrayList(20, QByteArray(250, 'v')));
        QVERIFY(deep.size() > PATH_MAX);
        const ino_t before = statOf(deep).st_ino;
        QVERIFY(before != 0);

        // Where no trash can be made, nothing is moved, and nothing goes to the home trash instead.
        writeFile(privateTrash, "a file where the trash should be");
        const QString reason = refusal(deep).description();
        QVERIFY2(reason.contains(QLatin1String("Nothing was moved")), qPrintable(reason));
        QCOMPARE(statOf(deep).st_ino, before);
        QCOMPARE(countEntries(homeTrash() + "/files"), 0);
        QCOMPARE(::unlink(privateTrash.constData()), 0);

        // No .Trash on the volume: $top/.Trash-$uid, made private, with a path relative to the top.
        const TrashedItem trashed = moveToTrash(deep);
        QCOMPARE(trashed.trashDir, privateTrash);
        QCOMPARE(statOf(deep).st_ino, ino_t(0));
        QCOMPARE(statOf(privateTrash + "/files/" + trashed.name).st_ino, before);
        QCOMPARE(origin(privateTrash, trashed.name), deep.mid(top().size() + 1));
        QCOMPARE(statOf(privateTrash).st_mode & 07777, mode_t(0700));

        // A sticky .Trash is used, and its $uid folder is made on demand.
        makeDir(top() + "/.Trash", 01777);
        writeFile(top() + "/shared.bin", QByteArray(10000, 's'));
        QCOMPARE(moveToTrash(top() + "/shared.bin").trashDir, sharedTrash);
        QCOMPARE(origin(sharedTrash, "shared.bin"), QByteArray("shared.bin"));

        // Neither form of the volume's trash, nor anything in them, is trashed.
        for (const QByteArray& path : {top() + "/.Trash", sharedTrash + "/files/shared.bin", privateTrash,
                                       privateTrash + "/files/" + trashed.name}) {
            QVERIFY2(refusal(path).description().contains(QLatin1String("trash folder")), path.constData());
            QVERIFY(exists(path));
        }

        // Counted and emptied with the home trash; the volume named twice counts once.
        writeFile(work() + "/home.txt", QByteArray(100, 'h'));
        moveToTrash(work() + "/home.txt");
        writeFile(sharedTrash + "/directorysizes", "0 0 x\n");
        const std::vector<QByteArray> mounts{top(), top() + '/'};
        QCOMPARE((QList<std::uint64_t>{trashContents(mounts).items, trashContents(mounts).bytes, trashContents({}).items}),
                 (QList<std::uint64_t>{3, 10100, 1}));
        emptyTrash(mounts);
        // Entries in files/ and info/, and whether directorysizes is left, in each trash.
        for (const QByteArray& trash : {homeTrash(), privateTrash, sharedTrash})
            QCOMPARE((QList<int>{countEntries(trash + "/files"), countEntries(trash + "/info"),
                                 int(exists(trash + "/directorysizes"))}), (QList<int>{0, 0, 0}));
    }

    void emptyingStaysOnTheTrashFileSystem()
    {
        makeTree(work(), {"item/", "item/sub/", "gone/"});
        moveToTrash(work() + "/item");
        moveToTrash(work() + "/gone");
        QCOMPARE(directorySizes(homeTrash()).size(), 2);
        TestMount onEntry(homeTrash() + "/files/vol");   // the trashed entry itself is a mount point
        TestMount below(homeTrash() + "/files/item/sub/vol");
        QVERIFY(onEntry.mounted() && below.mounted());
        writeFile(onEntry.path() + "/elsewhere", "another volume");
        writeFile(below.path() + "/elsewhere", "another volume");

        QVERIFY_THROWS_EXCEPTION(PlatformError, emptyTrash({}));
        QCOMPARE((QByteArrayList{readBytes(onEntry.path() + "/elsewhere"), readBytes(below.path() + "/elsewhere")}),
                 QByteArrayList(2, "another volume"));
        // The folder that could not be removed keeps its line; the removed one loses its own.
        QVERIFY(!exists(homeTrash() + "/files/gone"));
        const QByteArrayList sizes = directorySizes(homeTrash());
        QCOMPARE(sizes.size(), 1);
        QVERIFY2(sizes.first().endsWith(" item"), sizes.first().constData());
    }

    void untrustedTrashesAreNeverUsed_data()
    {
        // Each row lays out a volume trash that must not be used as it stands, and a decoy: a folder
        // shaped as a trash, where a wrongly trusted one would lead moving, counting and emptying.
        // The item goes to `used`, or nowhere when that is empty.
        QTest::addColumn<QByteArray>("layout");
        QTest::addColumn<QByteArray>("decoy");   // relative to the volume's top, as `used` is
        QTest::addColumn<QByteArray>("used");
        const QByteArray own = ".Trash-" + uid();
        QTest::newRow(".Trash without the sticky bit") << QByteArray("loose") << ".Trash/" + uid() << own;
        QTest::newRow(".Trash a link to a sticky folder") << QByteArray("linked") << "sticky/" + uid() << own;
        QTest::newRow("$uid a link") << QByteArray("uid-link") << QByteArray("elsewhere") << own;
        QTest::newRow("$uid another user's") << QByteArray("uid-foreign") << ".Trash/" + uid() << own;
        // A removable volume's trash, made by whoever wrote the volume, whose parts lead out of it.
        for (const QByteArray& trash : {own, ".Trash/" + uid()}) {
            // Only the cache may be a link: it is replaced whole.
            QTest::addRow("%s, directorysizes a link", trash.constData())
                << trash + ":directorysizes" << QByteArray("outside") << trash;
            for (const char* linked : {"files", "info"}) {
                QTest::addRow("%s, %s a link", trash.constData(), linked)
                    << trash + ':' + linked << QByteArray("outside") << QByteArray();
            }
        }
    }

    void untrustedTrashesAreNeverUsed()
    {
        QFETCH(QByteArray, layout);
        QFETCH(QByteArray, decoy);
        QFETCH(QByteArray, used);
        const QByteArray out = top() + '/' + decoy;
        const QByteArray shared = top() + "/.Trash";
        if (layout == "loose")
            makeDir(shared, 0777);
        if (layout == "linked") {
            makeDir(top() + "/sticky", 01777);
            QCOMPARE(::symlink("sticky", shared.constData()), 0);
        }
        if (layout.startsWith("uid-") || layout.startsWith(".Trash/"))
            makeDir(shared, 01777);
        for (const char* sub : {"", "/files", "/files/decoy", "/info"})
            makeDir(out + sub, 0700);
        const QByteArray decoyInfo = "[Trash Info]\nPath=decoy\n";
        writeFile(out + "/info/decoy.trashinfo", decoyInfo);
        if (layout == "uid-link")
            QCOMPARE(::symlink(("../" + decoy).constData(), (shared + '/' + uid()).constData()), 0);
        if (layout == "uid-foreign")
            QCOMPARE(::chown(out.constData(), ::getuid() + 4242, ::getgid()), 0);
        const QByteArray dir = top() + '/' + layout.left(layout.indexOf(':'));
        const QByteArray linked = layout.mid(layout.indexOf(':') + 1);
        if (layout.contains(':')) {
            for (const QByteArray& sub : {QByteArray(), QByteArray("/files"), QByteArray("/info")}) {
                if (sub != '/' + linked)
                    makeDir(dir + sub, 0700);
            }
            const QByteArray target = linked == "directorysizes" ? out + "/info/decoy.trashinfo" : out;
            QCOMPARE(::symlink(target.constData(), (dir + '/' + linked).constData()), 0);
        }
        makeDir(top() + "/item");

        if (used.isEmpty()) {
            const QString reason = refusal(top() + "/item").description();
            QVERIFY2(reason.contains(QLatin1String("Nothing was moved")), qPrintable(reason));
            QVERIFY(exists(top() + "/item"));
            QCOMPARE(trashContents({top()}).items, std::uint64_t(0));
            // What could not be emptied is a failure to report, not a success.
            QVERIFY_THROWS_EXCEPTION(PlatformError, emptyTrash({top()}));
            QVERIFY(S_ISLNK(statOf(dir + '/' + linked).st_mode));
        } else {
            QCOMPARE(moveToTrash(top() + "/item").trashDir, top() + '/' + used);
            QCOMPARE(directorySizes(top() + '/' + used).size(), 1);
            QCOMPARE(trashContents({top()}).items, std::uint64_t(1));
            emptyTrash({top()});
            QCOMPARE(countEntries(top() + '/' + used + "/files"), 0);
            QVERIFY(!exists(top() + '/' + used + "/directorysizes"));
        }
        QCOMPARE((QList<int>{countEntries(out), countEntries(out + "/files"), countEntries(out + "/info")}), (QList<int>{2, 1, 1}));
        QCOMPARE(readBytes(out + "/info/decoy.trashinfo"), decoyInfo);
    }

    void bindMountsUseTheTrashOfTheirOwnTop()
    {
        // The volume is the home file system here.
        qputenv("XDG_DATA_HOME", top() + "/data");
        makeTree(top(), {"data/", "shared/", "shared/inside/", "shared/inside/inside", "shared/outside/",
                         "shared/outside/outside", "shared/plain/", "shared/plain/plain"});
        // Bound within the home volume, where climbing by device alone passes the bind mount's top,
        // and outside it, where a user's bind mount of the home file system usually is.
        TestMount within(top() + "/shared", top() + "/bound");
        TestMount outside(top() + "/shared", base() + "/bound");
        QVERIFY(within.mounted() && outside.mounted());
        const std::pair<const TestMount*, QByteArray> items[] = {{&within, "inside"}, {&outside, "outside"}};
        for (const auto& [bound, name] : items) {
            const TrashedItem trashed = moveToTrash(bound->path() + '/' + name);
            QCOMPARE(trashed.trashDir, bound->path() + "/.Trash-" + uid());
            QCOMPARE(readBytes(top() + "/shared/.Trash-" + uid() + "/files/" + name + '/' + name), name);
            QCOMPARE(origin(trashed.trashDir, name), name);
        }
        QVERIFY(!exists(top() + "/data/Trash"));

        // The same folder reached through the home mount goes to the home trash.
        QCOMPARE(moveToTrash(top() + "/shared/plain").trashDir, top() + "/data/Trash");
        QCOMPARE(readBytes(top() + "/data/Trash/files/plain/plain"), QByteArray("plain"));
    }

    void homeTrashOutOfReachFallsBackToTheTop()
    {
        const QByteArray homeTrashOnVolume = top() + "/data/Trash";
        qputenv("XDG_DATA_HOME", top() + "/data");
        for (const QByteArray& folder : {top() + "/data", homeTrashOnVolume, homeTrashOnVolume + "/info", base() + "/elsewhere"})
            makeDir(folder);
        // The trash folder is on the item's mount, but its files/ is not: only the move can tell.
        TestMount files(base() + "/elsewhere", homeTrashOnVolume + "/files");
        QVERIFY(files.mounted());
        makeTree(top(), {"item/", "item/kept"});

        const TrashedItem trashed = moveToTrash(top() + "/item");
        QCOMPARE(trashed.trashDir, top() + "/.Trash-" + uid());
        QCOMPARE(readBytes(trashed.trashDir + "/files/item/kept"), QByteArray("kept"));
        QCOMPARE(origin(trashed.trashDir, "item"), QByteArray("item"));
        QVERIFY(!exists(top() + "/item"));
        // The info claimed in the home trash for the failed move is gone again.
        QCOMPARE((QList<int>{countEntries(homeTrashOnVolume + "/info"), countEntries(base() + "/elsewhere")}), (QList<int>{0, 0}));
    }
};

QTEST_GUILESS_MAIN(TrashVolumeTest)
#include "tst_trash_volumes.moc"
