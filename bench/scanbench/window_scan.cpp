// torvane-window-bench MOUNT [RUNS [EXPAND_KEY]]
// The whole scan in the real main window, on whatever platform Qt is given (run it under
// xvfb-run for the xcb platform): chooses the mounted volume MOUNT in the drive list, presses Run,
// and prints per run the seconds from the press to the report on disk and the window repainted,
// and the longest time the event loop did not run. EXPAND_KEY names a node of the scanned tree
// (MOUNT/a/b, a second-level folder) that is then opened: every child of it gets its own
// subfolders listed, as when the user opens it.

#include "desktop/AppInfo.h"
#include "desktop/LinuxShell.h"
#include "desktop/Prompter.h"
#include "fs/LinuxFileSystem.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/Services.h"
#include "scan/FolderNode.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTreeWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class OkPrompter final : public torvane::Prompter {
public:
    torvane::BoxAnswer ask(const QString&, torvane::BoxIcon, torvane::BoxButtons, const QString&) override
    {
        return torvane::BoxAnswer::Ok;
    }
};

class BenchAppInfo final : public torvane::AppInfo {
public:
    explicit BenchAppInfo(QString folder) : folder_(std::move(folder)) {}
    QString appFolder() const override { return folder_; }
    QString version() const override { return QStringLiteral("0.0.0"); }
    QString supportAddress() const override { return QString(); }

private:
    QString folder_;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MOUNT [RUNS]\n", argv[0]);
        return 2;
    }
    const QByteArray mount = QByteArray(argv[1]);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    QTemporaryDir folder;
    torvane::LinuxFileSystem fs;
    torvane::LinuxShell shell;
    OkPrompter prompter;
    BenchAppInfo appInfo(folder.path());
    torvane::Services services;
    services.fileSystem = &fs;
    services.shell = &shell;
    services.prompter = &prompter;
    services.appInfo = &appInfo;
    torvane::MainWindow window(services, [] {});
    window.show();
    window.startUp();
    auto* drives = window.findChild<QComboBox*>(QStringLiteral("drvHDs"));
    const int index = drives->findData(mount);
    if (index < 0) {
        std::fprintf(stderr, "%s is not in the drive list\n", mount.constData());
        return 2;
    }
    drives->setCurrentIndex(index);
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 500)
        QApplication::processEvents(QEventLoop::AllEvents, 50);

    // The longest time between two ticks of a timer that wants to run every millisecond.
    QElapsedTimer tick;
    qint64 longest = 0;
    QTimer meter;
    QObject::connect(&meter, &QTimer::timeout, [&] { longest = std::max(longest, tick.restart()); });
    const QString report = folder.filePath(QStringLiteral("xmlOutput.xml"));
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QFile::remove(report);
        tick.start();
        longest = 0;
        meter.start(1);
        QElapsedTimer clock;
        clock.start();
        window.findChild<QPushButton*>(QStringLiteral("cmdRun"))->click();
        QApplication::processEvents();   // the repaint the user waits for after the last line
        const double seconds = clock.nsecsElapsed() / 1e9;
        meter.stop();
        if (!QFile::exists(report)) {
            std::fprintf(stderr, "no report\n");
            return 1;
        }
        times.push_back(seconds);
        std::printf("seconds=%.3f longest_gap_ms=%lld\n", seconds, (long long)longest);
        std::fflush(stdout);
    }
    std::sort(times.begin(), times.end());
    std::printf("median_seconds=%.3f\n", times[times.size() / 2]);
    if (argc > 3) {
        QTreeWidgetItem* node = window.tree().find(QByteArray(argv[3]));
        if (!node) {
            std::fprintf(stderr, "%s is not in the tree\n", argv[3]);
            return 1;
        }
        tick.start();
        longest = 0;
        meter.start(1);
        QElapsedTimer clock;
        clock.start();
        node->setExpanded(true);
        QApplication::processEvents();
        std::printf("expand_seconds=%.3f expand_longest_gap_ms=%lld\n", clock.nsecsElapsed() / 1e9, (long long)longest);
    }
    return 0;
}
