#include "insight/Snapshot.h"

#include <QObject>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

namespace torvane {

namespace {

// The header: magic, CRC-32 of everything after itself, format version, flags, the stored body's
// length and its length before compression. A reader checks the version before anything else, so
// a later format may change all that follows it.
constexpr char kMagic[8] = {'T', 'O', 'R', 'V', 'S', 'N', 'A', 'P'};
constexpr quint16 kVersion = 1;
constexpr quint16 kCompressed = 0x1;
constexpr qsizetype kCrcAt = 8, kVersionAt = 12, kFlagsAt = 14, kStoredAt = 16, kRawAt = 24, kHeaderSize = 32;
constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();
// zlib cannot expand one byte into more than about 1032, so a larger claim is a lie; a smaller
// one still allocates no more than the input can explain.
constexpr std::uint64_t kMaxInflation = 1032;
// qUncompress and QByteArray stop below 2 GiB; a body that large is stored as it is.
constexpr qsizetype kMaxCompressible = qsizetype(1) << 30;
// The fastest level: the names of sibling folders are alike, so it already halves the body, and
// saving has to fit in the time after a scan.
constexpr int kCompressionLevel = 1;

constexpr std::array<quint32, 256> makeCrcTable()
{
    std::array<quint32, 256> table{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}
constexpr std::array<quint32, 256> kCrcTable = makeCrcTable();

quint32 crc32(QByteArrayView bytes)
{
    quint32 c = 0xFFFFFFFFu;
    for (const char b : bytes)
        c = kCrcTable[(c ^ quint8(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void putVarint(QByteArray& out, std::uint64_t value)
{
    while (value >= 0x80) {
        out.append(char(quint8(value) | 0x80));
        value >>= 7;
    }
    out.append(char(value));
}

int byteWidth(std::uint64_t value)
{
    int width = 0;
    for (; value != 0; value >>= 8)
        ++width;
    return width;
}

void putBytes(QByteArray& out, std::uint64_t value, int width)
{
    for (int i = 0; i < width; ++i, value >>= 8)
        out.append(char(quint8(value)));
}

template <class T>
void putFixed(char* at, T value)
{
    qToLittleEndian(value, at);
}

// Reads the body front to back; every read says whether the bytes were there.
class Reader {
public:
    explicit Reader(QByteArrayView bytes) : at_(bytes.data()), end_(bytes.data() + bytes.size()) {}

    qsizetype left() const { return end_ - at_; }
    bool varint(std::uint64_t& value)
    {
        value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (at_ == end_)
                return false;
            const quint8 b = quint8(*at_++);
            // The tenth byte may only carry the top bit.
            if (shift == 63 && b > 1)
                return false;
            value |= std::uint64_t(b & 0x7F) << shift;
            if (!(b & 0x80))
                return true;
        }
        return false;
    }
    bool bytes(qsizetype n, QByteArrayView& out)
    {
        if (n < 0 || n > left())
            return false;
        out = QByteArrayView(at_, n);
        at_ += n;
        return true;
    }
    bool little(int width, std::uint64_t& value)
    {
        QByteArrayView raw;
        if (!bytes(width, raw))
            return false;
        value = 0;
        for (int i = width - 1; i >= 0; --i)
            value = (value << 8) | quint8(raw[i]);
        return true;
    }

private:
    const char* at_;
    const char* end_;
};

// The nearest ancestor of each folder among those before it. In byte order, the folders between
// a parent "a" and its child "a/b" that are as deep as the parent all extend its name ("a-c",
// "a.old": those bytes sort before '/'), so a stack for each depth, every entry a prefix of the
// next, still holds the parent when the child comes. Out of byte order an ancestor may be
// missed: the folder is then written under a farther one with a longer name, still exactly.
class Ancestors {
public:
    struct Found {
        std::size_t index;
        std::size_t nameAt;
    };

    explicit Ancestors(const std::vector<SnapshotFolder>& folders) : folders_(folders) {}

    std::optional<Found> find(std::string_view path) const
    {
        if (path.empty())
            return std::nullopt;
        std::size_t depth = std::size_t(std::count(path.begin(), path.end(), '/'));
        for (std::size_t slash = path.rfind('/'); slash != std::string_view::npos && slash > 0;
             slash = path.rfind('/', slash - 1), --depth) {
            if (depth >= byDepth_.size())
                continue;
            const std::string_view prefix = path.substr(0, slash);
            const std::vector<std::size_t>& stack = byDepth_[depth];
            for (auto at = stack.rbegin(); at != stack.rend(); ++at)
                if (view(*at) == prefix)
                    return Found{*at, slash + 1};
        }
        if (root_)
            return Found{*root_, 0};
        return std::nullopt;
    }

    void add(std::size_t index, std::string_view path)
    {
        if (path.empty()) {
            root_ = index;
            return;
        }
        const std::size_t depth = std::size_t(std::count(path.begin(), path.end(), '/')) + 1;
        if (depth >= byDepth_.size())
            byDepth_.resize(depth + 1);
        std::vector<std::size_t>& stack = byDepth_[depth];
        while (!stack.empty() && !path.starts_with(view(stack.back())))
            stack.pop_back();
        stack.push_back(index);
    }

private:
    std::string_view view(std::size_t index) const
    {
        const QByteArray& path = folders_[index].path;
        return std::string_view(path.constData(), std::size_t(path.size()));
    }

    const std::vector<SnapshotFolder>& folders_;
    std::vector<std::vector<std::size_t>> byDepth_;   // by the number of path components
    std::optional<std::size_t> root_;
};

QByteArray encodeBody(const Snapshot& snapshot)
{
    QByteArray body;
    std::size_t names = 0;
    for (const SnapshotFolder& folder : snapshot.folders)
        names += std::size_t(folder.path.size());
    body.reserve(qsizetype(32 + snapshot.volumeId.size() + snapshot.folders.size() * 12 + names / 4));
    putVarint(body, std::uint64_t(snapshot.volumeId.size()));
    body.append(snapshot.volumeId);
    const qint64 ms = snapshot.taken.isValid() ? snapshot.taken.toMSecsSinceEpoch() : kNoTime;
    putBytes(body, std::uint64_t(ms), 8);
    putVarint(body, snapshot.folders.size());

    // Each folder names its nearest ancestor written before it by distance back in the list, and
    // keeps only the rest of its path; 0 means none, and the name is the whole path.
    Ancestors ancestors(snapshot.folders);
    for (std::size_t i = 0; i < snapshot.folders.size(); ++i) {
        const SnapshotFolder& folder = snapshot.folders[i];
        const std::string_view path(folder.path.constData(), std::size_t(folder.path.size()));
        std::uint64_t distance = 0;
        std::string_view name = path;
        if (const auto found = ancestors.find(path)) {
            distance = i - found->index;
            name = path.substr(found->nameAt);
        }
        const int apparentWidth = byteWidth(folder.apparent);
        const int allocatedWidth = byteWidth(folder.allocated);
        body.append(char(apparentWidth | (allocatedWidth << 4)));
        putVarint(body, distance);
        putVarint(body, name.size());
        body.append(name.data(), qsizetype(name.size()));
        putBytes(body, folder.apparent, apparentWidth);
        putBytes(body, folder.allocated, allocatedWidth);
        ancestors.add(i, path);
    }
    return body;
}

SnapshotRead failed(const QString& reason)
{
    return SnapshotRead{std::nullopt, reason};
}

SnapshotRead decodeBody(QByteArrayView body)
{
    const auto damaged = [](const QString& what) { return failed(QObject::tr("damaged (%1)").arg(what)); };
    Reader in(body);
    Snapshot snapshot;
    std::uint64_t idSize = 0, taken = 0, count = 0;
    QByteArrayView id;
    if (!in.varint(idSize) || idSize > std::uint64_t(in.left()) || !in.bytes(qsizetype(idSize), id)
        || !in.little(8, taken) || !in.varint(count))
        return damaged(QObject::tr("header of the folders"));
    snapshot.volumeId = id.toByteArray();
    if (qint64(taken) != kNoTime)
        snapshot.taken = QDateTime::fromMSecsSinceEpoch(qint64(taken), Qt::UTC);
    // A folder takes at least three bytes, so the count can be checked before anything is reserved.
    if (count > std::uint64_t(in.left()) / 3)
        return damaged(QObject::tr("folder count"));
    snapshot.folders.resize(std::size_t(count));

    // Paths repeat their ancestors, so a hostile chain could spell quadratic memory; no real tree
    // comes near this many path bytes per body byte.
    const std::uint64_t pathLimit = (std::uint64_t(256) << 20) + 16 * std::uint64_t(body.size());
    std::uint64_t pathBytes = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        QByteArrayView widthsByte, name;
        std::uint64_t distance = 0, nameSize = 0;
        SnapshotFolder& folder = snapshot.folders[std::size_t(i)];
        if (!in.bytes(1, widthsByte) || !in.varint(distance) || !in.varint(nameSize)
            || nameSize > std::uint64_t(in.left()) || !in.bytes(qsizetype(nameSize), name))
            return damaged(QObject::tr("folder %1").arg(i));
        const int apparentWidth = quint8(widthsByte[0]) & 0xF;
        const int allocatedWidth = quint8(widthsByte[0]) >> 4;
        if (apparentWidth > 8 || allocatedWidth > 8 || distance > i || !in.little(apparentWidth, folder.apparent)
            || !in.little(allocatedWidth, folder.allocated))
            return damaged(QObject::tr("folder %1").arg(i));
        const QByteArray& parent = distance ? snapshot.folders[std::size_t(i - distance)].path : QByteArray();
        pathBytes += std::uint64_t(parent.size()) + 1 + nameSize;
        if (pathBytes > pathLimit)
            return damaged(QObject::tr("folder paths too long"));
        if (parent.isEmpty()) {
            folder.path = name.toByteArray();
        } else {
            folder.path.reserve(parent.size() + 1 + qsizetype(nameSize));
            folder.path.append(parent).append('/').append(name);
        }
    }
    if (in.left() != 0)
        return damaged(QObject::tr("bytes after the last folder"));
    return SnapshotRead{std::move(snapshot), QString()};
}

} // namespace

std::size_t snapshotBodySize(const Snapshot& snapshot)
{
    return std::size_t(encodeBody(snapshot).size());
}

QByteArray encodeSnapshot(const Snapshot& snapshot)
{
    const QByteArray raw = encodeBody(snapshot);
    const bool compress = raw.size() <= kMaxCompressible;
    const QByteArray stored = compress ? qCompress(raw, kCompressionLevel) : raw;
    QByteArray file(kHeaderSize, '\0');
    std::memcpy(file.data(), kMagic, sizeof kMagic);
    putFixed<quint16>(file.data() + kVersionAt, kVersion);
    putFixed<quint16>(file.data() + kFlagsAt, compress ? kCompressed : 0);
    putFixed<quint64>(file.data() + kStoredAt, quint64(stored.size()));
    putFixed<quint64>(file.data() + kRawAt, quint64(raw.size()));
    file.append(stored);
    putFixed<quint32>(file.data() + kCrcAt, crc32(QByteArrayView(file).sliced(kCrcAt + 4)));
    return file;
}

SnapshotRead decodeSnapshot(QByteArrayView bytes)
{
    if (bytes.size() < qsizetype(sizeof kMagic) || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return failed(QObject::tr("not a Torvane snapshot"));
    if (bytes.size() < kHeaderSize)
        return failed(QObject::tr("truncated"));
    const quint16 version = qFromLittleEndian<quint16>(bytes.data() + kVersionAt);
    if (version > kVersion)
        return failed(QObject::tr("written by a newer Torvane (format %1)").arg(version));
    const quint64 stored = qFromLittleEndian<quint64>(bytes.data() + kStoredAt);
    const quint64 raw = qFromLittleEndian<quint64>(bytes.data() + kRawAt);
    const quint64 present = quint64(bytes.size() - kHeaderSize);
    if (stored > present)
        return failed(QObject::tr("truncated"));
    if (stored < present)
        return failed(QObject::tr("damaged (bytes past its end)"));
    if (crc32(bytes.sliced(kCrcAt + 4)) != qFromLittleEndian<quint32>(bytes.data() + kCrcAt))
        return failed(QObject::tr("damaged (checksum mismatch)"));
    const quint16 flags = qFromLittleEndian<quint16>(bytes.data() + kFlagsAt);
    if (version == 0 || (flags & ~kCompressed) != 0)
        return failed(QObject::tr("damaged (unknown format)"));
    const QByteArrayView body = bytes.sliced(kHeaderSize);
    if (!(flags & kCompressed))
        return raw == stored ? decodeBody(body) : failed(QObject::tr("damaged (body length)"));

    // qUncompress allocates what the first four bytes claim; they must agree with the header,
    // which must agree with what the stored bytes can inflate to.
    if (stored < 4 || raw > stored * kMaxInflation + 64 || raw > quint64(kMaxCompressible)
        || qFromBigEndian<quint32>(body.data()) != raw)
        return failed(QObject::tr("damaged (body length)"));
    const QByteArray inflated = qUncompress(reinterpret_cast<const uchar*>(body.data()), body.size());
    if (quint64(inflated.size()) != raw)
        return failed(QObject::tr("damaged (compressed body)"));
    return decodeBody(inflated);
}

} // namespace torvane
