#pragma once

#include <QByteArray>

#include <vector>

namespace torvane {

// The folder without trailing '/' ("/" stays "/").
QByteArray plainFolderPath(const QByteArray& folder);

// The folder list's upper part: the root, each ancestor and the folder itself, top down:
// "/", "/a", "/a/b" for "/a/b".
std::vector<QByteArray> folderAncestry(const QByteArray& folder);

// The order names are listed in: as a person reads them (the user's locale), byte order breaking
// ties so that the order never depends on the run.
void sortNamesForDisplay(std::vector<QByteArray>& names);

} // namespace torvane
