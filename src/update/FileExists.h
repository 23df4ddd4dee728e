#pragma once

#include <QString>

namespace torvane {

// True when `path` names a file whose length can be read; false for anything else (nothing of
// that name, a folder, an empty or invalid path). Never reports an error.
bool fileExists(const QString& path);

} // namespace torvane
