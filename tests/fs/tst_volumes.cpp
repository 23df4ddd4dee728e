#include "fs/LinuxFileSystem.h"
#include "fs/MountTable.h"

#include <QScopeGuard>
#include <QtTest>

#include <sys/mount.h>
#include <unistd.h>

using torvane::MountEntry;
using torvane::Volume;

namespace {

// A desktop's mountinfo: kernel file systems, a container layer, a snap, a separate /home, a bind
// mount of part of it, an NFS share and a USB stick whose label has a blank.
const QByteArray kDesktop =
    "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
    "26 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw,errors=remount-ro\n"
    "31 26 8:3 / /home rw,relatime shared:30 - ext4 /dev/sda3 rw\n"
    "32 26 8:1 / /boot/efi rw,relatime shared:31 - vfat /dev/sda1 rw,fmask=0077\n"
    "40 26 7:1 / /snap/core22/1380 ro,nodev,relatime shared:40 - squashfs /dev/loop1 ro\n"
    "50 26 0:50 / /var/lib/docker/overlay2/abc/merged rw,relatime - overlay overlay rw,lowerdir=/x\n"
    "51 26 8:3 /alice/shared /srv/shared rw,relatime shared:30 - ext4 /dev/sda3 rw\n"
    "60 26 0:60 / /net/files rw,relatime shared:60 - nfs4 fileserver:/export rw,vers=4.2\n"
    "61 27 8:17 / /media/alice/MY\\040STICK rw,nosuid,nodev shared:70 - vfat /dev/sdb1 rw,uid=1000\n"
    "62 27 0:61 / /run/user/1000 rw,nosuid - tmpfs tmpfs rw,size=1600k\n"
    "64 62 0:63 / /run/user/1000/gvfs rw,nosuid - fuse.gvfsd-fuse gvfsd-fuse rw\n";

// Each drive as "mount path | device | type", so one comparison checks the order and every field.
QByteArrayList drives(const std::vector<Volume>& volumes)
{
    QByteArrayList out;
    for (const Volume& v : volumes)
        out << v.mountPath + " | " + v.device + " | " + v.fsType;
    return out;
}

} // namespace

class VolumesTest : public QObject {
    Q_OBJECT

private slots:
    void driveList_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<bool>("procMounts");   // the older /proc/mounts format, without device numbers
        QTest::addColumn<QByteArray>("home");
        QTest::addColumn<QByteArrayList>("expected");

        // The volume holding the home folder leads, the rest follow by mount path; the bind mount of
        // /home's device is not a second drive.
        const QByteArray root = "/ | /dev/sda2 | ext4", home = "/home | /dev/sda3 | ext4", efi = "/boot/efi | /dev/sda1 | vfat",
                         stick = "/media/alice/MY STICK | /dev/sdb1 | vfat", nfs = "/net/files | fileserver:/export | nfs4";
        const QByteArrayList byPath{root, efi, home, stick, nfs};
        QTest::newRow("desktop") << kDesktop << false << QByteArray("/home/alice") << QByteArrayList{home, root, efi, stick, nfs};
        // "/homework" is not inside "/home".
        QTest::newRow("home beside /home") << kDesktop << false << QByteArray("/homework/bob") << byPath;

