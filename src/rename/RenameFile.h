#pragma once

#include <QByteArray>
#include <QString>

namespace torvane {

class RenameHost;

// The file-system calls a rename makes; tests put a case-insensitive folder behind it.
class RenameOps {
public:
    virtual ~RenameOps() = default;
    // Throws PlatformError (EEXIST when something is at newPath already).
    virtual void renameNoReplace(const QByteArray& oldPath, const QByteArray& newPath) = 0;
    virtual bool sameInode(const QByteArray& a, const QByteArray& b) = 0;
    virtual bool entryExists(const QByteArray& path) = 0;
    // The path's folder lists its last component byte for byte.
    virtual bool listedExactly(const QByteArray& path) = 0;
};

RenameOps& systemRenameOps();

// Renames oldPath to newPath in the same folder without ever replacing another file. When the
// new name is taken by the file itself under another spelling (a case-only change on a
// case-insensitive file system) it goes through a temporary name so that the new letter case is
// stored. An identical name is no error. Throws
// PlatformError; on failure the file keeps its old name where the file system lets it.
void moveWithoutReplacing(const QByteArray& oldPath, const QByteArray& newPath, RenameOps& ops);

// " Cannot access <old path>."
QString cannotAccessLine(const QByteArray& oldPath);

// moveWithoutReplacing with every failure reported as a line on top of the status text.
void renameFile(const QByteArray& oldPath, const QByteArray& newPath, RenameHost& host);
void renameFile(const QByteArray& oldPath, const QByteArray& newPath, RenameHost& host, RenameOps& ops);

} // namespace torvane
