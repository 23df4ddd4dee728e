// The mount table as the kernel may write it: any text parses without harm, escaped fields come
// back byte for byte, and the drive list keeps its promises.

#include "FuzzSupport.h"

#include "fs/MountTable.h"

#include <cstdint>
#include <set>

using namespace torvane;

namespace {

// The kernel's escaping of a mount-table field: blank, tab, newline and backslash as octal.
QByteArray escapeField(const QByteArray& bytes)
{
    QByteArray out;
    for (const char c : bytes) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
            char octal[5];
            std::snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned char>(c));
            out += octal;
        } else {
            out += c;
        }
    }
    return out.isEmpty() ? QByteArray("none") : out;
}

QByteArray nonEmpty(const QByteArray& field)
{
    return field.isEmpty() ? QByteArray("none") : field;
}

void checkVolumes(const std::vector<MountEntry>& entries, const QByteArray& home)
{
    const std::vector<Volume> volumes = driveVolumes(entries, home);
    std::set<QByteArray> paths;
    for (const Volume& v : volumes) {
        FUZZ_CHECK(paths.insert(v.mountPath).second, v.mountPath);
        FUZZ_CHECK(v.mountPath == "/" || isDriveFileSystem(v.fsType), v.fsType);
        bool listed = false;
        for (const MountEntry& e : entries)
            listed = listed || (e.device == v.device && e.fsType == v.fsType);
        FUZZ_CHECK(listed, v.device);
    }
    FUZZ_CHECK(volumes.size() <= entries.size(), "more volumes than mounts");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QList<QByteArray> parts = fuzz::slices(reinterpret_cast<const char*>(data), size, 4);
    const QByteArray whole(reinterpret_cast<const char*>(data), qsizetype(size));

    // Any text at all.
    const std::vector<MountEntry> info = parseMountInfo(whole);
    const std::vector<MountEntry> mounts = parseProcMounts(whole);
    checkVolumes(info, parts[3]);
    checkVolumes(mounts, parts[3]);
    for (const MountEntry& e : mounts)
        FUZZ_CHECK(e.root == "/", e.root);

    // Fields the kernel escaped come back as they were, in both table formats.
    const QByteArray device = nonEmpty(parts[0]), path = nonEmpty(parts[1]), type = nonEmpty(parts[2]);
    FUZZ_CHECK(unescapeMountField(escapeField(device)) == device, device);
    const QByteArray mountsLine = escapeField(device) + ' ' + escapeField(path) + ' ' + escapeField(type) + " rw 0 0\n";
    const std::vector<MountEntry> one = parseProcMounts(mountsLine);
    if (!device.startsWith('#')) {
        FUZZ_CHECK(one.size() == 1, mountsLine);
        FUZZ_CHECK(one[0].device == device && one[0].mountPath == path && one[0].fsType == type, mountsLine);
    }
    const QByteArray infoLine = "36 35 98:0 " + escapeField(path) + ' ' + escapeField(path) + " rw,noatime master:1 - "
                                + escapeField(type) + ' ' + escapeField(device) + " rw\n";
    const std::vector<MountEntry> two = parseMountInfo(infoLine);
    if (path != "-") {
        FUZZ_CHECK(two.size() == 1, infoLine);
        FUZZ_CHECK(two[0].device == device && two[0].mountPath == path && two[0].fsType == type && two[0].root == path
                       && two[0].deviceId == "98:0",
                   infoLine);
    }
    return 0;
}
