#pragma once

#include "fs/FileSystem.h"

#include <QByteArray>

#include <vector>

namespace torvane {

// One line of the kernel's mount table, unescaped ("\040" is a blank again).
struct MountEntry {
    QByteArray device;      // the mount source: "/dev/sda1", "server:/export"
    QByteArray mountPath;
    QByteArray fsType;
    QByteArray root;        // the part of the file system mounted here ("/" unless a bind mount)
    QByteArray deviceId;    // "major:minor"; empty from /proc/mounts
};

// /proc/self/mountinfo text.
std::vector<MountEntry> parseMountInfo(const QByteArray& text);
// /proc/mounts (fstab format) text.
std::vector<MountEntry> parseProcMounts(const QByteArray& text);
// "\040" and the other octal escapes of the mount table back to their bytes.
QByteArray unescapeMountField(const QByteArray& field);

// Whether a file system type is one a person would call a drive (not proc, tmpfs, snaps, ...).
bool isDriveFileSystem(const QByteArray& fsType);

// The volumes for the drive list: drive file systems only, each device once (bind mounts of it
// dropped), the one holding `homePath` first, then the others by mount path.
std::vector<Volume> driveVolumes(const std::vector<MountEntry>& entries, const QByteArray& homePath);

// Whether a file system is mounted at exactly `path` (trailing slashes aside). An unmounted
// volume leaves its empty mount-point folder behind, and that folder answers statvfs with the
// numbers of the file system around it.
bool hasMountAt(const std::vector<MountEntry>& entries, const QByteArray& path);

// Reads the running system's table (mountinfo, else /proc/mounts); empty when neither is readable.
std::vector<MountEntry> readMountTable();

} // namespace torvane
