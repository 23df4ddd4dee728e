#include "insight/SnapshotStore.h"
#include "SnapshotMaker.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

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

QByteArray withVersion(QByteArray file, quint16 version)
{
    qToLittleEndian<quint16>(version, file.data() + 12);
    return file;
}

} // namespace

class SnapshotFileTest : public QObject {
    Q_OBJECT

private slots:
    void roundTripKeepsEveryByte_data()
    {
        QTest::addColumn<Snapshot>("snapshot");
        QTest::newRow("odd names") << oddSnapshot();
        QTest::newRow("no folders") << makeSnapshot("label:x", 0, {});
        QTest::newRow("no time") << Snapshot{"device:/dev/sda1 at /", QDateTime(), {{"", 1, 1}}};
        QTest::newRow("twice the same path") << makeSnapshot("v", 5, {{"", 1}, {"a", 1}, {"a", 2}, {"a/b", 3}});
    }
    void roundTripKeepsEveryByte()
    {
        QFETCH(Snapshot, snapshot);
        const SnapshotRead read = decodeSnapshot(encodeSnapshot(snapshot));
        QVERIFY2(read.snapshot, qPrintable(read.reason));
        QVERIFY(sameSnapshot(*read.snapshot, snapshot));
        QCOMPARE(read.snapshot->taken.isValid(), snapshot.taken.isValid());
    }

