#include "fs/VolumeIdentity.h"
#include "insight/ChangesWindow.h"
#include "insight/SnapshotComparison.h"
#include "insight/SnapshotStore.h"
#include "SnapshotMaker.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <random>

using namespace torvane;
using namespace torvane::test;

namespace {

constexpr std::uint64_t kMax = ~std::uint64_t(0);

// Names a walk can meet: bytes that are not UTF-8, line breaks, the longest name Linux allows,
// a folder 300 levels down, parents missing from the list, and an order that is not byte order.
Snapshot oddSnapshot()
{
    Snapshot s = makeSnapshot(QByteArray("uuid:\0/../x\n", 12), 1700000000123,
                              {{"", 5'000'000'000, 5'100'000'000},
                               {"a", 1, 4096},
                               {"a/\xff\xfe\x80", 0, 0},
                               {"a/line\nbreak\r", kMax, kMax - 1},
                               {QByteArray(255, 'n'), std::uint64_t(1) << 32, 0},
                               {"orphan/without/parents", 7, 8},
                               {"a/ends with slash/", 9, 9},
                               {"zz", 3, 3},
                               {"b", 2, 2}});
    QByteArray deep = "deep";
    for (int level = 0; level < 300; ++level) {
        s.folders.push_back({deep, std::uint64_t(level), std::uint64_t(level) * 2});
        deep += "/level" + QByteArray::number(level);
    }
    return s;
}

// The fuzz seeds are written from the format's description by a script, not by the encoder.
SnapshotRead readSeed(const char* name)
{
    QFile file(QStringLiteral(TORVANE_SNAPSHOT_SEEDS "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? decodeSnapshot(file.readAll()) : SnapshotRead{{}, file.errorString()};
}

// A stand-in for /dev: plain files for devices, and /dev/disk's link folders, one link relative
// and one absolute as udev makes both kinds.
struct FakeDev {
    QTemporaryDir dir;
    QByteArray root = QFile::encodeName(dir.path());

    FakeDev()
    {
        for (const char* folder : {"disk/by-uuid", "disk/by-label", "mapper"})
            QDir(dir.path()).mkpath(QLatin1String(folder));
        for (const char* device : {"sda1", "sdb1", "sdc1", "dm-0"})
            QFile(dir.filePath(QLatin1String(device))).open(QIODevice::WriteOnly);
        link("../../sda1", "disk/by-uuid/1234-ABCD");
        link(dir.filePath(QStringLiteral("sdb1")), "disk/by-label/Backup\\x20Disk");
        link("../../dm-0", "disk/by-uuid/0f1e2d3c-aaaa");
        link("../../dm-0", "disk/by-label/crypt");
        link("../dm-0", "mapper/home");
        link("../../nothing-here", "disk/by-uuid/dangling");
    }
    void link(const QString& target, const char* name) const { QFile::link(target, dir.filePath(QLatin1String(name))); }
    QByteArray path(const char* name) const { return root + '/' + name; }
};

// Before and after: one folder grew, one shrank, one went with its subfolder, one came with its
// subfolder, one kept its size, and "box" kept its size while "old name" in it was renamed.
const Snapshot kOlder = makeSnapshot("v", 1, {{"", 100, 200},
                                              {"box", 33, 40},
                                              {"box/old name", 33, 40},
                                              {"gone", 7, 8},
                                              {"gone/inner", 3, 4},
                                              {"grown", 10, 12},
                                              {"same", 30, 32},
                                              {"same/kid", 30, 32},
                                              {"shrunk", 20, 24},
                                              {"shrunk/\xff", 20, 24}});
const Snapshot kNewer = makeSnapshot("v", 2, {{"", 101, 210},
                                              {"box", 33, 40},
                                              {"box/new name", 33, 40},
                                              {"grown", 15, 16},
                                              {"new", 8, 9},
                                              {"new/inner", 2, 4},
                                              {"same", 30, 50},
                                              {"same/kid", 30, 50},
                                              {"shrunk", 5, 8},
                                              {"shrunk/\xff", 5, 8}});

// The listed children of a folder as "name old>new kind", with "+" when changes lie below it
// and the path added when it is not the parent's path and the name.
QByteArrayList listed(const SnapshotComparison& comparison, const QByteArray& path)
{
    static const char* const kinds[] = {"changed", "new", "gone"};
    QByteArrayList out;
    for (const FolderChange& c : comparison.children(path)) {
        QByteArray line = c.name + ' ' + QByteArray::number(c.oldSize) + '>' + QByteArray::number(c.newSize) + ' ';
        line += kinds[int(c.kind)] + QByteArray(c.hasChangedChildren ? "+" : "");
        if (c.path != (path.isEmpty() ? c.name : path + '/' + c.name))
            line += " at " + c.path;
        out << line;
    }
    return out;
}

constexpr std::uint64_t MB = 1024 * 1024;
const QByteArray kVolume = "uuid:1234";

// Three earlier scans and the current one, all saved as the program saves them after a scan.
struct Scans {
    QTemporaryDir data;
    SnapshotStore store{data.path()};
    std::shared_ptr<const Snapshot> current = std::make_shared<const Snapshot>(
        makeSnapshot(kVolume, 4000, {{"", 120 * MB + MB / 2}, {"big", 52 * MB + MB / 2}, {"big/cache", 42 * MB + MB / 2},
                                     {"big/keep", 10 * MB}, {"new", 8 * MB}, {"same", 5 * MB}, {"\xff\nodd", 2 * MB}}));

    Scans()
    {
        store.save(makeSnapshot(kVolume, 1000, {{"", 90 * MB}, {"big", 90 * MB}}));
        store.save(makeSnapshot(kVolume, 2000, {{"", 95 * MB}}));
        store.save(makeSnapshot(kVolume, 3000, {{"", 100 * MB}, {"big", 40 * MB}, {"big/cache", 30 * MB}, {"big/keep", 10 * MB},
                                                {"gone", 3 * MB}, {"same", 5 * MB}, {"\xff\nodd", 1 * MB}}));
        store.save(*current);
        store.save(makeSnapshot("uuid:other", 3500, {{"", 1}}));
    }
};

struct Window {
    std::vector<QByteArray> shown, opened;
    QStringList lines;
    ChangesWindow window;
    QComboBox* choice = window.findChild<QComboBox*>(QStringLiteral("snapshotChoice"));
    QTreeWidget* tree = window.findChild<QTreeWidget*>(QStringLiteral("changesTree"));
    QLabel* total = window.findChild<QLabel*>(QStringLiteral("changesTotal"));
    QLabel* message = window.findChild<QLabel*>(QStringLiteral("changesMessage"));
    QPushButton* showInTree = window.findChild<QPushButton*>(QStringLiteral("showInTree"));
    QPushButton* openFolder = window.findChild<QPushButton*>(QStringLiteral("openFolder"));

    explicit Window(const SnapshotStore& store)
        : window(store, {[this](const QByteArray& p) { shown.push_back(p); },
                         [this](const QByteArray& p) { opened.push_back(p); },
                         [this](const QString& line) { lines << line; }})
    {
        window.show();
    }
};

// The rows below an item as "change | old | new | name".
QStringList rows(const QTreeWidgetItem* parent)
{
    QStringList out;
    for (int i = 0; i < parent->childCount(); ++i) {
        const QTreeWidgetItem* item = parent->child(i);
        out << QStringList{item->text(0), item->text(1), item->text(2), item->text(3)}.join(QStringLiteral(" | "));
    }
    return out;
}

} // namespace

// Snapshots from the file format up to the window comparing them with the current scan.
class SnapshotTest : public QObject {
    Q_OBJECT

private slots:
    void roundTripKeepsEveryByte()
    {
        const Snapshot cases[] = {
            oddSnapshot(),
            makeSnapshot("no folders", 0, {}),
            Snapshot{"no time", QDateTime(), {{"", 1, 1}}},
            makeSnapshot("a path twice", 5, {{"", 1}, {"a", 1}, {"a", 2}, {"a/b", 3}}),
        };
        for (const Snapshot& snapshot : cases) {
            const SnapshotRead read = decodeSnapshot(encodeSnapshot(snapshot));
            QVERIFY2(read.snapshot, qPrintable(read.reason));
            QVERIFY2(sameSnapshot(*read.snapshot, snapshot), snapshot.volumeId.constData());
        }
    }

    // "p-1" and "p.x" sort between "p" and "p/c"; such siblings must not cost "p/c" its parent
    // (it would be written under the root with a longer name).
    void siblingsBetweenParentAndChildCostNothing()
    {
        const auto tree = [](char dash, char dot) {
            Snapshot s = makeSnapshot("v", 1, {{"", 1}});
            for (const QByteArray top : {"p", "p-1", "p.x", "p.x-2"})
                for (const QByteArray below : {"", "/c", "/c-d", "/c/e", "/c-d/e", "/c.d/f/g"})
                    s.folders.push_back({QByteArray(top + below).replace('-', dash).replace('.', dot), 1, 1});
            std::sort(s.folders.begin(), s.folders.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
            return s;
        };
        const Snapshot between = tree('-', '.');
        QCOMPARE(snapshotBodySize(between), snapshotBodySize(tree('A', 'B')));
        const SnapshotRead read = decodeSnapshot(encodeSnapshot(between));
        QVERIFY(read.snapshot && sameSnapshot(*read.snapshot, between));
    }

    void cutFlippedOrForeignFilesAreRejected()
    {
        const QByteArray file = encodeSnapshot(oddSnapshot());
        for (const qsizetype size : {qsizetype(0), qsizetype(5), qsizetype(8), qsizetype(31), qsizetype(32),
                                     file.size() / 2, file.size() - 1}) {
            const SnapshotRead read = decodeSnapshot(QByteArrayView(file).first(size));
            QVERIFY2(!read.snapshot, qPrintable(QString::number(size)));
            QCOMPARE(read.reason, size < 8 ? QStringLiteral("not a Torvane snapshot") : QStringLiteral("truncated"));
        }
        QCOMPARE(decodeSnapshot("<?xml version='1.0'?>").reason, QStringLiteral("not a Torvane snapshot"));

        // CRC-32 catches every single flipped bit, wherever it is.
        const QByteArray small = encodeSnapshot(makeSnapshot("v", 99, {{"", 10, 12}, {"a", 4, 8}, {"a/\xff", 1, 1}}));
        for (qsizetype byte = 0; byte < small.size(); ++byte) {
            for (int bit = 0; bit < 8; ++bit) {
                QByteArray flipped = small;
                flipped[byte] = char(flipped[byte] ^ (1 << bit));
                const SnapshotRead read = decodeSnapshot(flipped);
                QVERIFY2(!read.snapshot, qPrintable(QStringLiteral("byte %1 bit %2").arg(byte).arg(bit)));
                QVERIFY(!read.reason.isEmpty());
            }
        }
        QByteArray body = small;
        body[40] = char(body[40] ^ 0x10);
        QCOMPARE(decodeSnapshot(body).reason, QStringLiteral("damaged (checksum mismatch)"));
        QCOMPARE(decodeSnapshot(small + "x").reason, QStringLiteral("damaged (bytes past its end)"));
    }

    // Old files must stay readable, so the reader may not drift from the format's description.
    void seedFilesReadAsDescribed()
    {
        const SnapshotRead plain = readSeed("plain");
        QVERIFY2(plain.snapshot, qPrintable(plain.reason));
        constexpr std::uint64_t G = std::uint64_t(1) << 30;
        QVERIFY(sameSnapshot(*plain.snapshot, makeSnapshot("uuid:1234-ABCD", 1700000000123,
                                                           {{"", 5 * G, 5 * G + 4096},
                                                            {"home", 3 * G},
                                                            {"home/alice", G},
                                                            {"usr", 2 * G},
                                                            {"usr/lib", G / 2}})));
        QCOMPARE(readSeed("newer-format").reason, QStringLiteral("written by a newer Torvane (format 2)"));
        const SnapshotRead odd = readSeed("stored-uncompressed");
        QVERIFY2(odd.snapshot, qPrintable(odd.reason));
        QCOMPARE(odd.snapshot->folders.size(), std::size_t(6));
        QCOMPARE(odd.snapshot->folders[1].apparent, kMax);
        QCOMPARE(odd.snapshot->folders[2].path, QByteArray("orphan/with/slashes"));
        QCOMPARE(odd.snapshot->folders[4].path, "\xff\xfe\x80/line\nbreak/" + QByteArray(255, 'n'));
        QCOMPARE(odd.snapshot->folders[5].path, QByteArray("ends/"));
    }

    void storeKeepsTheLastTenOfEachVolume()
    {
        QTemporaryDir data;
        const SnapshotStore store(data.path());
        // An id that would climb out of the folder if it ever shaped a file name.
        const QByteArray other("../../etc/\0passwd\n*", 19);
        for (int i = 0; i < 12; ++i)
            QVERIFY(store.save(makeSnapshot("uuid:A", 1000 + i, {{"", std::uint64_t(i)}})));
        QVERIFY(store.save(makeSnapshot(other, 500, {{"", 1}})));
        QVERIFY(store.save(makeSnapshot(other, 2000, {{"", 2}})));

        const std::vector<SnapshotEntry> a = store.list("uuid:A");
        QCOMPARE(a.size(), std::size_t(10));
        for (std::size_t i = 0; i < a.size(); ++i) {
            QCOMPARE(a[i].taken, at(1011 - qint64(i)));
            const SnapshotRead read = store.load(a[i], "uuid:A");
            QVERIFY2(read.snapshot, qPrintable(read.reason));
            QCOMPARE(read.snapshot->folders.at(0).apparent, 11 - i);
        }
        const std::vector<SnapshotEntry> b = store.list(other);
        QCOMPARE(b.size(), std::size_t(2));
        QCOMPARE(b.front().taken, at(2000));
        QVERIFY(store.load(b.front(), other).snapshot);
        QCOMPARE(QDir(store.folder()).entryList(QDir::Files).size(), 12);
        QVERIFY(store.list("uuid:C").empty());
        QVERIFY(store.list(QByteArray("../../etc/")).empty());
        static const QRegularExpression safe(QStringLiteral("^[0-9a-f]{32}-[0-9]{16}\\.tvsnap$"));
        for (const QFileInfo& file : QDir(store.folder()).entryInfoList(QDir::Files))
            QVERIFY2(safe.match(file.fileName()).hasMatch(), qPrintable(file.fileName()));
    }

    // A damaged file's reason comes from the decoder, whose tests cover it.
    void storeGivesReasons()
    {
        QTemporaryDir data;
        const SnapshotStore store(data.path());
        QVERIFY(store.save(makeSnapshot("uuid:A", 10, {{"", 1}, {"a", 1}})));
        QVERIFY(store.save(makeSnapshot("uuid:B", 10, {{"", 2}})));
        const SnapshotEntry a = store.list("uuid:A").front();
        const SnapshotEntry b = store.list("uuid:B").front();
        // A's file copied under B's name belongs to another volume.
        QVERIFY(QFile::remove(b.file));
        QVERIFY(QFile::copy(a.file, b.file));
        QCOMPARE(store.load(b, "uuid:B").reason, QStringLiteral("a snapshot of another volume"));
        QVERIFY(QFile::remove(a.file));
        const SnapshotRead missing = store.load(a, "uuid:A");
        QVERIFY(!missing.snapshot && !missing.reason.isEmpty());

        QString reason;
        QVERIFY(!store.save(Snapshot{"v", QDateTime(), {}}, &reason));
        QCOMPARE(reason, QStringLiteral("the snapshot has no time"));
        // A file where the snapshot folder should be: no permission games, so root fails too.
        QTemporaryDir blocked;
        QFile blocker(blocked.filePath(QStringLiteral("snapshots")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(!SnapshotStore(blocked.path()).save(makeSnapshot("v", 1, {{"", 1}}), &reason));
        QVERIFY(!reason.isEmpty() && reason != QStringLiteral("the snapshot has no time"));
    }

    // Snapshots are filed under this identity, so it must not change between mounts.
    void volumeIdentityPrefersUuidThenLabelThenDeviceAndMount()
    {
        const FakeDev dev;
        QVERIFY(dev.dir.isValid());
        const QByteArray disk = dev.path("disk");
        struct Case {
            QByteArray device;
            QByteArray mountPath;
            QByteArray expected;
        };
        const Case cases[] = {
            {dev.path("sda1"), "/", "uuid:1234-ABCD"},
            {dev.path("sdb1"), "/media/usb", "label:Backup\\x20Disk"},
            // A mapper name is a link itself; the uuid wins over the label of the same device.
            {dev.path("mapper/home"), "/home", "uuid:0f1e2d3c-aaaa"},
            {dev.path("sdc1"), "/data", "device:" + dev.path("sdc1") + " at /data"},
            {"server:/export", "/mnt/nfs", "device:server:/export at /mnt/nfs"},
            {dev.path("nothing-here"), "/x", "device:" + dev.path("nothing-here") + " at /x"},
        };
        for (const Case& c : cases)
            QCOMPARE(volumeIdentity(Volume{c.mountPath, c.device, "ext4"}, disk), c.expected);
        // Without the link folders, the device and mount.
        QCOMPARE(volumeIdentity(Volume{"/", dev.path("sda1"), "ext4"}, dev.path("no-such-folder")),
                 "device:" + dev.path("sda1") + " at /");
    }

    void comparisonListsWhatChanged()
    {
        const SnapshotComparison apparent(kOlder, kNewer, SizeKind::Apparent);
        QCOMPARE(apparent.total().path, QByteArray());
        QCOMPARE(apparent.total().change(), 1);
        QVERIFY(apparent.total().hasChangedChildren);
        // Largest change first; "same" is left out; the rename keeps "box" listed at no change.
        QCOMPARE(listed(apparent, ""), (QByteArrayList{"shrunk 20>5 changed+", "new 0>8 new+", "gone 7>0 gone+",
                                                       "grown 10>15 changed", "box 33>33 changed+"}));
        // Equal changes in byte order of names.
        QCOMPARE(listed(apparent, "box"), (QByteArrayList{"new name 0>33 new", "old name 33>0 gone"}));
        QCOMPARE(listed(apparent, "gone"), QByteArrayList{"inner 3>0 gone"});
        QCOMPARE(listed(apparent, "new"), QByteArrayList{"inner 0>2 new"});
        QCOMPARE(listed(apparent, "shrunk"), QByteArrayList{"\xff 20>5 changed"});
        QVERIFY(listed(apparent, "same").isEmpty() && listed(apparent, "no such folder").isEmpty());
        QCOMPARE(apparent.listedCount(), std::size_t(10));
        QVERIFY(apparent.find("same"));
        QVERIFY(!apparent.find("nowhere"));

        // "same" grew on disk only.
        const SnapshotComparison allocated(kOlder, kNewer, SizeKind::Allocated);
        QCOMPARE(allocated.total().change(), 10);
        QCOMPARE(allocated.total().oldSize, std::uint64_t(200));
        QCOMPARE(listed(allocated, ""), (QByteArrayList{"same 32>50 changed+", "shrunk 24>8 changed+", "new 0>9 new+",
                                                        "gone 8>0 gone+", "grown 12>16 changed", "box 40>40 changed+"}));
    }

    // A snapshot read from a file may be in any order and may lack folders between others.
    void comparisonTakesAnyInput()
    {
        Snapshot older = kOlder;
        Snapshot newer = kNewer;
        std::mt19937 shuffle(7);
        std::shuffle(older.folders.begin(), older.folders.end(), shuffle);
        std::shuffle(newer.folders.begin(), newer.folders.end(), shuffle);
        const SnapshotComparison shuffled(older, newer, SizeKind::Apparent);
        const SnapshotComparison sorted(kOlder, kNewer, SizeKind::Apparent);
        for (const QByteArray path : {"", "box", "gone", "new", "shrunk"})
            QCOMPARE(listed(shuffled, path), listed(sorted, path));

        // Without "a/b", "a/b/c" is listed under "a" by the rest of its path.
        const SnapshotComparison gaps(makeSnapshot("v", 1, {{"", 1}, {"a", 1}}),
                                      makeSnapshot("v", 2, {{"", 2}, {"a", 2}, {"a/b/c", 1}, {"a/b/c/d", 1}}),
                                      SizeKind::Apparent);
        QCOMPARE(listed(gaps, "a"), QByteArrayList{"b/c 0>1 new+"});
        QCOMPARE(listed(gaps, "a/b/c"), QByteArrayList{"d 0>1 new"});

        // Changes beyond the range of a signed size are held at its ends.
        const SnapshotComparison extremes(makeSnapshot("v", 1, {{"", kMax}, {"a", kMax}, {"b", 0}}),
                                          makeSnapshot("v", 2, {{"", 0}, {"a", 0}, {"b", kMax}}), SizeKind::Apparent);
        const std::vector<FolderChange> children = extremes.children("");
        QCOMPARE(children.size(), std::size_t(2));
        QCOMPARE(children[0].magnitude(), kMax);
        QCOMPARE(children[0].change(), std::numeric_limits<std::int64_t>::min() + 1);
        QCOMPARE(children[1].change(), std::numeric_limits<std::int64_t>::max());
        QCOMPARE(extremes.total().kind, FolderChange::Kind::Changed);
    }

    void windowListsEarlierScansAndTheChangedFolders()
    {
        Scans scans;
        Window w(scans.store);
        w.window.setCurrent(scans.current, "/mnt/vol");

        // The current scan's own file and other volumes' files are not choices.
        QCOMPARE(w.choice->count(), 3);
        QCOMPARE(w.choice->currentIndex(), 0);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(w.choice->itemData(i).toLongLong(), 3000 - 1000 * i);

        QTRY_VERIFY(!w.tree->isHidden());
        QVERIFY(w.message->isHidden());
        QCOMPARE(w.total->text(), QStringLiteral("Total change: +20.50 MB (from 100.00 MB to 120.50 MB)"));
        QCOMPARE(rows(w.tree->invisibleRootItem()),
                 (QStringList{"+12.50 MB | 40.00 MB | 52.50 MB | big", "+8.00 MB | (new) | 8.00 MB | new",
                              "-3.00 MB | 3.00 MB | (gone) | gone", "+1.00 MB | 1.00 MB | 2.00 MB | \uFFFD\\nodd"}));

        // Levels are filled when opened; only a folder with changes below it shows the mark.
        QTreeWidgetItem* big = w.tree->topLevelItem(0);
        QCOMPARE(big->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        QCOMPARE(w.tree->topLevelItem(2)->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
        QCOMPARE(big->childCount(), 0);
        big->setExpanded(true);
        big->setExpanded(false);
        big->setExpanded(true);
        QCOMPARE(rows(big), QStringList{"+12.50 MB | 30.00 MB | 42.50 MB | cache"});

        // Another earlier scan.
        w.choice->setCurrentIndex(2);
        QTRY_COMPARE(w.total->text(), QStringLiteral("Total change: +30.50 MB (from 90.00 MB to 120.50 MB)"));
        QCOMPARE(rows(w.tree->invisibleRootItem()),
                 (QStringList{"-37.50 MB | 90.00 MB | 52.50 MB | big", "+8.00 MB | (new) | 8.00 MB | new",
                              "+5.00 MB | (new) | 5.00 MB | same", "+2.00 MB | (new) | 2.00 MB | \uFFFD\\nodd"}));
    }

    void windowGivesAbsolutePathsToShowAndOpen()
    {
        Scans scans;
        Window w(scans.store);
        w.window.setCurrent(scans.current, "/mnt/vol");
        QTRY_VERIFY(!w.tree->isHidden());
        QVERIFY(!w.showInTree->isEnabled());

        w.tree->setCurrentItem(w.tree->topLevelItem(3));
        QVERIFY(w.showInTree->isEnabled());
        QTest::mouseClick(w.showInTree, Qt::LeftButton);
        w.tree->topLevelItem(0)->setExpanded(true);
        w.tree->setCurrentItem(w.tree->topLevelItem(0)->child(0));
        QTest::mouseClick(w.openFolder, Qt::LeftButton);
        const QList<QAction*> menu = w.tree->actions();   // show in tree, open folder
        QCOMPARE(menu.size(), 2);
        menu[0]->trigger();
        QCOMPARE(w.shown, (std::vector<QByteArray>{"/mnt/vol/\xff\nodd", "/mnt/vol/big/cache"}));
        QCOMPARE(w.opened, (std::vector<QByteArray>{"/mnt/vol/big/cache"}));

        // A gone folder is nowhere to show or open.
        w.tree->setCurrentItem(w.tree->topLevelItem(2));
        QVERIFY(!w.showInTree->isEnabled() && !w.openFolder->isEnabled() && !menu[0]->isEnabled());
        menu[1]->trigger();
        QCOMPARE(w.opened.size(), std::size_t(1));
    }

    void windowSaysSoWhenThereIsNothingToCompare()
    {
        Scans scans;
        Window w(scans.store);
        QVERIFY(w.tree->isHidden());
        QVERIFY(w.message->text().startsWith(QStringLiteral("No scan yet")));

        // The first scan of a volume has nothing before it.
        QTemporaryDir empty;
        Window first{SnapshotStore(empty.path())};
        first.window.setCurrent(scans.current, "/mnt/vol");
        QTRY_VERIFY(first.message->text().startsWith(QStringLiteral("No earlier scan")));
        QVERIFY(first.tree->isHidden());
        QCOMPARE(first.choice->count(), 0);

        // The same apparent size as before, one more megabyte on disk.
        Window same(scans.store);
        same.window.setCurrent(std::make_shared<const Snapshot>(makeSnapshot(kVolume, 3500, {{"", 95 * MB, 96 * MB}})), "/");
        same.choice->setCurrentIndex(1);
        QTRY_COMPARE(same.message->text(), QStringLiteral("No folder changed."));
        QCOMPARE(same.total->text(), QStringLiteral("Total change: 0.00 MB (from 95.00 MB to 95.00 MB)"));
        same.window.setSizeKind(SizeKind::Allocated);
        QTRY_COMPARE(same.total->text(), QStringLiteral("Total change: +1.00 MB (from 95.00 MB to 96.00 MB)"));
    }

    void windowSkipsADamagedSnapshotWithOneStatusLine()
    {
        Scans scans;
        QFile latest(scans.store.list(kVolume).at(1).file);
        QVERIFY(latest.resize(latest.size() / 2));
        Window w(scans.store);
        w.window.setCurrent(scans.current, "/mnt/vol");
        QTRY_COMPARE(w.lines.size(), 1);
        QVERIFY2(w.lines[0].endsWith(QStringLiteral("was skipped: truncated")), qPrintable(w.lines[0]));
        QCOMPARE(w.message->text(), w.lines[0]);
        QVERIFY(w.tree->isHidden());
        // The others still open.
        w.choice->setCurrentIndex(1);
        QTRY_VERIFY(!w.tree->isHidden());
        QCOMPARE(w.lines.size(), 1);
    }
};

QTEST_MAIN(SnapshotTest)
#include "tst_snapshots.moc"
