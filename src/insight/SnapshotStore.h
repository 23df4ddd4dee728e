#pragma once

#include "insight/Snapshot.h"

#include <QDateTime>
#include <QString>

#include <vector>

namespace torvane {

// A saved snapshot as listed: its time from the file's name, so listing reads no file.
struct SnapshotEntry {
    QDateTime taken;
    QString file;
};

// The snapshot files of every volume, in the folder "snapshots" of Torvane's data folder. Safe to
// use from any thread; saves of one volume are made one at a time.
class SnapshotStore {
public:
    static constexpr int kKept = 10;

    explicit SnapshotStore(const QString& dataFolder);

    // Where the files are.
    const QString& folder() const { return folder_; }
    // Writes the snapshot to a temporary file renamed over the final one, then deletes the
    // volume's oldest files beyond the last kKept. False with a reason when it could not be saved.
    bool save(const Snapshot& snapshot, QString* reason = nullptr) const;
    // The volume's snapshot files, newest first.
    std::vector<SnapshotEntry> list(const QByteArray& volumeId) const;
    // A file that cannot be read, is damaged or belongs to another volume gives a reason.
    SnapshotRead load(const SnapshotEntry& entry, const QByteArray& volumeId) const;

private:
    QString folder_;
};

} // namespace torvane
