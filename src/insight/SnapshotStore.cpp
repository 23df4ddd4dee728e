#include "insight/SnapshotStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QSaveFile>

#include <algorithm>

namespace torvane {

namespace {

const QString kSuffix = QStringLiteral(".tvsnap");
// Far beyond any volume's snapshot (100,000 folders take about 1 MB); a larger file is not ours.
constexpr qint64 kMaxFileSize = qint64(1) << 30;

// A volume id may hold any bytes ('/', NUL, a thousand characters), so file names carry its hash.
QString volumePrefix(const QByteArray& volumeId)
{
    const QByteArray hash = QCryptographicHash::hash(volumeId, QCryptographicHash::Sha256).toHex().left(32);
    return QString::fromLatin1(hash) + QLatin1Char('-');
}

// Milliseconds since 1970 in 16 digits, so names sort like times.
QString timeName(qint64 ms)
{
    return QStringLiteral("%1").arg(ms, 16, 10, QLatin1Char('0'));
}

} // namespace

SnapshotStore::SnapshotStore(const QString& dataFolder) : folder_(QDir(dataFolder).filePath(QStringLiteral("snapshots"))) {}

bool SnapshotStore::save(const Snapshot& snapshot, QString* reason) const
{
    const auto fail = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (!snapshot.taken.isValid() || snapshot.taken.toMSecsSinceEpoch() < 0)
        return fail(QObject::tr("the snapshot has no time"));
    if (!QDir().mkpath(folder_))
        return fail(QObject::tr("the folder %1 could not be made").arg(folder_));

    const QString name = volumePrefix(snapshot.volumeId) + timeName(snapshot.taken.toMSecsSinceEpoch()) + kSuffix;
    QSaveFile file(QDir(folder_).filePath(name));
    const QByteArray bytes = encodeSnapshot(snapshot);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return fail(file.errorString());

    const std::vector<SnapshotEntry> saved = list(snapshot.volumeId);
    for (std::size_t i = kKept; i < saved.size(); ++i)
        QFile::remove(saved[i].file);
    return true;
}

std::vector<SnapshotEntry> SnapshotStore::list(const QByteArray& volumeId) const
{
    const QString prefix = volumePrefix(volumeId);
    const QDir dir(folder_);
    std::vector<std::pair<qint64, QString>> found;
    for (const QString& name : dir.entryList({prefix + QLatin1Char('*') + kSuffix}, QDir::Files)) {
        bool ok = false;
        const qint64 ms = QStringView(name).sliced(prefix.size()).chopped(kSuffix.size()).toLongLong(&ok);
        if (ok && ms >= 0)
            found.emplace_back(ms, dir.filePath(name));
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<SnapshotEntry> out;
    out.reserve(found.size());
    for (auto& [ms, file] : found)
        out.push_back({QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC), std::move(file)});
    return out;
}

SnapshotRead SnapshotStore::load(const SnapshotEntry& entry, const QByteArray& volumeId) const
{
    QFile file(entry.file);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, file.errorString()};
    if (file.size() > kMaxFileSize)
        return {std::nullopt, QObject::tr("too large for a snapshot")};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {std::nullopt, file.errorString()};
    SnapshotRead read = decodeSnapshot(bytes);
    if (read.snapshot && read.snapshot->volumeId != volumeId)
        return {std::nullopt, QObject::tr("a snapshot of another volume")};
    return read;
}

} // namespace torvane
