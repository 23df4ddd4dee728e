// torvane-snapshot-bench [FOLDERS [CHANGES]]   (defaults: 100000 folders, 3000 changes)
// Makes a reproducible snapshot of a volume shaped like torvane-gentree's trees, and a later one
// with CHANGES folders grown or shrunk and a tenth as many new and gone, then prints one line:
// save_ms (encode_ms of it in memory), load_ms (decode_ms of it), compare_ms: medians of 5 runs;
// file_bytes, body_bytes (before compression), body_per_folder, body_per_folder_besides_names,
// listed (folders the comparison lists) and window_longest_gap_ms (the longest pause of the event
// loop while the Changes window opens on the two, offscreen).

#include "insight/ChangesWindow.h"
#include "insight/SnapshotComparison.h"
#include "insight/SnapshotStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "../TreeRandom.h"

using namespace torvane;

namespace {

using treerandom::next;

// A folder of the generated volume: its parent (breadth first, fan-out 10, as torvane-gentree
// makes them) and the bytes of its own files.
struct Node {
    QByteArray path;
    std::size_t parent = 0;
    std::uint64_t own = 0;
    bool present = true;
};

std::uint64_t onDisk(std::uint64_t bytes)
{
    return (bytes + 4095) / 4096 * 4096;
}

Snapshot snapshotOf(const std::vector<Node>& nodes, qint64 ms)
{
    std::vector<std::uint64_t> apparent(nodes.size()), allocated(nodes.size());
    // Children come after their parents, so one backward pass sums every subtree.
    for (std::size_t i = nodes.size(); i-- > 0;) {
        if (!nodes[i].present)
            continue;
        apparent[i] += nodes[i].own;
        allocated[i] += onDisk(nodes[i].own);
        if (i > 0) {
            apparent[nodes[i].parent] += apparent[i];
            allocated[nodes[i].parent] += allocated[i];
        }
    }
    Snapshot s{"uuid:bench", QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC), {}};
    s.folders.reserve(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i)
        if (nodes[i].present)
            s.folders.push_back({nodes[i].path, apparent[i], allocated[i]});
    std::sort(s.folders.begin(), s.folders.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
    return s;
}

std::vector<Node> generate(std::size_t folders)
{
    std::vector<Node> nodes(folders);
    for (std::size_t i = 1; i < folders; ++i) {
        nodes[i].parent = (i - 1) / 10;
        const QByteArray name = 'd' + QByteArray::number(qulonglong(i % 10)) + '_' + QByteArray::number(qulonglong(i));
        nodes[i].path = nodes[i].parent == 0 ? name : nodes[nodes[i].parent].path + '/' + name;
    }
    // About ten files a folder, mostly small, now and then a large one.
    for (Node& node : nodes)
        for (int f = 0; f < 10; ++f)
            node.own += next() % 100 == 0 ? next() % (64ull << 20) : next() % 16384;
    return nodes;
}

void change(std::vector<Node>& nodes, std::size_t changes)
{
    const std::size_t leavesFrom = nodes.size() / 10 + 1;   // no children past here
    for (std::size_t c = 0; c < changes; ++c) {
        Node& node = nodes[1 + next() % (nodes.size() - 1)];
        node.own = next() % 2 ? node.own + next() % (8ull << 20) : node.own / 2;
    }
    for (std::size_t c = 0; c < changes / 10; ++c)
        nodes[leavesFrom + next() % (nodes.size() - leavesFrom)].present = false;
    for (std::size_t c = 0; c < changes / 10; ++c) {
        Node node;
        node.parent = next() % leavesFrom;
        node.path = (node.parent ? nodes[node.parent].path + '/' : QByteArray()) + "new_" + QByteArray::number(qulonglong(c));
        node.own = next() % (16ull << 20);
        nodes.push_back(std::move(node));
    }
}

double medianMs(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer clock;
        clock.start();
        work();
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The longest time between two ticks of a timer that wants to run every millisecond.
qint64 longestGapWhile(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    qint64 longest = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { longest = std::max(longest, clock.restart()); });
    clock.start();
    timer.start(1);
    QElapsedTimer limit;
    limit.start();
    while (!done() && limit.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return std::max(longest, clock.elapsed());
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::size_t folders = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
    const std::size_t changes = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 3000;
    if (folders < 20) {
        std::fprintf(stderr, "usage: torvane-snapshot-bench [FOLDERS>=20 [CHANGES]]\n");
        return 2;
    }
    std::vector<Node> nodes = generate(folders);
    const Snapshot older = snapshotOf(nodes, 1'700'000'000'000);
    change(nodes, changes);
    const auto newer = std::make_shared<const Snapshot>(snapshotOf(nodes, 1'700'000'600'000));

    QTemporaryDir data;
    const SnapshotStore store(data.path());
    const double saveMs = medianMs(5, [&] {
        if (!store.save(older))
            std::abort();
    });
    QByteArray encoded;
    const double encodeMs = medianMs(5, [&] { encoded = encodeSnapshot(older); });
    const double decodeMs = medianMs(5, [&] {
        if (!decodeSnapshot(encoded).snapshot)
            std::abort();
    });
    const SnapshotEntry entry = store.list(older.volumeId).front();
    const double loadMs = medianMs(5, [&] {
        if (!store.load(entry, older.volumeId).snapshot)
            std::abort();
    });
    std::size_t listed = 0;
    const double compareMs = medianMs(5, [&] {
        listed = SnapshotComparison(older, *newer, SizeKind::Apparent).listedCount();
    });
    const std::size_t body = snapshotBodySize(older);
    std::size_t names = 0;
    for (const SnapshotFolder& folder : older.folders)
        names += std::size_t(folder.path.size() - folder.path.lastIndexOf('/') - 1);

    ChangesWindow window(store, {});
    window.show();
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("changesTree"));
    window.setCurrent(newer, "/bench");
    const qint64 gap = longestGapWhile([&] { return !tree->isHidden() && tree->topLevelItemCount() > 0; });

    std::printf("folders=%zu changes=%zu save_ms=%.1f encode_ms=%.1f load_ms=%.1f decode_ms=%.1f compare_ms=%.1f file_bytes=%lld body_bytes=%zu "
                "body_per_folder=%.2f body_per_folder_besides_names=%.2f listed=%zu window_longest_gap_ms=%lld\n",
                older.folders.size(), changes, saveMs, encodeMs, loadMs, decodeMs, compareMs, (long long)QFileInfo(entry.file).size(), body,
                double(body) / double(older.folders.size()), double(body - names) / double(older.folders.size()), listed,
                (long long)gap);
    return 0;
}
