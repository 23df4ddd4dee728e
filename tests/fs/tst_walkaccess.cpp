// Who may read what, as nobody: the access times of others' folders, which the walk cannot keep on
// the disk, and the folders it could not read. Root reads everything and may keep every access
// time, so as root the test runs itself again as nobody.

#include "WalkFixture.h"

#include <QScopeGuard>
#include <QtTest>

using torvane::LinuxFileSystem;
using namespace torvane::test;

namespace {

// Set for the child: the folder its parent prepared, with folders of root's in it.
const char* const kChildVariable = "TORVANE_WALK_AS_NOBODY";
constexpr std::int64_t kPast = 1614834367;   // 2021-03-04 05:06:07 UTC: older than any relatime window

} // namespace

class WalkAccessTest : public QObject {
    Q_OBJECT

private slots:
    // A folder of root's, read by nobody: the walk may not keep its time on the disk, and opens it
    // all the same; lastAccess still shows the time from before the walk.
    void othersFoldersShowTheirOldTime()
    {
        if (!qEnvironmentVariableIsSet(kChildVariable))
            QSKIP("needs folders of another user: asNobody runs this");
        const std::string base = qgetenv(kChildVariable).toStdString();
        QVERIFY(::mkdir((base + "/mine").c_str(), 0755) == 0);
        const timespec past[2] = {{time_t(kPast), 0}, {UTIME_OMIT, UTIME_OMIT}};
        QVERIFY(::utimensat(AT_FDCWD, (base + "/mine").c_str(), past, 0) == 0);

        LinuxFileSystem fs;
        fs.beginWalk(bytes(base));
        QCOMPARE(sizeWhenReady(fs, bytes(base)), 7u);
        QCOMPARE(fs.lastAccess(bytes(base + "/theirs")).toSecsSinceEpoch(), kPast + 60);
        QCOMPARE(fs.lastAccess(bytes(base + "/theirs/inner")).toSecsSinceEpoch(), kPast + 120);
        QCOMPARE(fs.lastAccess(bytes(base + "/mine")).toSecsSinceEpoch(), kPast);
        QCOMPARE(fs.subfolders(bytes(base + "/theirs")).size(), std::size_t(1));
        struct stat st {};
        QVERIFY(::lstat((base + "/mine").c_str(), &st) == 0);
        QCOMPARE(std::int64_t(st.st_atim.tv_sec), kPast);
    }

    // Folders that cannot be opened or read, or whose entries cannot be stat'ed, are listed in byte
    // order of their paths below the volume; the sizes keep what could be read, as du does.
    void unreadableFolders()
    {
        if (::geteuid() == 0)
            QSKIP("root reads every folder: asNobody runs this");
        Tree t;
        for (const char* folder : {"a", "a/locked", "a/open", "B", "c 0644", "c 0644/sub", "\xff", "\xff/locked"})
            t.dir(folder);
        t.file("a/open/f", 10);
        t.file("a/locked/hidden", 1000);
        t.file("B/hidden", 1000);
        t.file("c 0644/f", 1000);
        t.file("top", 5);
        const std::vector<std::pair<std::string, mode_t>> modes{
            {"a/locked", 0}, {"B", 0311}, {"c 0644", 0644}, {"\xff/locked", 0}};
        const auto unlock = qScopeGuard([&] {
            for (const auto& [rel, mode] : modes)
                ::chmod(t.at(rel).c_str(), 0755);
        });
        for (const auto& [rel, mode] : modes)
            QVERIFY(::chmod(t.at(rel).c_str(), mode) == 0);

        LinuxFileSystem fs;
        const QByteArray root = bytes(t.root());
        fs.beginWalk(root);
        QCOMPARE(sizeWhenReady(fs, root), 15u);
        QCOMPARE(sizeWhenReady(fs, root + "/a"), 10u);
        QCOMPARE(errorOf([&] { fs.folderSize(root + "/a/locked"); }), EACCES);

        // The count of all, then the first n, each with its error number and text.
        const auto listed = [&](std::size_t n) {
            const torvane::WalkErrors errors = fs.walkErrors(n);
            QByteArrayList out{QByteArray::number(qulonglong(errors.total))};
            for (const torvane::FailedFolder& f : errors.first)
                out << f.path + " " + QByteArray::number(f.error) + " " + f.description.toLocal8Bit();
            return out;
        };
        const QByteArray denied = " " + QByteArray::number(EACCES) + " " + std::strerror(EACCES);
        QCOMPARE(listed(100), (QByteArrayList{"5", "B" + denied, "a/locked" + denied, "c 0644" + denied, "c 0644/sub" + denied,
                                              "\xff/locked" + denied}));
        QCOMPARE(listed(2), (QByteArrayList{"5", "B" + denied, "a/locked" + denied}));
    }

    void asNobody()
    {
        if (qEnvironmentVariableIsSet(kChildVariable))
            QSKIP("this is the child");
        if (::geteuid() != 0)
            QSKIP("not root: the cases above ran as this user");
        Tree base;
        QVERIFY(::chown(base.root().c_str(), kNobody, kNobody) == 0 && ::chmod(base.root().c_str(), 0755) == 0);
        base.dir("theirs");
        base.dir("theirs/inner");
        base.file("theirs/inner/f", 7);
        base.setAccessTime("theirs/inner", kPast + 120);
        base.setAccessTime("theirs", kPast + 60);

        const QByteArray failed = runAsNobody(*this, kChildVariable, QString::fromStdString(base.root()),
                                              {QStringLiteral("othersFoldersShowTheirOldTime"), QStringLiteral("unreadableFolders")});
        QVERIFY2(failed.isEmpty(), failed.constData());
    }
};

int main(int argc, char** argv)
{
    return execDroppingRoot<QCoreApplication, WalkAccessTest>(kChildVariable, argc, argv);
}

#include "tst_walkaccess.moc"
