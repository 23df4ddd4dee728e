#include "app/Startup.h"
#include "desktop/AppInfo.h"
#include "desktop/InstanceLock.h"
#include "support/Files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace torvane;

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
        for (const char* name : {"Update.exe", "driverpack.exe", "update.exe.txt"})
            test::writeFile(dir.filePath(QLatin1String(name)), {});
        QCOMPARE(deleteLeftoverInstaller(dir.path()), 1);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"driverpack.exe", "update.exe.txt"}));
    }

    void appFolderFallsBackWhenNotWritable()
    {
        QTemporaryDir dir;
        const QString dataFolder = dir.filePath(QStringLiteral("data/torvane"));
        QCOMPARE(RealAppInfo::chooseAppFolder(dir.path(), dataFolder), dir.path());
        // Not writable even by root: a path that cannot exist (no read-only bind here).
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
            QVERIFY(!InstanceLock(path).acquired());
        }
        QVERIFY(InstanceLock(path).acquired());

        // A lock left by a process that no longer runs is stale and taken over.
        test::writeFile(path, "999999\ntorvane\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        QVERIFY(InstanceLock(path).acquired());
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
