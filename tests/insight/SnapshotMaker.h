#pragma once

#include "insight/Snapshot.h"

#include <algorithm>
#include <initializer_list>

namespace torvane::test {

inline QDateTime at(qint64 msSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msSinceEpoch, Qt::UTC);
}

// A snapshot from (path, apparent, allocated) rows; a row without allocated bytes uses the apparent.
struct Row {
    QByteArray path;
    std::uint64_t apparent = 0;
    std::uint64_t allocated = ~std::uint64_t(0);
};

inline Snapshot makeSnapshot(const QByteArray& volumeId, qint64 ms, std::initializer_list<Row> rows)
{
    Snapshot s{volumeId, at(ms), {}};
    for (const Row& row : rows)
        s.folders.push_back({row.path, row.apparent, row.allocated == ~std::uint64_t(0) ? row.apparent : row.allocated});
    return s;
}

inline bool sameSnapshot(const Snapshot& a, const Snapshot& b)
{
    const auto same = [](const SnapshotFolder& x, const SnapshotFolder& y) {
        return x.path == y.path && x.apparent == y.apparent && x.allocated == y.allocated;
    };
    return a.volumeId == b.volumeId && a.taken == b.taken
        && std::equal(a.folders.begin(), a.folders.end(), b.folders.begin(), b.folders.end(), same);
}

} // namespace torvane::test
