#pragma once

#include <QByteArray>

#include <vector>

namespace torvane {

// The file-system calls behind batch renaming. Paths are bytes exactly as on disk; failing calls
// throw PlatformError.

// Renames oldPath to newPath and never replaces anything already at newPath (EEXIST then).
void renameNoReplace(const QByteArray& oldPath, const QByteArray& newPath);

// Both paths name the same file (device and inode, links not followed). False when either is
// missing. On a case-insensitive file system "ABC.TXT" and "abc.txt" are the same file.
bool sameInode(const QByteArray& a, const QByteArray& b);

// The folder holds an entry of exactly this name, byte for byte. A file system that ignores
// case finds "abc.txt" when only "ABC.TXT" is there; its listing tells the two apart.
bool folderListsName(const QByteArray& folder, const QByteArray& name);

// Something (of any kind, links not followed) is at the path. Throws for failures other than
// "not there".
bool entryExists(const QByteArray& path);

// The path is a folder (a link to a folder counts).
bool isFolder(const QByteArray& path);

// Names directly inside a folder, hidden ones included, "." and ".." left out.
struct FolderEntries {
    std::vector<QByteArray> folders;   // real folders, not links to them
    std::vector<QByteArray> files;     // regular files, not links to them
};
FolderEntries readFolderEntries(const QByteArray& path);

} // namespace torvane
