// Snapshot files from hostile bytes: whatever a file holds, reading it ends in a snapshot or a
// reason, never a crash or memory out of proportion to the file. The input is read three ways:
// as a whole file, and as a folder body sealed with a correct header and checksum (stored as it
// is, and compressed), so the fuzzer reaches the body's reader without forging CRC-32s. The
// header is written here from the format's description, not with the program's own code.

#include "FuzzSupport.h"

#include "insight/Snapshot.h"
#include "insight/SnapshotComparison.h"

#include <QtEndian>

#include <cstdint>

using namespace torvane;

namespace {

quint32 crc32(QByteArrayView bytes)
{
    quint32 c = 0xFFFFFFFFu;
    for (const char b : bytes) {
        c ^= quint8(b);
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return c ^ 0xFFFFFFFFu;
}

// magic, CRC-32 of the rest, version 1, flags (1: compressed), stored and raw body lengths.
QByteArray sealed(const QByteArray& body, bool compress)
{
    const QByteArray stored = compress ? qCompress(body, 1) : body;
    QByteArray file("TORVSNAP", 8);
    file.append(QByteArray(24, '\0'));
    qToLittleEndian<quint16>(1, file.data() + 12);
    qToLittleEndian<quint16>(compress ? 1 : 0, file.data() + 14);
    qToLittleEndian<quint64>(quint64(stored.size()), file.data() + 16);
    qToLittleEndian<quint64>(quint64(body.size()), file.data() + 24);
    file.append(stored);
    qToLittleEndian<quint32>(crc32(QByteArrayView(file).sliced(12)), file.data() + 8);
    return file;
}

QByteArray describe(const Snapshot& s)
{
    QByteArray out = s.volumeId + " folders=" + QByteArray::number(qulonglong(s.folders.size()));
    for (std::size_t i = 0; i < s.folders.size() && i < 8; ++i)
        out += " [" + s.folders[i].path + "]";
    return out;
}

void check(const QByteArray& file)
{
    const SnapshotRead read = decodeSnapshot(file);
    FUZZ_CHECK(read.snapshot.has_value() != !read.reason.isEmpty(), read.reason.toUtf8());
    if (!read.snapshot)
        return;
    const Snapshot& s = *read.snapshot;

    // What was read is written back to the same snapshot.
    const SnapshotRead again = decodeSnapshot(encodeSnapshot(s));
    FUZZ_CHECK(again.snapshot, again.reason.toUtf8());
    FUZZ_CHECK(again.snapshot->volumeId == s.volumeId && again.snapshot->taken == s.taken, describe(s));
    FUZZ_CHECK(again.snapshot->folders.size() == s.folders.size(), describe(s));
    for (std::size_t i = 0; i < s.folders.size(); ++i) {
        const SnapshotFolder& a = s.folders[i];
        const SnapshotFolder& b = again.snapshot->folders[i];
        FUZZ_CHECK(a.path == b.path && a.apparent == b.apparent && a.allocated == b.allocated, describe(s));
    }

    // Compared with itself nothing changed; against nothing, every folder is new and listed
    // under the folder its path names.
    FUZZ_CHECK(SnapshotComparison(s, s, SizeKind::Apparent).listedCount() == 0, describe(s));
    const SnapshotComparison fresh(Snapshot{}, s, SizeKind::Allocated);
    for (const SnapshotFolder& folder : s.folders) {
        for (const FolderChange& child : fresh.children(folder.path)) {
            FUZZ_CHECK(child.kind == FolderChange::Kind::New && child.oldSize == 0, child.path);
            FUZZ_CHECK(child.path.endsWith(child.name) && child.path.startsWith(folder.path), child.path);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    check(input);
    check(sealed(input, false));
    check(sealed(input, true));
    return 0;
}
