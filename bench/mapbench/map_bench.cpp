// torvane-map-bench [FILES FOLDERS BIG | --walk DIR] [--size WxH] [--runs N] [--allocated]
// [--window PNG]: the map of a generated volume, by default the large tree bench/run measures
// (1,000,000 files in 100,000 folders), or of a real folder read by the program's own walk (its
// folders only: no file tiles). The volume is made in memory the way torvane-gentree makes it on disk (the
// same folders, names and file sizes, without the hard links), so no disk is read. Times building
// the map's tree, laying it out and painting it into an image, the way the map window does after a
// scan and on a resize. With --window, also the map window itself: how long handing it the scan
// and its first paint hold the user-interface thread, and a picture of it.

#include "insight/MapLayout.h"
#include "insight/MapPaint.h"
#include "insight/MapView.h"
#include "insight/MapWindow.h"

#include "fs/Walk.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../TreeRandom.h"

using namespace torvane;

namespace {

using treerandom::next;

// torvane-gentree's sizes, drawn in its order: mostly small files, now and then a large one.
std::uint64_t nextFileSize()
{
    std::uint64_t size = next() % 16384;
    if (next() % 100 == 0)
        size = next() % (64ull << 20);
    return size;
}

struct GeneratedVolume {
    QByteArray mount = "/bench";
    std::vector<IndexedFolder> folders;
    std::vector<LargeFile> largest;
};

GeneratedVolume generate(long files, long folderCount, long big)
{
    std::vector<QByteArray> paths{QByteArray()};
    std::vector<long> parents{-1};
    for (long i = 1; i < folderCount; ++i) {
        const long parent = (i - 1) / 10;
        const QByteArray name = "d" + QByteArray::number(i % 10) + "_" + QByteArray::number(i);
        paths.push_back(parent == 0 ? name : paths[std::size_t(parent)] + "/" + name);
        parents.push_back(parent);
    }
    std::vector<std::uint64_t> own(std::size_t(folderCount), 0);
    struct Candidate {
        std::uint64_t size;
        QByteArray path;
    };
    std::vector<Candidate> candidates;
    const auto addFile = [&](long folder, const QByteArray& below, std::uint64_t size) {
        own[std::size_t(folder)] += size;
        // The 1,000 largest of these trees are far above this; holding every path would not be.
        if (size >= (8ull << 20))
            candidates.push_back({size, below});
    };
    long made = 0;
    if (big > 0) {
        paths.push_back("big");
        parents.push_back(0);
        own.push_back(0);
        for (; made < big && made < files; ++made)
            addFile(long(paths.size()) - 1, "big/f" + QByteArray::number(made), nextFileSize());
    }
    for (long i = 0; i < files - made; ++i) {
        const long folder = i % folderCount;
        const QByteArray dir = paths[std::size_t(folder)];
        addFile(folder, (dir.isEmpty() ? dir : dir + "/") + "file" + QByteArray::number(i) + ".dat", nextFileSize());
    }
    // Everything below a folder: its children come after it, so one backward pass sums them.
    std::vector<std::uint64_t> total = own;
    for (std::size_t i = paths.size(); i-- > 1;)
        total[std::size_t(parents[i])] += total[i];

    GeneratedVolume volume;
    for (std::size_t i = 0; i < paths.size(); ++i)
        volume.folders.push_back({paths[i], {total[i], (total[i] + 4095) / 4096 * 4096}});
    std::sort(volume.folders.begin(), volume.folders.end(),
              [](const IndexedFolder& a, const IndexedFolder& b) { return a.path < b.path; });
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return a.size != b.size ? a.size > b.size : a.path < b.path;
    });
    candidates.resize(std::min<std::size_t>(candidates.size(), 1000));
    for (const Candidate& c : candidates)
        volume.largest.push_back({volume.mount + "/" + c.path, c.size, (c.size + 4095) / 4096 * 4096, {}});
    return volume;
}

GeneratedVolume walked(const std::string& dir)
{
    Walk walk(dir);
    walk.wait();
    GeneratedVolume volume;
    volume.mount = QByteArray::fromStdString(dir);
    for (const Walk::FolderRecord& record : walk.folders())
        volume.folders.push_back({QByteArray::fromStdString(record.path), {record.size, record.size}});
    return volume;
}

double millisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

