#pragma once

#include <QByteArray>

#include <ctime>

namespace torvane {

// The Path= value of a .trashinfo: the path's bytes, percent-encoded except for unreserved
// characters and '/', so any byte (a newline, an invalid UTF-8 sequence) survives the
// line-based file.
QByteArray encodeTrashPath(const QByteArray& path);

// The whole .trashinfo for a path (absolute, or relative to the volume's top) deleted at the
// given local time.
QByteArray trashInfoText(const QByteArray& path, const std::tm& localDeletionTime);

} // namespace torvane
