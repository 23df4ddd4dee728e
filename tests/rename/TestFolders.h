#pragma once

#include "fs/RenameNoReplace.h"

#include <QByteArrayList>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>

namespace torvane::test {

inline QByteArray bytesOf(const QTemporaryDir& dir)
{
    return QFile::encodeName(dir.path());
}

// Files written by byte path, so that names that are not UTF-8 work too.
inline void writeFile(const QByteArray& path, const QByteArray& content)
{
    FILE* f = std::fopen(path.constData(), "wb");
    QVERIFY2(f, path.constData());
    std::fwrite(content.constData(), 1, std::size_t(content.size()), f);
    std::fclose(f);
}

inline QByteArray readFile(const QByteArray& path)
{
    FILE* f = std::fopen(path.constData(), "rb");
    if (!f)
        return "<missing>";
    char buffer[256];
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, f);
    std::fclose(f);
    return QByteArray(buffer, qsizetype(n));
}

// The regular files in a folder, in byte order.
inline QByteArrayList filesIn(const QByteArray& folder)
{
    QByteArrayList names;
    for (const QByteArray& name : readFolderEntries(folder).files)
        names.append(name);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace torvane::test
