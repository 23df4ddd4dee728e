#include "rename/FolderLists.h"

#include "fs/Keys.h"

#include <QList>
#include <QString>

#include <algorithm>

namespace torvane {

QByteArray plainFolderPath(const QByteArray& folder)
{
    QByteArray path = folder;
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

std::vector<QByteArray> folderAncestry(const QByteArray& folder)
{
    std::vector<QByteArray> chain{QByteArray("/")};
    QByteArray path;
    for (const QByteArray& part : plainFolderPath(folder).split('/')) {
        if (part.isEmpty())
            continue;
        path += '/' + part;
        chain.push_back(path);
    }
    return chain;
}

void sortNamesForDisplay(std::vector<QByteArray>& names)
{
    std::vector<std::pair<QString, QByteArray>> keyed;
    keyed.reserve(names.size());
    for (const QByteArray& name : names)
        keyed.emplace_back(displayName(name), name);
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        const int order = QString::localeAwareCompare(a.first, b.first);
        return order != 0 ? order < 0 : a.second < b.second;
    });
    for (std::size_t i = 0; i < names.size(); ++i)
        names[i] = keyed[i].second;
}

} // namespace torvane