    // Each folder costs at most 24 bytes besides its own name, even with the largest sizes and
    // parents far back in the list.
    void bodyStaysWithinTwentyFourBytesAFolderPlusItsName()
    {
        Snapshot s = makeSnapshot("v", 1, {{"", kMax, kMax}});
        for (int i = 0; i < 3000; ++i)
            s.folders.push_back({QByteArray::number(i).leftJustified(i % 256, 'x'), kMax, kMax});
        std::size_t names = 0;
        for (const SnapshotFolder& folder : s.folders)
            names += std::size_t(folder.path.size());
        const std::size_t fixed = 1 + s.volumeId.size() + 8 + 2;   // id, time, folder count
        QVERIFY(snapshotBodySize(s) <= fixed + 24 * s.folders.size() + names);
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

    void cutFilesAreRejected()
    {
        const QByteArray file = encodeSnapshot(oddSnapshot());
        for (const qsizetype size : {qsizetype(0), qsizetype(5), qsizetype(8), qsizetype(31), qsizetype(32),
                                     file.size() / 2, file.size() - 1}) {
            const SnapshotRead read = decodeSnapshot(QByteArrayView(file).first(size));
            QVERIFY2(!read.snapshot, qPrintable(QString::number(size)));
            QVERIFY(!read.reason.isEmpty());
            if (size >= 8)
                QCOMPARE(read.reason, QStringLiteral("truncated"));
        }
    }

    // CRC-32 catches every single flipped bit, wherever it is.
    void everyFlippedBitIsRejected()
    {
        const QByteArray file = encodeSnapshot(makeSnapshot("v", 99, {{"", 10, 12}, {"a", 4, 8}, {"a/\xff", 1, 1}}));
        for (qsizetype byte = 0; byte < file.size(); ++byte) {
            for (int bit = 0; bit < 8; ++bit) {
                QByteArray flipped = file;
                flipped[byte] = char(flipped[byte] ^ (1 << bit));
                const SnapshotRead read = decodeSnapshot(flipped);
                QVERIFY2(!read.snapshot, qPrintable(QStringLiteral("byte %1 bit %2").arg(byte).arg(bit)));
                QVERIFY(!read.reason.isEmpty());
            }
        }
        QByteArray body = file;
        body[40] = char(body[40] ^ 0x10);
        QCOMPARE(decodeSnapshot(body).reason, QStringLiteral("damaged (checksum mismatch)"));
        QCOMPARE(decodeSnapshot(file + "x").reason, QStringLiteral("damaged (bytes past its end)"));
    }

    void newerFormatIsNamedAsSuch()
    {
        const QByteArray file = encodeSnapshot(oddSnapshot());
        // A later format may lay out everything after its version differently.
        QByteArray later = withVersion(file, 2);
        later.truncate(20);
        QCOMPARE(decodeSnapshot(later).reason, QStringLiteral("truncated"));
        QVERIFY(!decodeSnapshot(withVersion(file, 0)).snapshot);
        QCOMPARE(decodeSnapshot("<?xml version='1.0'?>").reason, QStringLiteral("not a Torvane snapshot"));
    }

    // Files written from the format's description (the fuzz seeds, made by a script): old files
    // must stay readable, so the reader may not drift from the description.
    void filesOfTheFirstFormatStayReadable()
    {
        const QString seeds = QStringLiteral(TORVANE_SNAPSHOT_SEEDS);
        QFile plain(seeds + QStringLiteral("/plain"));
        QVERIFY(plain.open(QIODevice::ReadOnly));
        const SnapshotRead read = decodeSnapshot(plain.readAll());
        QVERIFY2(read.snapshot, qPrintable(read.reason));
        constexpr std::uint64_t G = std::uint64_t(1) << 30;
        QVERIFY(sameSnapshot(*read.snapshot, makeSnapshot("uuid:1234-ABCD", 1700000000123,
                                                          {{"", 5 * G, 5 * G + 4096},
                                                           {"home", 3 * G},
                                                           {"home/alice", G},
                                                           {"usr", 2 * G},
                                                           {"usr/lib", G / 2}})));
        QFile newer(seeds + QStringLiteral("/newer-format"));
        QVERIFY(newer.open(QIODevice::ReadOnly));
        QCOMPARE(decodeSnapshot(newer.readAll()).reason, QStringLiteral("written by a newer Torvane (format 2)"));
        QFile stored(seeds + QStringLiteral("/stored-uncompressed"));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        const SnapshotRead odd = decodeSnapshot(stored.readAll());
        QVERIFY2(odd.snapshot, qPrintable(odd.reason));
        QCOMPARE(odd.snapshot->folders.size(), std::size_t(6));
        QCOMPARE(odd.snapshot->folders[2].path, QByteArray("orphan/with/slashes"));
        QCOMPARE(odd.snapshot->folders[4].path, "\xff\xfe\x80/line\nbreak/" + QByteArray(255, 'n'));
        QCOMPARE(odd.snapshot->folders[5].path, QByteArray("ends/"));
        QCOMPARE(odd.snapshot->folders[1].apparent, kMax);
    }

    void storeKeepsTheLastTenOfEachVolume()
    {
        QTemporaryDir data;
        const SnapshotStore store(data.path());
        for (int i = 0; i < 12; ++i) {
            QString reason;
            QVERIFY2(store.save(makeSnapshot("uuid:A", 1000 + i, {{"", std::uint64_t(i)}}), &reason), qPrintable(reason));
        }
        QVERIFY(store.save(makeSnapshot("uuid:B", 500, {{"", 1}})));
        QVERIFY(store.save(makeSnapshot("uuid:B", 2000, {{"", 2}})));

        const std::vector<SnapshotEntry> a = store.list("uuid:A");
        QCOMPARE(a.size(), std::size_t(SnapshotStore::kKept));
        for (std::size_t i = 0; i < a.size(); ++i) {
            QCOMPARE(a[i].taken, at(1011 - qint64(i)));
            const SnapshotRead read = store.load(a[i], "uuid:A");
            QVERIFY2(read.snapshot, qPrintable(read.reason));
            QCOMPARE(read.snapshot->folders.at(0).apparent, 11 - i);
        }
        QCOMPARE(store.list("uuid:B").size(), std::size_t(2));
        QCOMPARE(store.list("uuid:B").front().taken, at(2000));
        QCOMPARE(QDir(store.folder()).entryList(QDir::Files).size(), 12);
        QVERIFY(store.list("uuid:C").empty());
    }

    void volumeIdsNeverShapeFileNames()
    {
        QTemporaryDir data;
        const SnapshotStore store(data.path());
        const QByteArray id("../../etc/\0passwd\n*", 19);
        QVERIFY(store.save(makeSnapshot(id, 42, {{"", 1}})));
        const std::vector<SnapshotEntry> entries = store.list(id);
        QCOMPARE(entries.size(), std::size_t(1));
        QCOMPARE(QFileInfo(entries[0].file).absolutePath(), QDir(store.folder()).absolutePath());
        static const QRegularExpression safe(QStringLiteral("^[0-9a-f]{32}-[0-9]{16}\\.tvsnap$"));
        QVERIFY2(safe.match(QFileInfo(entries[0].file).fileName()).hasMatch(), qPrintable(entries[0].file));
        QVERIFY(store.load(entries[0], id).snapshot);
        QVERIFY(store.list(QByteArray("../../etc/")).empty());
    }

    void badFilesGiveReasons()
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

        QFile cut(a.file);
        QVERIFY(cut.resize(cut.size() - 3));
        QCOMPARE(store.load(a, "uuid:A").reason, QStringLiteral("truncated"));
        QVERIFY(QFile::remove(a.file));
        QVERIFY(!store.load(a, "uuid:A").reason.isEmpty());
        QVERIFY(!store.load(a, "uuid:A").snapshot);
    }

    void saveFailsWithAReason()
    {
        QTemporaryDir data;
        // A file where the snapshot folder should be: no permission games, so root fails too.
        QFile blocker(data.filePath(QStringLiteral("snapshots")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const SnapshotStore store(data.path());
        QString reason;
        QVERIFY(!store.save(makeSnapshot("v", 1, {{"", 1}}), &reason));
        QVERIFY(!reason.isEmpty());
        QVERIFY(!store.save(Snapshot{"v", QDateTime(), {}}, &reason));
        QCOMPARE(reason, QStringLiteral("the snapshot has no time"));
    }
};

QTEST_GUILESS_MAIN(SnapshotFileTest)
#include "tst_snapshotfile.moc"
