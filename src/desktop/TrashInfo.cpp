#include "desktop/TrashInfo.h"

#include <cstdio>
#include <limits>

namespace torvane {

QByteArray encodeTrashPath(const QByteArray& path)
{
    return path.toPercentEncoding("/");
}

QByteArray trashInfoText(const QByteArray& path, const std::tm& t)
{
    // Room for whatever the six numbers hold, out-of-range fields included: each int takes at most
    // its digits and a sign, then come the five separators and the terminating NUL.
    constexpr std::size_t intChars = std::numeric_limits<int>::digits10 + 2;
    char date[6 * intChars + 5 + 1];
    std::snprintf(date, sizeof date, "%04d-%02d-%02dT%02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return QByteArray("[Trash Info]\nPath=") + encodeTrashPath(path) + "\nDeletionDate=" + date + '\n';
}

} // namespace torvane
