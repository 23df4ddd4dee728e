#include "rename/RenameFile.h"

#include "fs/Keys.h"
#include "fs/PlatformError.h"
#include "fs/RenameNoReplace.h"
#include "rename/RenameHost.h"

#include <QCoreApplication>

#include <cerrno>

namespace torvane {

namespace {

class SystemRenameOps final : public RenameOps {
public:
    void renameNoReplace(const QByteArray& oldPath, const QByteArray& newPath) override
    {
        torvane::renameNoReplace(oldPath, newPath);
    }
    bool sameInode(const QByteArray& a, const QByteArray& b) override { return torvane::sameInode(a, b); }
    bool entryExists(const QByteArray& path) override { return torvane::entryExists(path); }
    bool listedExactly(const QByteArray& path) override
    {
        const qsizetype slash = path.lastIndexOf('/');
        return folderListsName(slash < 0 ? QByteArray(".") : path.left(slash + 1), path.mid(slash + 1));
    }
};

// The folder part of a path, with its final '/'.
QByteArray folderPart(const QByteArray& path)
{
    return path.left(path.lastIndexOf('/') + 1);
}

// The name that was refused is the file's own under another spelling. Kernel FAT and exFAT give
// both spellings one inode; FUSE exFAT gives each spelling its own inode number but lists only
// the stored one. Guessing wrong costs nothing: both steps of the way round refuse to replace.
bool takenByItself(const QByteArray& oldPath, const QByteArray& newPath, RenameOps& ops)
{
    return ops.sameInode(oldPath, newPath) || !ops.listedExactly(newPath);
}

// Moves the file aside under a name of ours in its own folder and returns that name. A clash
// with an existing entry only costs another try.
QByteArray moveAside(const QByteArray& oldPath, RenameOps& ops)
{
    const QByteArray stem = folderPart(oldPath) + ".torvane-rename-"
        + QByteArray::number(QCoreApplication::applicationPid()) + '-';
    constexpr int kTries = 100;
    for (int n = 0;; ++n) {
        const QByteArray temp = stem + QByteArray::number(n) + ".tmp";
        try {
            ops.renameNoReplace(oldPath, temp);
            return temp;
        } catch (const PlatformError& e) {
            if (e.number() != EEXIST || n + 1 == kTries)
                throw;
        }
    }
}

} // namespace

RenameOps& systemRenameOps()
{
    static SystemRenameOps ops;
    return ops;
}

void moveWithoutReplacing(const QByteArray& oldPath, const QByteArray& newPath, RenameOps& ops)
{
    if (oldPath == newPath) {
        if (!ops.entryExists(oldPath))
            throw PlatformError::fromErrno(ENOENT);
        return;
    }
    try {
        ops.renameNoReplace(oldPath, newPath);
        return;
    } catch (const PlatformError& e) {
        // The file system ignores case and calls the file's own new spelling taken; a direct
        // rename would be refused or do nothing, and the new letter case would never be stored.
        if (e.number() != EEXIST || !takenByItself(oldPath, newPath, ops))
            throw;
    }
    const QByteArray temp = moveAside(oldPath, ops);
    try {
        ops.renameNoReplace(temp, newPath);
    } catch (const PlatformError&) {
        // Another entry holds the new name after all (a hard link of the same file): put the
        // file back. Should that fail too, it stays under the temporary name, never lost.
        try {
            ops.renameNoReplace(temp, oldPath);
        } catch (const PlatformError&) {
        }
        throw;
    }
}

QString cannotAccessLine(const QByteArray& oldPath)
{
    return QStringLiteral(" Cannot access ") + displayName(oldPath) + QLatin1Char('.');
}

void renameFile(const QByteArray& oldPath, const QByteArray& newPath, RenameHost& host)
{
    renameFile(oldPath, newPath, host, systemRenameOps());
}

// Failure style: a line on top of the status text; the caller goes on with its next file.
void renameFile(const QByteArray& oldPath, const QByteArray& newPath, RenameHost& host, RenameOps& ops)
{
    try {
        moveWithoutReplacing(oldPath, newPath, ops);
    } catch (const PlatformError&) {
        host.prependStatusLine(cannotAccessLine(oldPath));
    }
}

} // namespace torvane
