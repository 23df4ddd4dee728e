#include "fs/MountTable.h"

#include <QFile>

#include <algorithm>
#include <set>

namespace torvane {

namespace {

QList<QByteArray> fields(const QByteArray& line)
{
    QList<QByteArray> out;
    for (const QByteArray& f : line.split(' '))
        if (!f.isEmpty())
            out.append(f);
    return out;
}

bool isUnder(const QByteArray& path, const QByteArray& mount)
{
    if (mount == "/")
        return path.startsWith('/');
    return path == mount || (path.startsWith(mount) && path.at(mount.size()) == '/');
}

QByteArray trimmedPath(QByteArray path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

} // namespace

QByteArray unescapeMountField(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field.at(i);
        if (c == '\\' && i + 3 < field.size()) {
            const char a = field.at(i + 1), b = field.at(i + 2), d = field.at(i + 3);
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && d >= '0' && d <= '7') {
                out.append(char(((a - '0') << 6) | ((b - '0') << 3) | (d - '0')));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

std::vector<MountEntry> parseMountInfo(const QByteArray& text)
{
    // id parent major:minor root mount-point options [optional...] - fstype source super-options
    std::vector<MountEntry> out;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> f = fields(line);
        const qsizetype dash = f.indexOf("-");
        if (f.size() < 6 || dash < 6 || dash + 2 >= f.size())
            continue;
        MountEntry e;
        e.deviceId = f.at(2);
        e.root = unescapeMountField(f.at(3));
        e.mountPath = unescapeMountField(f.at(4));
        e.fsType = unescapeMountField(f.at(dash + 1));
        e.device = unescapeMountField(f.at(dash + 2));
        out.push_back(std::move(e));
    }
    return out;
}

std::vector<MountEntry> parseProcMounts(const QByteArray& text)
{
    std::vector<MountEntry> out;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> f = fields(line);
        if (f.size() < 3 || f.at(0).startsWith('#'))
            continue;
        MountEntry e;
        e.device = unescapeMountField(f.at(0));
        e.mountPath = unescapeMountField(f.at(1));
        e.fsType = unescapeMountField(f.at(2));
        e.root = "/";
        out.push_back(std::move(e));
    }
    return out;
}

bool isDriveFileSystem(const QByteArray& fsType)
{
    // Kernel interfaces, memory-backed scratch space, container layers and read-only package
    // images: nothing a person stores files on or would call a drive.
    static const std::set<QByteArray> pseudo = {
        "proc", "sysfs", "cgroup", "cgroup2", "devtmpfs", "devpts", "tmpfs", "ramfs", "overlay",
        "squashfs", "autofs", "mqueue", "debugfs", "tracefs", "securityfs", "pstore", "bpf",
        "fusectl", "configfs", "hugetlbfs", "binfmt_misc", "nsfs", "rpc_pipefs", "efivarfs",
        "selinuxfs", "rootfs", "devfs", "nfsd", "xenfs", "fuse.gvfsd-fuse", "fuse.portal",
        "fuse.lxcfs", "fuse.snapfuse", "fuse.squashfuse", "fuse.doc", "zonefs",
    };
    return !fsType.isEmpty() && pseudo.count(fsType) == 0;
}

std::vector<Volume> driveVolumes(const std::vector<MountEntry>& entries, const QByteArray& homePath)
{
    // A later mount on the same path hides the earlier one: only the last entry per path counts.
    std::vector<const MountEntry*> visible;
    std::set<QByteArray> paths;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (paths.insert(trimmedPath(it->mountPath)).second)
            visible.push_back(&*it);
    }
    std::reverse(visible.begin(), visible.end());
    // Of the mounts of one device, the one showing the widest part of it comes first.
    std::stable_sort(visible.begin(), visible.end(), [](const MountEntry* a, const MountEntry* b) {
        return a->root.size() < b->root.size();
    });

    std::vector<Volume> kept;
    std::vector<std::pair<QByteArray, QByteArray>> shown;   // device identity, root shown
    for (const MountEntry* e : visible) {
        // The root file system is always a drive, even where it is an overlay (live systems,
        // containers).
        const QByteArray path = trimmedPath(e->mountPath);
        if (path != "/" && !isDriveFileSystem(e->fsType))
            continue;
        // A bind mount shows again a part of a device that is already listed. A btrfs subvolume
        // (same device, a root outside the listed one) is a drive of its own.
        const QByteArray identity = e->deviceId.isEmpty() ? e->fsType + ' ' + e->device : e->deviceId;
        const bool repeated = std::any_of(shown.begin(), shown.end(), [&](const auto& s) {
            return s.first == identity && isUnder(e->root, trimmedPath(s.second));
        });
        if (repeated)
            continue;
        shown.emplace_back(identity, e->root);
        kept.push_back(Volume{path, e->device, e->fsType});
    }
    std::sort(kept.begin(), kept.end(), [](const Volume& a, const Volume& b) { return a.mountPath < b.mountPath; });

    const QByteArray home = trimmedPath(homePath);
    auto current = kept.end();
    for (auto it = kept.begin(); it != kept.end(); ++it) {
        if (!home.isEmpty() && isUnder(home, it->mountPath)
            && (current == kept.end() || it->mountPath.size() > current->mountPath.size()))
            current = it;
    }
    if (current != kept.end())
        std::rotate(kept.begin(), current, current + 1);
    return kept;
}

bool hasMountAt(const std::vector<MountEntry>& entries, const QByteArray& path)
{
    const QByteArray wanted = trimmedPath(path);
    return !wanted.isEmpty() && std::any_of(entries.begin(), entries.end(), [&](const MountEntry& e) {
        return trimmedPath(e.mountPath) == wanted;
    });
}

std::vector<MountEntry> readMountTable()
{
    QFile info(QStringLiteral("/proc/self/mountinfo"));
    if (info.open(QIODevice::ReadOnly))
        return parseMountInfo(info.readAll());
    QFile mounts(QStringLiteral("/proc/mounts"));
    if (mounts.open(QIODevice::ReadOnly))
        return parseProcMounts(mounts.readAll());
    return {};
}

} // namespace torvane
