#include "MapTestTrees.h"

#include "insight/MapPaint.h"
#include "insight/MapTree.h"

#include <QTest>

using namespace torvane;
using namespace torvane::test;

namespace {

// "name=size" of a node's children in their order, "other files" included.
QByteArrayList childList(const MapTree& tree, int node)
{
    QByteArrayList out;
    for (const std::int32_t child : tree.children(node))
        out << tree.name(child) + '=' + QByteArray::number(qulonglong(tree.node(child).size));
    return out;
}

} // namespace

class MapTreeTest : public QObject {
    Q_OBJECT

private slots:
    void foldersFilesAndTheRest()
    {
        // a: 100 in all, 30 in x, 45 in listed files; its own other files are the 25 left.
        const MapVolume volume = mapVolume({{"", 5}, {"a", 25}, {"a/x", 30}},
                                           {largeFile("/data/a/big.iso", 40), largeFile("/data/a/clip.mkv", 5),
                                            largeFile("/data/top.bin", 7), largeFile("/elsewhere/a/z", 99),
                                            largeFile("/data/a/empty", 0)});
        const MapTree tree(volume.mount, volume.folders, volume.files, false);
        QCOMPARE(tree.node(tree.root()).size, 112u);
        QCOMPARE(childList(tree, tree.root()), (QByteArrayList{"a=100", "top.bin=7", "other files=5"}));
        QCOMPARE(childList(tree, tree.find("/data/a")), (QByteArrayList{"big.iso=40", "x=30", "other files=25", "clip.mkv=5"}));
        QCOMPARE(tree.node(tree.find("/data/a/big.iso")).kind, MapTree::Kind::File);
        QCOMPARE(tree.find("/data/a/empty"), -1);
    }

    void otherFilesNeverNegative()
    {
        // The index says 10 for a folder whose subfolder says 50 (it grew during the walk).
        const std::vector<IndexedFolder> folders{{"", {60, 60}}, {"a", {10, 10}}, {"a/b", {50, 50}}};
        const MapTree tree("/data", folders, {largeFile("/data/a/f", 20)}, false);
        QCOMPARE(childList(tree, tree.find("/data/a")), (QByteArrayList{"b=50", "f=20"}));
    }

    void allocatedSizesWhenAsked()
    {
        const std::vector<IndexedFolder> folders{{"", {100, 8192}}, {"a", {100, 4096}}};
        const MapTree tree("/data", folders, {{"/data/a/sparse", 90, 0, {}}}, true);
        QCOMPARE(childList(tree, tree.root()), (QByteArrayList{"a=4096", "other files=4096"}));
        QCOMPARE(childList(tree, tree.find("/data/a")), (QByteArrayList{"other files=4096"}));
    }

    void parentsFoundInAnyOrder_data()
    {
        QTest::addColumn<QByteArrayList>("paths");
        QTest::addColumn<uint>("rootSize");
        // '-' sorts before '/', so "a-x" and its subtree sit between "a" and "a/b".
        QTest::newRow("byte order") << QByteArrayList{"", "a", "a-x", "a-x/y", "a/b", "a/b/c", "ab"} << 6u;
        QTest::newRow("shuffled") << QByteArrayList{"a/b/c", "ab", "", "a-x/y", "a/b", "a", "a-x"} << 6u;
        QTest::newRow("root twice") << QByteArrayList{"a", "", "a/b", ""} << 6u;
        // Without a root of its own, the volume's is made of its top-level folders.
        QTest::newRow("no root") << QByteArrayList{"a", "a-x", "a-x/y", "a/b", "a/b/c", "ab"} << 3u;
    }

