#pragma once

#include <QByteArray>

namespace torvane {

// Folders reached by paths of any length. The kernel refuses a path of PATH_MAX bytes or more
// in one call (ENAMETOOLONG), yet such folders exist and must be trashed and renamed like any
// other: these open them one component at a time, so every later call works relative to a
// descriptor with a single name.

// A path's folder and its last name, trailing slashes ignored: "/a/b" gives "/a" and "b", "/a"
// gives "/" and "a", "a" gives "." and "a", "/" gives "/" and ".".
struct PathParts {
    QByteArray folder;
    QByteArray name;
};
PathParts splitPath(const QByteArray& path);

// Opens the folder at `path`, of any length, resolved as the kernel resolves a path (links on
// the way are followed, a final link to a folder too). `flags` is O_PATH for a descriptor to use
// with *at calls and fstat, or O_RDONLY to read the folder; O_DIRECTORY and O_CLOEXEC are added.
// Returns the descriptor, or -1 with errno.
int openFolder(const QByteArray& path, int flags);

// realpath() for a folder, for paths of any length: opens it (O_PATH) and gives its path with no
// links, "." or ".." left in `resolved`. Every component is opened with O_NOFOLLOW and each link
// read and resolved here, so the path is known even where the kernel could not report it.
// Returns the descriptor, or -1 with errno.
int resolveFolder(const QByteArray& path, QByteArray& resolved);

} // namespace torvane
