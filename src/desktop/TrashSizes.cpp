// The directorysizes cache of a trash: read, pruned and written whole.

#include "desktop/TrashInfo.h"
#include "desktop/TrashPrivate.h"
#include "fs/WalkIo.h"

#include <QList>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace torvane::trashimpl {

using walkio::Fd;

namespace {

constexpr char kSizesName[] = "directorysizes";
// Far more than any real trash's cache; a larger file is not one of ours and is not read.
constexpr off_t kLargestCache = 64 << 20;

// The cache's lines; none when it is missing. A link or anything but a regular file there is
// never read through: in a volume's trash, anyone who can write the volume could have put it there.
bool readLines(int trashFd, QList<QByteArray>& lines, int& error)
{
    const Fd fd(::openat(trashFd, kSizesName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno == ENOENT || errno == ELOOP)
            return true;
        error = errno;
        return false;
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) {
        error = errno;
        return false;
    }
    if (!S_ISREG(st.st_mode) || st.st_size > kLargestCache)
        return true;
    QByteArray text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            return false;
        }
        if (n == 0 || text.size() + n > kLargestCache)
            break;
        text.append(buffer, n);
    }
    for (const QByteArray& line : text.split('\n')) {
        if (!line.isEmpty())
            lines.append(line);
    }
    return true;
}

// The lines whose folder is still in files/, other than `replaced`'s, whose line is new.
QList<QByteArray> keptLines(const QList<QByteArray>& lines, int filesFd, const QByteArray& replaced)
{
    QList<QByteArray> kept;
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() != 3 || fields[0].isEmpty() || fields[1].isEmpty())
            continue;
        const QByteArray name = QByteArray::fromPercentEncoding(fields[2]);
        if (name.isEmpty() || name == "." || name == ".." || name.contains('/') || name.contains('\0')
            || name == replaced)
            continue;
        struct stat st;
        if (::fstatat(filesFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
            kept.append(line);
    }
    return kept;
}

int writeAll(int fd, const QByteArray& data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        done += n;
    }
    return 0;
}

// Replaces the cache with `lines`, or removes it when there are none. The temporary file has a
// name no other writer picks, and rename replaces a link in the cache's place, never its target.
int writeLines(int trashFd, const QList<QByteArray>& lines)
{
    if (lines.isEmpty())
        return ::unlinkat(trashFd, kSizesName, 0) == 0 || errno == ENOENT ? 0 : errno;
    QByteArray text;
    for (const QByteArray& line : lines)
        text += line + '\n';
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray temporary = QByteArray(kSizesName) + '.' + QByteArray::number(::getpid()) + '.'
                                     + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        constexpr int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
        const int fd = ::openat(trashFd, temporary.constData(), flags, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return errno;
        int err = writeAll(fd, text);
        if (::close(fd) != 0 && err == 0)
            err = errno;
        if (err == 0 && ::renameat(trashFd, temporary.constData(), trashFd, kSizesName) != 0)
            err = errno;
        if (err != 0)
            ::unlinkat(trashFd, temporary.constData(), 0);
        return err;
    }
    return EEXIST;
}

} // namespace

int addDirectorySize(int trashFd, int filesFd, const QByteArray& name, std::uint64_t bytes, std::int64_t infoMtime)
{
    QList<QByteArray> lines;
    int error = 0;
    // A cache that cannot be read is started anew: its lines are only a shortcut.
    readLines(trashFd, lines, error);
    lines = keptLines(lines, filesFd, name);
    lines.append(QByteArray::number(qulonglong(bytes)) + ' ' + QByteArray::number(qlonglong(infoMtime)) + ' '
                 + encodeTrashPath(name));
    return writeLines(trashFd, lines);
}

int pruneDirectorySizes(int trashFd, int filesFd)
{
    QList<QByteArray> lines;
    int error = 0;
    if (!readLines(trashFd, lines, error))
        return error;
    const QList<QByteArray> kept = keptLines(lines, filesFd, QByteArray());
    if (kept.size() == lines.size() && !lines.isEmpty())
        return 0;
    return writeLines(trashFd, kept);
}

} // namespace torvane::trashimpl
