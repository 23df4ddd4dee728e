#pragma once

// What the walk's tests share: a temporary tree on the real disk and the ways they ask the walk.

#include "HostileTree.h"

#include "fs/LinuxFileSystem.h"
#include "fs/PlatformError.h"
#include "fs/Walk.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <set>
#include <string>

namespace torvane::test {

// A fresh tree under /tmp, removed however long its paths and whatever its folders' modes.
class Tree {
public:
    Tree()
    {
        char name[] = "/tmp/torvane-walk-XXXXXX";
        if (!::mkdtemp(name))
            qFatal("mkdtemp failed");
        root_ = name;
    }
    ~Tree()
    {
        try {
            torvane::hostile::removeTree(root_);
        } catch (const std::exception& e) {
            qWarning("could not remove %s: %s", root_.c_str(), e.what());
        }
    }
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    const std::string& root() const { return root_; }
    std::string at(const std::string& rel) const { return rel.empty() ? root_ : root_ + "/" + rel; }

    void dir(const std::string& rel) const
    {
        if (::mkdir(at(rel).c_str(), 0755) != 0)
            qFatal("mkdir %s: %s", rel.c_str(), std::strerror(errno));
    }
    void file(const std::string& rel, std::uint64_t size) const
    {
        const int fd = ::open(at(rel).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const std::string bytes(size, 'x');
        if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
            qFatal("create %s: %s", rel.c_str(), std::strerror(errno));
        ::close(fd);
    }
    void symlink(const std::string& target, const std::string& rel) const
    {
        if (::symlink(target.c_str(), at(rel).c_str()) != 0)
            qFatal("symlink %s", rel.c_str());
    }
    // Sets the access time alone, leaving the modification time as it is.
    void setAccessTime(const std::string& rel, std::int64_t seconds) const
    {
        const timespec times[2] = {{time_t(seconds), 0}, {UTIME_OMIT, UTIME_OMIT}};
        if (::utimensat(AT_FDCWD, at(rel).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
            qFatal("utimensat %s: %s", rel.c_str(), std::strerror(errno));
    }

private:
    std::string root_;
};

inline std::uint64_t found(const Walk& walk, const std::string& rel)
{
    const Walk::Answer a = walk.sizeOf(rel);
    return a.state == Walk::State::Found ? a.size : ~std::uint64_t(0);
}

// What the progress bar is measured in, summed as du would: allocated bytes, every entry (folders
// too) once, a file of several names once, a hole not at all.
inline std::uint64_t allocatedOnDisk(const Tree& t)
{
    ::sync();   // allocation settles: what this reads is what the walk reads
    static std::uint64_t allocated;
    static std::set<std::pair<dev_t, ino_t>> seen;
    allocated = 0;
    seen.clear();
    const int walked = ::nftw(t.root().c_str(), [](const char*, const struct stat* st, int, FTW*) {
        if (seen.insert({st->st_dev, st->st_ino}).second)
            allocated += std::uint64_t(st->st_blocks) * 512;
        return 0;
    }, 64, FTW_PHYS | FTW_MOUNT);
    return walked == 0 ? allocated : 0;
}

inline QByteArray bytes(const std::string& s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

// The error number a platform call threw, 0 when it did not throw.
inline int errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const PlatformError& e) {
        return e.number();
    }
    return 0;
}

// Asks until the walk has the answer, the way the scan does.
inline std::uint64_t sizeWhenReady(LinuxFileSystem& fs, const QByteArray& path)
{
    for (int i = 0; i < 6000; ++i) {
        if (const std::optional<std::uint64_t> size = fs.folderSize(path))
            return *size;
        fs.waitForWalk(std::chrono::milliseconds(10));
    }
    qWarning("no size for %s", path.constData());
    return ~std::uint64_t(0);
}

// What needs an ordinary user runs, when the tests run as root, in a child: the test binary again,
// with `variable` set to `value`, giving up root first thing in main (execDroppingRoot).
constexpr uid_t kNobody = 65534;

// Empty when each of `cases` passed in the child, else its output.
inline QByteArray runAsNobody(const QObject& test, const char* variable, const QString& value, const QStringList& cases)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(variable), value);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), cases);
    const bool finished = child.waitForFinished(120000);
    const QByteArray output = child.readAll() + (finished ? "" : "\n(still running)");
    bool passed = finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    for (const QString& name : cases)
        passed = passed && output.contains("PASS   : " + QByteArray(test.metaObject()->className()) + "::" + name.toLatin1() + "()");
    return passed ? QByteArray() : output;
}

// main() of such a test: the child gives up root before anything else runs.
template <class Application, class Test>
int execDroppingRoot(const char* variable, int argc, char** argv)
{
    if (qEnvironmentVariableIsSet(variable) && ::geteuid() == 0
        && (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0
            || ::setresuid(kNobody, kNobody, kNobody) != 0)) {
        std::perror("dropping root");
        return 3;
    }
    Application app(argc, argv);
    Test test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace torvane::test
