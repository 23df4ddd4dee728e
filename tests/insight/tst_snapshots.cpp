#include "fs/VolumeIdentity.h"
#include "insight/SnapshotStore.h"
#include "SnapshotMaker.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace torvane;
using namespace torvane::test;

namespace {

constexpr std::uint64_t kMax = ~std::uint64_t(0);

// Names a walk can meet: bytes that are not UTF-8, line breaks, the longest name Linux allows,
// a folder 300 levels down, parents missing from the list, and an order that is not byte order.
Snapshot oddSnapshot()
{
    Snapshot s = makeSnapshot(QByteArray("uuid:\0/../x\n", 12), 1700000000123,
                              {{"", 5'000'000'000, 5'100'000'000}, {"a", 1, 4096}, {"a/\xff\xfe\x80", 0, 0},
                               {"a/line\nbreak\r", kMax, kMax - 1}, {QByteArray(255, 'n'), std::uint64_t(1) << 32, 0},
                               {"orphan/without/parents", 7, 8}, {"a/ends with slash/", 9, 9}, {"zz", 3, 3}, {"b", 2, 2}});
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

} // namespace

class SnapshotTest : public QObject {
    Q_OBJECT

private slots:
    void roundTripKeepsEveryByteAndParentsOverSiblingsInBetween()
    {
        // "p-1" and "p.x" sort between "p" and "p/c"; such siblings must not cost "p/c" its parent
        // (it would be written under the root with a longer name).
        const auto tree = [](char dash, char dot) {
            Snapshot s = makeSnapshot("v", 1, {{"", 1}});
            for (const QByteArray top : {"p", "p-1", "p.x", "p.x-2"})
                for (const QByteArray below : {"", "/c", "/c-d", "/c/e", "/c-d/e", "/c.d/f/g"})
                    s.folders.push_back({QByteArray(top + below).replace('-', dash).replace('.', dot), 1, 1});
            std::sort(s.folders.begin(), s.folders.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
            return s;
        };
        QCOMPARE(snapshotBodySize(tree('-', '.')), snapshotBodySize(tree('A', 'B')));
        const Snapshot cases[] = {
            oddSnapshot(),
            makeSnapshot("no folders", 0, {}),
            Snapshot{"no time", QDateTime(), {{"", 1, 1}}},
            makeSnapshot("a path twice", 5, {{"", 1}, {"a", 1}, {"a", 2}, {"a/b", 3}}),
            tree('-', '.'),
        };
        for (const Snapshot& snapshot : cases) {
            const SnapshotRead read = decodeSnapshot(encodeSnapshot(snapshot));
            QVERIFY2(read.snapshot, qPrintable(read.reason));
            QVERIFY2(sameSnapshot(*read.snapshot, snapshot), snapshot.volumeId.constData());
        }
    }

    void seedFilesReadAsDescribedButCutFlippedOrForeignOnesAreRejected()
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
                QVERIFY2(!decodeSnapshot(flipped).snapshot, qPrintable(QStringLiteral("byte %1 bit %2").arg(byte).arg(bit)));
            }
        }
        QByteArray body = small;
        body[40] = char(body[40] ^ 0x10);
        QCOMPARE(decodeSnapshot(body).reason, QStringLiteral("damaged (checksum mismatch)"));
        QCOMPARE(decodeSnapshot(small + "x").reason, QStringLiteral("damaged (bytes past its end)"));

        // Old files must stay readable, so the reader may not drift from the format's description.
        const SnapshotRead plain = readSeed("plain");
        QVERIFY2(plain.snapshot, qPrintable(plain.reason));
        constexpr std::uint64_t G = std::uint64_t(1) << 30;
        QVERIFY(sameSnapshot(*plain.snapshot, makeSnapshot("uuid:1234-ABCD", 1700000000123,
                                                           {{"", 5 * G, 5 * G + 4096}, {"home", 3 * G}, {"home/alice", G},
                                                            {"usr", 2 * G}, {"usr/lib", G / 2}})));
        QCOMPARE(readSeed("newer-format").reason, QStringLiteral("written by a newer Torvane (format 2)"));
        const SnapshotRead odd = readSeed("stored-uncompressed");
        QVERIFY2(odd.snapshot, qPrintable(odd.reason));
        QCOMPARE(odd.snapshot->folders.size(), std::size_t(6));
        QCOMPARE(odd.snapshot->folders[1].apparent, kMax);
        QCOMPARE(odd.snapshot->folders[2].path, QByteArray("orphan/with/slashes"));
        QCOMPARE(odd.snapshot->folders[4].path, "\xff\xfe\x80/line\nbreak/" + QByteArray(255, 'n'));
        QCOMPARE(odd.snapshot->folders[5].path, QByteArray("ends/"));
    }

    void storeKeepsTheLastTenOfEachVolumeOrSaysWhyNot()
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

        // Why a file does not load; a damaged file's reason comes from the decoder, tested above.
        // A's newest file copied under the other volume's name belongs to another volume.
        QVERIFY(QFile::remove(b.front().file));
        QVERIFY(QFile::copy(a.front().file, b.front().file));
        QCOMPARE(store.load(b.front(), other).reason, QStringLiteral("a snapshot of another volume"));
        QVERIFY(QFile::remove(a.front().file));
        QVERIFY(!store.load(a.front(), "uuid:A").reason.isEmpty());

        QString reason;
        QVERIFY(!store.save(Snapshot{"v", QDateTime(), {}}, &reason));
        QCOMPARE(reason, QStringLiteral("the snapshot has no time"));
        // A file where the snapshot folder should be: no permission games, so root fails too.
        QTemporaryDir blocked;
        QVERIFY(QFile(blocked.filePath(QStringLiteral("snapshots"))).open(QIODevice::WriteOnly));
        QVERIFY(!SnapshotStore(blocked.path()).save(makeSnapshot("v", 1, {{"", 1}}), &reason));
        QVERIFY(!reason.isEmpty() && reason != QStringLiteral("the snapshot has no time"));
    }

    // Snapshots are filed under this identity, so it must not change between mounts.
    void volumeIdentityPrefersUuidThenLabelThenDeviceAndMount()
    {
        const FakeDev dev;
        const QByteArray disk = dev.path("disk");
        // Device, mount path, identity.
        const std::tuple<QByteArray, QByteArray, QByteArray> cases[] = {
            {dev.path("sda1"), "/", "uuid:1234-ABCD"},
            {dev.path("sdb1"), "/media/usb", "label:Backup\\x20Disk"},
            // A mapper name is a link itself; the uuid wins over the label of the same device.
            {dev.path("mapper/home"), "/home", "uuid:0f1e2d3c-aaaa"},
            {dev.path("sdc1"), "/data", "device:" + dev.path("sdc1") + " at /data"},
            {"server:/export", "/mnt/nfs", "device:server:/export at /mnt/nfs"},
            {dev.path("nothing-here"), "/x", "device:" + dev.path("nothing-here") + " at /x"},
        };
        for (const auto& [device, mountPath, expected] : cases)
            QCOMPARE(volumeIdentity(Volume{mountPath, device, "ext4"}, disk), expected);
        QCOMPARE(volumeIdentity(Volume{"/", dev.path("sda1"), "ext4"}, dev.path("no-such-folder")),
                 "device:" + dev.path("sda1") + " at /");
    }
};

QTEST_MAIN(SnapshotTest)
#include "tst_snapshots.moc"
