#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace torvane {

// One folder of a scanned volume as it was when the scan ended.
struct SnapshotFolder {
    QByteArray path;   // below the volume, no leading '/'; "" is the volume's root
    std::uint64_t apparent = 0;
    std::uint64_t allocated = 0;
};

// Every indexed folder of one volume at the end of one complete scan.
struct Snapshot {
    QByteArray volumeId;   // see volumeIdentity() in fs/VolumeIdentity.h
    QDateTime taken;
    std::vector<SnapshotFolder> folders;   // byte order of paths
};

// A snapshot read back, or the reason it could not be, worded for one status line.
struct SnapshotRead {
    std::optional<Snapshot> snapshot;
    QString reason;
};

// The snapshot file's bytes: a fixed header with magic, format version and a CRC-32, then the
// folders as a tree (each one its parent's distance, its name and its two sizes), compressed.
QByteArray encodeSnapshot(const Snapshot& snapshot);
// Never crashes and allocates in proportion to the input only, whatever the bytes hold.
SnapshotRead decodeSnapshot(QByteArrayView bytes);

// What the format costs, for the benchmark: the tree before compression.
std::size_t snapshotBodySize(const Snapshot& snapshot);

} // namespace torvane
