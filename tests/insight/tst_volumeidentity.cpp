#include "fs/VolumeIdentity.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace torvane;

namespace {

// A stand-in for /dev: plain files for devices, and /dev/disk's link folders, one link relative
// and one absolute as udev makes both kinds.
struct FakeDev {
    QTemporaryDir dir;
    QByteArray root = QFile::encodeName(dir.path());

    FakeDev()
    {
        QDir(dir.path()).mkpath(QStringLiteral("disk/by-uuid"));
        QDir(dir.path()).mkpath(QStringLiteral("disk/by-label"));
        QDir(dir.path()).mkpath(QStringLiteral("mapper"));
        for (const char* device : {"sda1", "sdb1", "sdc1", "dm-0"}) {
            QFile file(dir.filePath(QString::fromLatin1(device)));
            file.open(QIODevice::WriteOnly);
        }
        link("../../sda1", "disk/by-uuid/1234-ABCD");
        link(dir.filePath(QStringLiteral("sdb1")), "disk/by-label/Backup\\x20Disk");
        link("../../dm-0", "disk/by-uuid/0f1e2d3c-aaaa");
        link("../../dm-0", "disk/by-label/crypt");
        link("../dm-0", "mapper/home");
        link("../../nothing-here", "disk/by-uuid/dangling");
    }
    void link(const QString& target, const char* name) const
    {
        QFile::link(target, dir.filePath(QString::fromLatin1(name)));
    }
    QByteArray path(const char* name) const { return root + '/' + name; }
};

} // namespace

class VolumeIdentityTest : public QObject {
    Q_OBJECT

private slots:
    void uuidThenLabelThenDeviceAndMount()
    {
        const FakeDev dev;
        QVERIFY(dev.dir.isValid());
        const QByteArray disk = dev.path("disk");
        struct Case {
            QByteArray device;
            QByteArray mountPath;
            QByteArray expected;
        };
        const Case cases[] = {
            {dev.path("sda1"), "/", "uuid:1234-ABCD"},
            {dev.path("sdb1"), "/media/usb", "label:Backup\\x20Disk"},
            // A mapper name is a link itself; the uuid wins over the label of the same device.
            {dev.path("mapper/home"), "/home", "uuid:0f1e2d3c-aaaa"},
            {dev.path("sdc1"), "/data", "device:" + dev.path("sdc1") + " at /data"},
            {"server:/export", "/mnt/nfs", "device:server:/export at /mnt/nfs"},
            {dev.path("nothing-here"), "/x", "device:" + dev.path("nothing-here") + " at /x"},
        };
        for (const Case& c : cases)
            QCOMPARE(volumeIdentity(Volume{c.mountPath, c.device, "ext4"}, disk), c.expected);
    }

    void noLinkFolderMeansDeviceAndMount()
    {
        const FakeDev dev;
        const Volume volume{"/", dev.path("sda1"), "ext4"};
        QCOMPARE(volumeIdentity(volume, dev.path("no-such-folder")), "device:" + dev.path("sda1") + " at /");
    }
};

QTEST_GUILESS_MAIN(VolumeIdentityTest)
#include "tst_volumeidentity.moc"