    void parentsFoundInAnyOrder()
    {
        QFETCH(QByteArrayList, paths);
        QFETCH(uint, rootSize);
        std::vector<IndexedFolder> folders;
        for (const QByteArray& path : paths)
            folders.push_back({path, {path.isEmpty() ? 6u : 1u, 0}});
        const MapTree tree("/", folders, {}, false);
        for (const QByteArray& path : paths) {
            const int node = tree.find("/" + path);
            QVERIFY2(node >= 0, path.constData());
            QCOMPARE(tree.absolutePath(node), "/" + path);
            const qsizetype slash = path.lastIndexOf('/');
            if (!path.isEmpty())
                QCOMPARE(tree.absolutePath(tree.node(node).parent), "/" + (slash < 0 ? QByteArray() : path.left(slash)));
        }
        QCOMPARE(tree.node(tree.root()).size, std::uint64_t(rootSize));
    }

    void pathsAreBytes()
    {
        const QByteArray odd("caf\xe9\n\xff", 6);
        const MapVolume volume = mapVolume({{"", 1}, {odd, 2}, {odd + "/in", 3}}, {}, "/media/usb");
        const MapTree tree(volume.mount, volume.folders, volume.files, false);
        const int inner = tree.find("/media/usb/" + odd + "/in");
        QVERIFY(inner > 0);
        QCOMPARE(tree.name(tree.node(inner).parent), odd);
        QCOMPARE(tree.depth(inner), 2);
        QCOMPARE(tree.find("/media/usb/"), tree.root());
        QCOMPARE(tree.find("/media/usb"), tree.root());
        QCOMPARE(tree.nearestFolder("/media/usb/" + odd + "/later/made"), tree.node(inner).parent);
        QCOMPARE(tree.nearestFolder("/media/usbstick/a"), -1);
        QCOMPARE(tree.find("/media/usb/" + odd + "/gone"), -1);
    }

    void removingShrinksAncestorsAndKeepsOrder()
    {
        const MapVolume volume = mapVolume({{"", 0}, {"a", 10}, {"a/x", 50}, {"a/y", 20}, {"b", 70}, {"c", 40}});
        MapTree tree(volume.mount, volume.folders, volume.files, false);
        QCOMPARE(childList(tree, tree.root()), (QByteArrayList{"a=80", "b=70", "c=40"}));
        const int x = tree.find("/data/a/x");
        QVERIFY(tree.remove(x));
        QCOMPARE(childList(tree, tree.root()), (QByteArrayList{"b=70", "c=40", "a=30"}));
        QCOMPARE(childList(tree, tree.find("/data/a")), (QByteArrayList{"y=20", "other files=10"}));
        QCOMPARE(tree.node(tree.root()).size, 140u);
        QCOMPARE(tree.find("/data/a/x"), -1);
        QVERIFY(!tree.remove(x));
        QVERIFY(!tree.remove(tree.root()));
        QVERIFY(!tree.remove(tree.nodeCount()));
    }

    void fileKindsByExtension_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("kind");
        QTest::newRow("video") << QByteArray("Holiday.MKV") << int(MapFileKind::Video);
        QTest::newRow("audio") << QByteArray("a.b.flac") << int(MapFileKind::Audio);
        QTest::newRow("image") << QByteArray("scan.jpeg") << int(MapFileKind::Image);
        QTest::newRow("disk image") << QByteArray("debian.iso") << int(MapFileKind::Archive);
        QTest::newRow("archive") << QByteArray("backup.tar.zst") << int(MapFileKind::Archive);
        QTest::newRow("document") << QByteArray("report.pdf") << int(MapFileKind::Document);
        QTest::newRow("code") << QByteArray("main.cpp") << int(MapFileKind::Code);
        QTest::newRow("unknown") << QByteArray("data.bin") << int(MapFileKind::Other);
        QTest::newRow("hidden, no extension") << QByteArray(".mp4") << int(MapFileKind::Other);
        QTest::newRow("trailing dot") << QByteArray("movie.") << int(MapFileKind::Other);
        QTest::newRow("not UTF-8") << QByteArray("\xff\xfe.PNG") << int(MapFileKind::Image);
    }

    void fileKindsByExtension()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, kind);
        QCOMPARE(int(mapFileKind(name)), kind);
    }
};

QTEST_MAIN(MapTreeTest)
#include "tst_maptree.moc"