struct Series {
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    double median()
    {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }
    double max() const { return *std::max_element(values.begin(), values.end()); }
};

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<long> counts;
    int width = 1280, height = 800, runs = 7;
    bool allocated = false;
    QString windowShot;
    std::string walkDir;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc)
            std::sscanf(argv[++i], "%dx%d", &width, &height);
        else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--allocated") == 0)
            allocated = true;
        else if (std::strcmp(argv[i], "--walk") == 0 && i + 1 < argc)
            walkDir = argv[++i];
        else if (std::strcmp(argv[i], "--window") == 0 && i + 1 < argc)
            windowShot = QString::fromLocal8Bit(argv[++i]);
        else
            counts.push_back(std::atol(argv[i]));
    }
    const long files = counts.size() > 0 ? counts[0] : 1000000;
    const long folders = counts.size() > 1 ? counts[1] : 100000;
    const long big = counts.size() > 2 ? counts[2] : 0;

    const GeneratedVolume volume = walkDir.empty() ? generate(files, folders, big) : walked(walkDir);
    if (walkDir.empty())
        std::printf("volume: %ld files in %zu folders, %zu largest files listed; %dx%d, %s sizes\n", files,
                    volume.folders.size(), volume.largest.size(), width, height, allocated ? "allocated" : "apparent");
    else
        std::printf("volume: %s walked, %zu folders; %dx%d\n", walkDir.c_str(), volume.folders.size(), width, height);

    MapLayoutOptions options;
    options.labelHeight = QFontMetricsF(QApplication::font()).height() + 2;
    QImage image(width, height, QImage::Format_RGB32);
    Series build, layoutTimes, paint, both;
    MapLayout layout;
    MapTree tree;
    for (int run = 0; run < runs; ++run) {
        auto start = std::chrono::steady_clock::now();
        tree = MapTree(volume.mount, volume.folders, volume.largest, allocated);
        build.add(millisecondsSince(start));

        start = std::chrono::steady_clock::now();
        layout = layoutMap(tree, tree.root(), QRectF(0, 0, width, height), options);
        const double laidOut = millisecondsSince(start);
        layoutTimes.add(laidOut);

        start = std::chrono::steady_clock::now();
        image.fill(Qt::white);
        QPainter painter(&image);
        paintMap(painter, tree, layout);
        painter.end();
        const double painted = millisecondsSince(start);
        paint.add(painted);
        both.add(laidOut + painted);
    }
    std::size_t counts4[4] = {};
    for (const MapTile& tile : layout.tiles)
        ++counts4[int(tile.kind)];
    std::printf("tree: %d nodes; tiles: %zu (folders %zu, files %zu, other files %zu, small items %zu)\n", tree.nodeCount(),
                layout.tiles.size(), counts4[0], counts4[1], counts4[2], counts4[3]);
    std::printf("mean aspect ratio: %.3f\n", meanAspectRatio(layout));
    std::printf("median (max) of %d runs, ms: build %.1f (%.1f)  layout %.1f (%.1f)  paint %.1f (%.1f)  layout+paint %.1f (%.1f)\n",
                runs, build.median(), build.max(), layoutTimes.median(), layoutTimes.max(), paint.median(), paint.max(),
                both.median(), both.max());
    bool within = both.max() <= 100;
    if (!windowShot.isEmpty()) {
        MapWindow window{MapActions{}};
        window.show();
        // Grow the window until its map has the size measured above.
        MapView* view = window.findChild<MapView*>();
        window.resize(window.size() + QSize(width, height) - view->size());
        QApplication::processEvents();
        auto start = std::chrono::steady_clock::now();
        window.setScan(volume.mount, volume.folders, volume.largest, allocated);
        const double handed = millisecondsSince(start);
        start = std::chrono::steady_clock::now();
        const QPixmap shot = window.grab();
        const double firstPaint = millisecondsSince(start);
        start = std::chrono::steady_clock::now();
        window.grab();
        const double repaint = millisecondsSince(start);
        std::printf("window (map %dx%d): setScan %.1f ms, first paint %.1f ms, a later paint %.1f ms\n", view->width(),
                    view->height(), handed, firstPaint, repaint);
        within = within && handed <= 100 && firstPaint <= 100;
        shot.save(windowShot);
    }
    if (qEnvironmentVariableIsSet("TORVANE_MAP_BENCH_IMAGE"))
        image.save(qEnvironmentVariable("TORVANE_MAP_BENCH_IMAGE"));
    std::printf("within 100 ms: %s\n", within ? "yes" : "no");
    return within ? 0 : 1;
}
