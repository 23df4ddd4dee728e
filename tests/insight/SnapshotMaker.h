#pragma once

#include "insight/Snapshot.h"

#include <QTest>

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
    if (a.volumeId != b.volumeId || a.taken != b.taken || a.folders.size() != b.folders.size())
        return false;
    for (std::size_t i = 0; i < a.folders.size(); ++i) {
        const SnapshotFolder& x = a.folders[i];
        const SnapshotFolder& y = b.folders[i];
        if (x.path != y.path || x.apparent != y.apparent || x.allocated != y.allocated)
            return false;
    }
    return true;
}

} // namespace torvane::test
