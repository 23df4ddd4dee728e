#pragma once

// What the trash and rename tests share: byte-exact file helpers, a temporary home whose trash is
// the only one touched, and volumes mounted for one test.

#include "fs/LongPath.h"
#include "fs/PlatformError.h"
#include "fs/RenameNoReplace.h"
#include "desktop/Trash.h"
#include "desktop/TrashTree.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace torvane::trashtest {

inline bool exists(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

inline void makeDir(const QByteArray& path, mode_t mode = 0755)
{
    QVERIFY2(::mkdir(path.constData(), mode) == 0, path.constData());
    ::chmod(path.constData(), mode);   // past the umask
}

// Byte-exact paths: QFile cannot open a name that is not UTF-8.
inline void writeFile(const QByteArray& path, const QByteArray& content)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    QVERIFY2(fd >= 0 && ::write(fd, content.constData(), size_t(content.size())) == content.size() && ::close(fd) == 0,
             path.constData());
}

// Makes each entry below `folder`, in order: "a/" is a folder, "a/b" a file that holds its own name.
inline void makeTree(const QByteArray& folder, const QByteArrayList& entries)
{
    for (const QByteArray& entry : entries) {
        if (entry.endsWith('/'))
            makeDir(folder + '/' + entry.chopped(1));
        else
            writeFile(folder + '/' + entry, entry.mid(entry.lastIndexOf('/') + 1));
    }
}

inline QByteArray readBytes(const QByteArray& path)
{
    QFile file;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    return fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle) ? file.readAll() : QByteArray();
}

inline QByteArray bytesOf(const QTemporaryDir& dir)
{
    return QFile::encodeName(dir.path());
}

// The regular files in a folder, in byte order.
inline QByteArrayList filesIn(const QByteArray& folder)
{
    const std::vector<QByteArray> files = readFolderEntries(folder).files;
    QByteArrayList names(files.begin(), files.end());
    std::sort(names.begin(), names.end());
    return names;
}

inline int countEntries(const QByteArray& folder)
{
    QDir dir(QFile::decodeName(folder));
    return int(dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).size());
}

// The key=value lines of a .trashinfo; none unless it starts with the group header.
inline QMap<QByteArray, QByteArray> readInfo(const QByteArray& infoPath)
{
    QMap<QByteArray, QByteArray> keys;
    const QList<QByteArray> lines = readBytes(infoPath).split('\n');
    for (const QByteArray& line : lines.mid(1)) {
        const qsizetype eq = line.indexOf('=');
        if (lines.first() == "[Trash Info]" && eq > 0)
            keys[line.left(eq)] = line.mid(eq + 1);
    }
    return keys;
}

// Where the item `name` in `trash` came from, as its .trashinfo says (percent-decoded).
inline QByteArray origin(const QByteArray& trash, const QByteArray& name)
{
    return QByteArray::fromPercentEncoding(readInfo(trash + "/info/" + name + ".trashinfo").value("Path"));
}

// The lines of the trash's directorysizes, sorted.
inline QByteArrayList directorySizes(const QByteArray& trash)
{
    QByteArrayList lines = readBytes(trash + "/directorysizes").split('\n');
    lines.removeAll(QByteArray());
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The error `call` threw; number -1 when it returned as if it had done its work.
template <typename Call>
PlatformError thrownBy(Call call)
{
    try {
        call();
    } catch (const PlatformError& e) {
        return e;
    }
    return PlatformError(-1, QStringLiteral("no error"));
}

// The error moveToTrash refused `path` with.
inline PlatformError refusal(const QByteArray& path)
{
    return thrownBy([&path] { moveToTrash(path); });
}

// Makes each of `names` inside the one before, below `folder` (relative calls, so the chain may
// pass PATH_MAX), and returns the last one's path; empty when a step failed.
inline QByteArray makeChain(const QByteArray& folder, const QByteArrayList& names)
{
    QByteArray path = folder;
    int fd = openFolder(folder, O_PATH);
    for (const QByteArray& name : names) {
        const int next = ::mkdirat(fd, name.constData(), 0755) == 0 ? ::openat(fd, name.constData(), O_PATH | O_CLOEXEC) : -1;
        ::close(fd);
        fd = next;
        path += '/' + name;
    }
    ::close(fd);
    return fd < 0 ? QByteArray() : path;
}

// The entry at the end of a path of any length, without following it; all zero (no inode) when
// it is missing.
inline struct stat statOf(const QByteArray& path)
{
    struct stat st {};
    const PathParts parts = splitPath(path);
    const int fd = openFolder(parts.folder, O_PATH);
    if (fd < 0)
        return st;
    if (::fstatat(fd, parts.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        st = {};
    ::close(fd);
    return st;
}

inline QByteArray uid()
{
    return QByteArray::number(qulonglong(::getuid()));
}

// A file system mounted for one test (only root may mount), unmounted when it goes.
class TestMount {
public:
    // A tmpfs: another st_dev, so another volume to the trash.
    explicit TestMount(const QByteArray& mountPoint) : TestMount(mountPoint, "torvane-test", "tmpfs", 0, "size=16m") {}
    // A bind mount: the same file system under another mount.
    TestMount(const QByteArray& from, const QByteArray& mountPoint)
        : TestMount(mountPoint, from.constData(), nullptr, MS_BIND, nullptr) {}
    ~TestMount()
    {
        if (mounted_)
            ::umount2(path_.constData(), MNT_DETACH);
    }
    TestMount(const TestMount&) = delete;
    TestMount& operator=(const TestMount&) = delete;

    bool mounted() const { return mounted_; }
    const QByteArray& path() const { return path_; }

private:
    TestMount(const QByteArray& mountPoint, const char* source, const char* type, unsigned long flags, const char* data)
        : path_(mountPoint)
    {
        mounted_ = ::mkdir(path_.constData(), 0755) == 0 && ::mount(source, path_.constData(), type, flags, data) == 0;
    }

    QByteArray path_;
    bool mounted_ = false;
};

// A temporary home: HOME and XDG_DATA_HOME point into a temporary folder, so every test trashes
// only there. Test classes derive from it and call setUp() and tearDown() around each test.
class TrashHome {
public:
    bool setUp()
    {
        tmp_ = std::make_unique<QTemporaryDir>();
        if (!tmp_->isValid())
            return false;
        qputenv("HOME", base() + "/home");
        qputenv("XDG_DATA_HOME", base() + "/data");
        return ::mkdir((base() + "/home").constData(), 0755) == 0 && ::mkdir(work().constData(), 0755) == 0
               && homeTrashPath() == homeTrash();
    }
    void tearDown()
    {
        // QTemporaryDir cannot remove names that are not UTF-8, nor trees past PATH_MAX.
        try {
            removeTree(AT_FDCWD, base());
        } catch (const PlatformError& e) {
            qWarning("left behind: %s", qPrintable(e.description()));
        }
        tmp_.reset();
    }
    QByteArray base() const { return QFile::encodeName(tmp_->path()); }
    QByteArray work() const { return base() + "/work"; }
    QByteArray homeTrash() const { return base() + "/data/Trash"; }

private:
    std::unique_ptr<QTemporaryDir> tmp_;
};

} // namespace torvane::trashtest
