#include "update/FileExists.h"

#include <QFileInfo>

namespace torvane {

bool fileExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

} // namespace torvane
