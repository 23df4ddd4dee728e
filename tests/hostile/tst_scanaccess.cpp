// A scan through the real file system: the access time each status line shows is the one the
// folder had before the scan, not the moment the scan's own walk read it.

#include "fs/LinuxFileSystem.h"
#include "fs/MountTable.h"
#include "scan/StatusText.h"
#include "support/ScanRig.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

using namespace torvane;
using namespace torvane::test;

class ScanAccessTest : public QObject {
    Q_OBJECT

private slots:
    void lastAccessFromBeforeTheScan();
};

void ScanAccessTest::lastAccessFromBeforeTheScan()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray volume = QFile::encodeName(dir.path());
    for (const char* folder : {"/alpha", "/alpha/inner", "/alpha/other", "/beta", "/beta/third"})
        QVERIFY(::mkdir(volume + folder, 0755) == 0);
    QFile file(QFile::decodeName(volume + "/alpha/inner/f"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(100, 'x')) == 100);
    file.close();
    // Older than a day, so a relatime mount moves them when a folder is read.
    const qint64 past = 1614834367;
    const std::vector<std::pair<QByteArray, qint64>> shown{
        {"alpha/inner", past}, {"alpha/other", past + 86400}, {"beta/third", past + 2 * 86400}};
    for (const auto& [rel, when] : shown) {
        const timespec times[2] = {{time_t(when), 0}, {UTIME_OMIT, UTIME_OMIT}};
        QVERIFY(::utimensat(AT_FDCWD, (volume + '/' + rel).constData(), times, 0) == 0);
    }

    // The folder is a volume of its own in the table this file system reads.
    LinuxFileSystem fs([volume] {
        std::vector<MountEntry> table = readMountTable();
        table.push_back(MountEntry{"test", volume, "ext4", "/", {}});
        return table;
    });
    ScanRig rig(fs, volume);
    rig.scanner->scanVolume();
    const QString status = rig.status.text();
    for (const auto& [rel, when] : shown) {
        const QByteArray name = rel.mid(rel.indexOf('/') + 1);
        const QString line = readingLine(name == "inner" ? 100 : 0, name, QDateTime::fromSecsSinceEpoch(when));
        QVERIFY2(status.contains(line), qPrintable(line + QStringLiteral("\n") + status));
    }
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ScanAccessTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_scanaccess.moc"
