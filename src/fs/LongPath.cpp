#include "fs/LongPath.h"

#include <QList>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace torvane {

namespace {

// The kernel's own limit on links met while resolving one path.
constexpr int kLinkLimit = 40;
constexpr int kPathFlags = O_PATH | O_CLOEXEC;

void closeKeepingErrno(int fd)
{
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

// Queues the components of `path` so that the next one to resolve is last.
void pushComponents(std::vector<QByteArray>& pending, const QByteArray& path)
{
    const QList<QByteArray> parts = path.split('/');
    for (auto it = parts.crbegin(); it != parts.crend(); ++it) {
        if (!it->isEmpty() && *it != ".")
            pending.push_back(*it);
    }
}

// The target of the link that fd (O_PATH | O_NOFOLLOW) holds.
bool readLink(int fd, QByteArray& target)
{
    for (qsizetype size = 256;; size *= 2) {
        target.resize(size);
        const ssize_t n = ::readlinkat(fd, "", target.data(), size_t(size));
        if (n < 0)
            return false;
        if (n < size) {
            target.resize(n);
            return true;
        }
    }
}

} // namespace

PathParts splitPath(const QByteArray& path)
{
    QByteArray trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith('/'))
        trimmed.chop(1);
    if (trimmed == "/")
        return {QByteArray("/"), QByteArray(".")};
    const qsizetype slash = trimmed.lastIndexOf('/');
    if (slash < 0)
        return {QByteArray("."), trimmed};
    return {slash == 0 ? QByteArray("/") : trimmed.left(slash), trimmed.mid(slash + 1)};
}

int resolveFolder(const QByteArray& path, QByteArray& resolved)
{
    if (path.isEmpty()) {
        errno = ENOENT;
        return -1;
    }
    QByteArray absolute = path;
    if (!path.startsWith('/')) {
        char* cwd = ::getcwd(nullptr, 0);
        if (!cwd)
            return -1;
        absolute = QByteArray(cwd) + '/' + path;
        std::free(cwd);
    }
    std::vector<QByteArray> pending;
    pushComponents(pending, absolute);

    int current = ::open("/", kPathFlags | O_DIRECTORY);
    if (current < 0)
        return -1;
    QByteArray at;   // the path of `current`, empty for "/"
    int links = 0;
    while (!pending.empty()) {
        const QByteArray name = std::move(pending.back());
        pending.pop_back();
        if (name == "..") {
            // `at` holds no links, so its parent is the folder ".." leads to; "/" is its own parent.
            if (at.isEmpty())
                continue;
            const int up = ::openat(current, "..", kPathFlags | O_DIRECTORY);
            ::close(current);
            if (up < 0)
                return -1;
            current = up;
            at.truncate(at.lastIndexOf('/'));
            continue;
        }
        const int next = ::openat(current, name.constData(), kPathFlags | O_NOFOLLOW);
        struct stat st {};
        if (next < 0 || ::fstat(next, &st) != 0) {
            if (next >= 0)
                closeKeepingErrno(next);
            closeKeepingErrno(current);
            return -1;
        }
        if (S_ISLNK(st.st_mode)) {
            QByteArray target;
            bool ok = ++links <= kLinkLimit;
            if (!ok)
                errno = ELOOP;
            ok = ok && readLink(next, target);
            if (ok && target.isEmpty()) {
                errno = ENOENT;
                ok = false;
            }
            closeKeepingErrno(next);
            if (!ok) {
                closeKeepingErrno(current);
                return -1;
            }
            pushComponents(pending, target);
            if (target.startsWith('/')) {
                ::close(current);
                current = ::open("/", kPathFlags | O_DIRECTORY);
                if (current < 0)
                    return -1;
                at.clear();
            }
            continue;
        }
        ::close(current);
        if (!S_ISDIR(st.st_mode)) {
            ::close(next);
            errno = ENOTDIR;
            return -1;
        }
        current = next;
        at += '/' + name;
    }
    resolved = at.isEmpty() ? QByteArray("/") : at;
    return current;
}

int openFolder(const QByteArray& path, int flags)
{
    flags |= O_DIRECTORY | O_CLOEXEC;
    // A path the kernel takes whole is opened by one call.
    if (path.size() < PATH_MAX) {
        const int fd = ::open(path.constData(), flags);
        if (fd >= 0 || errno != ENAMETOOLONG)
            return fd;
    }
    QByteArray resolved;
    const int fd = resolveFolder(path, resolved);
    if (fd < 0 || (flags & O_PATH) != 0)
        return fd;
    const int reopened = ::openat(fd, ".", flags);
    closeKeepingErrno(fd);
    return reopened;
}

} // namespace torvane
