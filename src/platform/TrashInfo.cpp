#include "platform/TrashInfo.h"

#include <cstdio>

namespace torvane {

QByteArray encodeTrashPath(const QByteArray& path)
{
    return path.toPercentEncoding("/");
}

QByteArray trashInfoText(const QByteArray& path, const std::tm& t)
{
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02dT%02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return QByteArray("[Trash Info]\nPath=") + encodeTrashPath(path) + "\nDeletionDate=" + date + '\n';
}

} // namespace torvane
