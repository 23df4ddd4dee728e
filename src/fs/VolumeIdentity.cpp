#include "fs/VolumeIdentity.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

namespace torvane {

namespace {

QByteArray resolved(const QByteArray& path)
{
    char* real = ::realpath(path.constData(), nullptr);
    if (!real)
        return {};
    QByteArray out(real);
    std::free(real);
    return out;
}

std::vector<QByteArray> namesIn(const QByteArray& folder)
{
    std::vector<QByteArray> names;
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    // Two links to one device (never seen, but possible) give the same answer on every run.
    std::sort(names.begin(), names.end());
    return names;
}

// The first link in `folder` that leads to the device: by its resolved path, or for a file system
// that names its device oddly in the mount table ("/dev/root"), by the device number the mounted
// folder reports.
std::optional<QByteArray> linkTo(const QByteArray& folder, const QByteArray& device, std::optional<dev_t> mounted)
{
    for (const QByteArray& name : namesIn(folder)) {
        const QByteArray link = folder + '/' + name;
        if (!device.isEmpty() && resolved(link) == device)
            return name;
        struct stat target {};
        if (mounted && ::stat(link.constData(), &target) == 0 && S_ISBLK(target.st_mode) && target.st_rdev == *mounted)
            return name;
    }
    return std::nullopt;
}

} // namespace

QByteArray volumeIdentity(const Volume& volume, const QByteArray& diskFolder)
{
    const QByteArray device = resolved(volume.device);
    std::optional<dev_t> mounted;
    struct stat folder {};
    if (!volume.mountPath.isEmpty() && ::stat(volume.mountPath.constData(), &folder) == 0)
        mounted = folder.st_dev;
    if (const auto uuid = linkTo(diskFolder + "/by-uuid", device, mounted))
        return "uuid:" + *uuid;
    if (const auto label = linkTo(diskFolder + "/by-label", device, mounted))
        return "label:" + *label;
    return "device:" + volume.device + " at " + volume.mountPath;
}

} // namespace torvane
