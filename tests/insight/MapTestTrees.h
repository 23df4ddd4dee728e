#pragma once

#include "fs/FileSystem.h"

#include <QByteArray>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

namespace torvane::test {

struct MapVolume {
    QByteArray mount = "/data";
    std::vector<IndexedFolder> folders;
    std::vector<LargeFile> files;
};

// Folders by path with the bytes of their own files (large files not counted there); every
// ancestor is made, and totals summed, including the large files.
inline MapVolume mapVolume(const std::map<QByteArray, std::uint64_t>& own, const std::vector<LargeFile>& files = {},
                           const QByteArray& mount = "/data")
{
    const auto parentOf = [](const QByteArray& path) { return path.left(std::max<qsizetype>(path.lastIndexOf('/'), 0)); };
    std::map<QByteArray, std::uint64_t> totals;
    const auto addUp = [&](QByteArray path, std::uint64_t bytes) {
        totals[path] += bytes;
        while (!path.isEmpty()) {
            path = parentOf(path);
            totals[path] += bytes;
        }
    };
    for (const auto& [path, bytes] : own)
        addUp(path, bytes);
    const QByteArray prefix = mount.endsWith('/') ? mount : mount + '/';
    for (const LargeFile& file : files) {
        if (file.path.startsWith(prefix))
            addUp(parentOf(file.path.mid(prefix.size())), file.apparent);
    }
    MapVolume volume{mount, {}, files};
    for (const auto& [path, total] : totals)   // std::map keeps byte order
        volume.folders.push_back({path, {total, total}});
    return volume;
}

inline LargeFile largeFile(const QByteArray& path, std::uint64_t bytes)
{
    return {path, bytes, bytes, {}};
}

// One folder whose subfolders have the given sizes, named so byte order is list order.
inline MapVolume flatVolume(const std::vector<std::uint64_t>& sizes)
{
    std::map<QByteArray, std::uint64_t> own{{QByteArray(), 0}};
    for (std::size_t i = 0; i < sizes.size(); ++i)
        own[QByteArray("c") + QByteArray::number(qulonglong(i)).rightJustified(6, '0')] = sizes[i];
    return mapVolume(own);
}

// A reproducible tree: random fan-out, sizes over many orders of magnitude, some empty folders.
inline MapVolume generatedVolume(int folders, std::uint64_t seed)
{
    std::mt19937_64 next(seed);
    std::vector<QByteArray> paths{QByteArray()};
    std::map<QByteArray, std::uint64_t> own{{QByteArray(), next() % 100000}};
    for (int i = 1; i < folders; ++i) {
        // Earlier folders are likelier parents, which gives a few wide folders and some deep ones.
        const QByteArray& parent = paths[next() % paths.size() / ((next() % 4) + 1)];
        const QByteArray path = (parent.isEmpty() ? QByteArray() : parent + '/') + "f" + QByteArray::number(i);
        paths.push_back(path);
        const std::uint64_t magnitude = next() % 8;
        own[path] = next() % 10 == 0 ? 0 : next() % (std::uint64_t(1) << (4 * magnitude + 4));
    }
    return mapVolume(own);
}

} // namespace torvane::test
