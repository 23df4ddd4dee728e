#include "app/Startup.h"
#include "desktop/AppInfo.h"
#include "desktop/InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace torvane;

namespace {
void touch(const QString& path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("MZ");
}
} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void startFolderIsAbsoluteAndKeepsItsBytes()
    {
        QCOMPARE(startFolder("", "/home/u"), QByteArray());
        QCOMPARE(startFolder("/data/x/", "/home/u"), QByteArray("/data/x"));
        QCOMPARE(startFolder("photos", "/home/u"), QByteArray("/home/u/photos"));
        QCOMPARE(startFolder("caf\xe9", "/"), QByteArray("/caf\xe9"));
        QCOMPARE(startFolder("/", "/home/u"), QByteArray("/"));
    }

    void leftoverInstallerIsDeletedInAnyCase()
    {
        QTemporaryDir dir;
        touch(dir.filePath(QStringLiteral("Update.exe")));
        touch(dir.filePath(QStringLiteral("driverpack.exe")));
        touch(dir.filePath(QStringLiteral("update.exe.txt")));
        QCOMPARE(deleteLeftoverInstaller(dir.path()), 1);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 (QStringList{QStringLiteral("driverpack.exe"), QStringLiteral("update.exe.txt")}));
        // Nothing to delete: nothing deleted.
        QCOMPARE(deleteLeftoverInstaller(dir.path()), 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
        // A folder of that name is no installer.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("UPDATE.EXE")));
        QCOMPARE(deleteLeftoverInstaller(dir.path()), 0);
        QVERIFY(QDir(dir.filePath(QStringLiteral("UPDATE.EXE"))).exists());
    }

    void startupErrorNamesTheSupportAddress()
    {
        QCOMPARE(startupErrorText(QStringLiteral("Permission denied"), QStringLiteral("help@example.org")),
                 QStringLiteral("Permission denied\r\nPlease report this to help@example.org."));
    }

    void appFolderFallsBackWhenNotWritable()
    {
        QTemporaryDir dir;
        const QString exeFolder = dir.filePath(QStringLiteral("bin"));
        const QString dataFolder = dir.filePath(QStringLiteral("data/torvane"));
        QVERIFY(QDir().mkpath(exeFolder));
        QCOMPARE(RealAppInfo::chooseAppFolder(exeFolder, dataFolder), exeFolder);
        // A folder nobody may write to, even root: a read-only bind is not available here, so use
        // a path that cannot exist.
        QCOMPARE(RealAppInfo::chooseAppFolder(dir.filePath(QStringLiteral("missing/bin")), dataFolder), dataFolder);
        QVERIFY(QDir(dataFolder).exists());
    }

    void secondLockIsRefusedAndStaleLockTakenOver()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("torvane.lock"));
        {
            InstanceLock first(path);
            QVERIFY(first.acquired());
            InstanceLock second(path);
            QVERIFY(!second.acquired());
        }
        InstanceLock again(path);
        QVERIFY(again.acquired());
        again.release();

        // A lock left by a process that no longer runs is stale and taken over.
        QFile stale(path);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("999999\ntorvane\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        stale.close();
        InstanceLock afterCrash(path);
        QVERIFY(afterCrash.acquired());
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