        // The root file system is a drive even as an overlay; two binds of one device are one drive;
        // lines that are no mounts (too few fields) are left out.
        QTest::newRow("container") << QByteArray("\n garbage\n700 600 8:2 / /short rw - ext4\n"
                                                 "600 550 0:90 / / rw,relatime - overlay overlay rw,lowerdir=/l,upperdir=/u\n"
                                                 "601 600 0:91 / /proc rw - proc proc rw\n"
                                                 "602 600 0:92 / /dev rw - tmpfs tmpfs rw\n"
                                                 "603 600 254:1 /data/w /work rw,relatime - ext4 /dev/vdb rw\n"
                                                 "604 600 254:1 /data/w /mirror rw,relatime - ext4 /dev/vdb rw\n")
                                   << false << QByteArray("/root")
                                   << QByteArrayList{"/ | overlay | overlay", "/work | /dev/vdb | ext4"};
        // Subvolumes are drives of their own; a bind into one, or the root subvolume again, is not.
        QTest::newRow("btrfs") << QByteArray("30 1 0:31 /@ / rw,relatime - btrfs /dev/nvme0n1p3 rw,subvol=/@\n"
                                             "31 30 0:31 /@home /home rw,relatime - btrfs /dev/nvme0n1p3 rw,subvol=/@home\n"
                                             "32 30 0:31 /@home/carol/games /games rw,relatime - btrfs /dev/nvme0n1p3 rw\n"
                                             "33 30 0:31 /@ /mnt/rootagain rw,relatime - btrfs /dev/nvme0n1p3 rw,subvol=/@\n")
                               << false << QByteArray("/home/carol")
                               << QByteArrayList{"/home | /dev/nvme0n1p3 | btrfs", "/ | /dev/nvme0n1p3 | btrfs"};
        // Without device numbers, a device mounted twice is still one drive.
        QTest::newRow("/proc/mounts") << QByteArray("proc /proc proc rw,nosuid 0 0\n"
                                                    "/dev/sda2 / ext4 rw,relatime 0 0\n"
                                                    "/dev/sdc1 /media/usb\\040disk exfat rw 0 0\n"
                                                    "/dev/sdd1 /media/win fuseblk rw 0 0\n"
                                                    "//nas/music /mnt/music cifs rw 0 0\n"
                                                    "/dev/sda2 /mnt/again ext4 rw 0 0\n")
                                      << true << QByteArray("/root")
                                      << QByteArrayList{root, "/media/usb disk | /dev/sdc1 | exfat",
                                                        "/media/win | /dev/sdd1 | fuseblk", "/mnt/music | //nas/music | cifs"};
    }

    void driveList()
    {
        QFETCH(QByteArray, table);
        QFETCH(bool, procMounts);
        QFETCH(QByteArray, home);
        QFETCH(QByteArrayList, expected);
        QCOMPARE(drives(torvane::driveVolumes(procMounts ? torvane::parseProcMounts(table) : torvane::parseMountInfo(table), home)),
                 expected);
    }

    // A volume has space only while the table has a mount at exactly its path: the empty folder an
    // unmounted volume leaves answers statvfs with the numbers of the file system around it (on the
    // running system: mountingAndUnmountingAreWatched). A path in the table is written with escapes.
    void escapesAndSpaceOnlyWhileMounted()
    {
        QCOMPARE(torvane::unescapeMountField("a\\040b\\011c\\012d\\134e\\377x"), QByteArray("a b\tc\nd\\e\xffx"));
        // Not an escape: kept as written, including a backslash at the very end.
        QCOMPARE(torvane::unescapeMountField("\\9ab\\04end\\"), QByteArray("\\9ab\\04end\\"));
        const std::vector<MountEntry> desktop = torvane::parseMountInfo(kDesktop);
        for (const char* path : {"/", "/home", "/home/", "/media/alice/MY STICK", "/media/alice/MY STICK//", "/run/user/1000"})
            QVERIFY2(torvane::hasMountAt(desktop, path), path);
        for (const char* path : {"", "/home/alice", "/hom", "/media/alice", "/media/alice/MY", "/media/alice/MY\\040STICK"})
            QVERIFY2(!torvane::hasMountAt(desktop, path), path);
    }

    // On the running system: a file system mounted on a folder and unmounted again is reported to the
    // watcher each time, from the event loop, and has space only while it is there.
    void mountingAndUnmountingAreWatched()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray folder = QFile::encodeName(dir.path());
        torvane::LinuxFileSystem fs;
        int changes = 0;
        fs.watchVolumes([&] {
            QCOMPARE(QThread::currentThread(), QCoreApplication::instance()->thread());
            ++changes;
        });
        // Quiet: a watcher that reports without a change reports thousands of times (others may mount).
        QTest::qWait(300);
        QVERIFY2(changes < 20, QByteArray::number(changes).constData());

        if (::mount("torvane-test", folder.constData(), "tmpfs", 0, "size=1m") != 0)
            QSKIP("cannot mount a tmpfs here (needs CAP_SYS_ADMIN)");
        const auto unmount = qScopeGuard([&] { ::umount(folder.constData()); });   // fails harmlessly when not mounted
        int before = changes;
        QTRY_VERIFY_WITH_TIMEOUT(changes > before, 10000);
        const torvane::VolumeSpace space = fs.volumeSpace(folder);
        QVERIFY(space.ready);
        QCOMPARE(space.totalBytes, std::uint64_t(1) << 20);

        before = changes;
        QVERIFY(::umount(folder.constData()) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(changes > before, 10000);
        QVERIFY(!fs.volumeSpace(folder).ready);   // though the empty folder answers statvfs for "/"

        // Once watching stops (the window closing), nothing is reported.
        fs.watchVolumes({});
        before = changes;
        QVERIFY(::mount("torvane-test", folder.constData(), "tmpfs", 0, "size=1m") == 0);
        QTest::qWait(300);
        QCOMPARE(changes, before);
    }
};

QTEST_GUILESS_MAIN(VolumesTest)
#include "tst_volumes.moc"
