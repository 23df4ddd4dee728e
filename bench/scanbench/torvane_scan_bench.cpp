// torvane-scan-bench DIR [EXPAND_KEY]
// Scans DIR as a volume through the program's own scan driver and prints one line:
// scan_seconds=S longest_gap_ms=G status_lines=N nodes=N [expand_seconds=S expand_children=N]
// EXPAND_KEY names a second-level folder (DIR/a/b) whose subfolders are then listed the way an
// expansion lists them.

#include "fs/LinuxFileSystem.h"
#include "fs/MountTable.h"
#include "desktop/Prompter.h"
#include "scan/DriveScan.h"
#include "scan/FolderNode.h"
#include "scan/StatusText.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

namespace {

class OkPrompter final : public torvane::Prompter {
public:
    torvane::BoxAnswer ask(const QString&, torvane::BoxIcon, torvane::BoxButtons, const QString&) override
    {
        return torvane::BoxAnswer::Ok;
    }
};

// Measures the longest time between two ticks of a timer that wants to run every millisecond:
// the longest time the event loop did not run.
class GapMeter {
public:
    GapMeter()
    {
        clock_.start();
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            longest_ = std::max(longest_, clock_.restart());
        });
        timer_.start(1);
    }
    qint64 takeLongest()
    {
        const qint64 l = longest_;
        longest_ = 0;
        clock_.restart();
        return l;
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

int countNodes(QTreeWidgetItem* item)
{
    int n = 1;
    for (int i = 0; i < item->childCount(); ++i)
        n += countNodes(item->child(i));
    return n;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [EXPAND_KEY]\n", argv[0]);
        return 2;
    }
    const QByteArray dir = QByteArray(argv[1]);
    QTemporaryDir reportDir;

    // DIR is scanned as a volume of its own, whether or not something is mounted there.
    torvane::LinuxFileSystem fs([dir] {
        std::vector<torvane::MountEntry> table = torvane::readMountTable();
        table.push_back(torvane::MountEntry{"bench", dir, "ext4", "/", {}});
        return table;
    });
    OkPrompter prompter;
    QTreeWidget view;
    QPlainTextEdit text;
    QProgressBar bar;
    torvane::FolderTree tree(&view);
    torvane::StatusBox status(&text);
    view.show();
    text.show();

    torvane::ScanControls c;
    c.tree = &tree;
    c.status = &status;
    c.progress = &bar;
    c.currentDrive = [&] { return dir; };
    c.setCurrentDrive = [](const QByteArray&) {};
    c.setTimerEnabled = [](bool) {};
    torvane::DriveScanner scanner(fs, prompter, c, reportDir.filePath(QStringLiteral("xmlOutput.xml")));

    GapMeter gaps;
    QElapsedTimer clock;
    clock.start();
    scanner.scanVolume();
    const double scanSeconds = clock.nsecsElapsed() / 1e9;
    const qint64 scanGap = gaps.takeLongest();
    const int lines = int(status.text().count(QStringLiteral("\r\n")));
    std::printf("scan_seconds=%.3f longest_gap_ms=%lld status_lines=%d nodes=%d", scanSeconds, (long long)scanGap,
                lines, view.topLevelItemCount() ? countNodes(view.topLevelItem(0)) : 0);
    if (argc > 2) {
        const QByteArray key = QByteArray(argv[2]);
        clock.restart();
        scanner.listSubfolders(key);
        const double expandSeconds = clock.nsecsElapsed() / 1e9;
        QTreeWidgetItem* node = tree.find(key);
        std::printf(" expand_seconds=%.3f expand_children=%d expand_longest_gap_ms=%lld", expandSeconds,
                    node ? node->childCount() : -1, (long long)gaps.takeLongest());
        clock.restart();
        tree.sortChildren(key);
        std::printf(" sort_ms=%lld", (long long)clock.elapsed());
    }
    std::printf("\n");
    return 0;
}
