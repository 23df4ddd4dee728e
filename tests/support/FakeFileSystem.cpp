#include "support/FakeFileSystem.h"

#include "fs/PlatformError.h"

namespace torvane::test {

QByteArray FakeFileSystem::normal(const QByteArray& path)
{
    QByteArray p = path;
    while (p.size() > 1 && p.endsWith('/'))
        p.chop(1);
    return p;
}

FakeFileSystem::FolderData& FakeFileSystem::at(const QByteArray& path)
{
    auto it = folders_.find(normal(path));
    if (it == folders_.end())
        throw PlatformError(2, QStringLiteral("No such file or directory"));
    return it->second;
}

FakeFileSystem::FolderData& FakeFileSystem::addFolder(const QByteArray& path, std::uint64_t size)
{
    const QByteArray p = normal(path);
    for (qsizetype i = 1; i < p.size(); ++i) {
        if (p.at(i) == '/')
            folders_.try_emplace(p.left(i));
    }
    folders_.try_emplace("/");
    FolderData& d = folders_[p];
    d.size = size;
    if (!d.lastAccess.isValid())
        d.lastAccess = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9));
    return d;
}

void FakeFileSystem::removeFolder(const QByteArray& path)
{
    const QByteArray p = normal(path);
    for (auto it = folders_.begin(); it != folders_.end();) {
        if (it->first == p || it->first.startsWith(p + '/'))
            it = folders_.erase(it);
        else
            ++it;
    }
}

void FakeFileSystem::addVolume(const QByteArray& mountPath, VolumeSpace space)
{
    volumes_[normal(mountPath)] = space;
    addFolder(mountPath, folderExists(mountPath) ? at(mountPath).size : 0);
}

WalkErrors FakeFileSystem::walkErrors(std::size_t limit)
{
    WalkErrors errors;
    errors.total = failedFolders.size();
    errors.first.assign(failedFolders.begin(), failedFolders.begin() + std::min(limit, failedFolders.size()));
    return errors;
}

// In mount path order, each on a device of its own.
std::vector<Volume> FakeFileSystem::volumes()
{
    std::vector<Volume> out;
    for (const auto& [mountPath, space] : volumes_)
        out.push_back(Volume{mountPath, "fake:" + mountPath, "ext4"});
    return out;
}

VolumeSpace FakeFileSystem::volumeSpace(const QByteArray& mountPath)
{
    const auto it = volumes_.find(normal(mountPath));
    return it == volumes_.end() ? VolumeSpace{} : it->second;
}

std::optional<FolderSizes> FakeFileSystem::folderSizes(const QByteArray& path)
{
    FolderData& d = at(path);
    if (d.sizeFails)
        throw PlatformError(d.sizeFails->first, d.sizeFails->second);
    if (d.pendingPolls > 0) {
        --d.pendingPolls;
        return std::nullopt;
    }
    return d.sizes();
}

// The folders of the last walked volume, as the walk's index would hold them.
std::vector<IndexedFolder> FakeFileSystem::indexedFolders()
{
    std::vector<IndexedFolder> out;
    if (walksBegun.isEmpty())
        return out;
    const QByteArray root = normal(walksBegun.last());
    const QByteArray prefix = root == "/" ? root : root + '/';
    for (const auto& [path, data] : folders_) {
        if (path == root)
            out.push_back({QByteArray(""), data.sizes()});
        else if (path.startsWith(prefix))
            out.push_back({path.mid(prefix.size()), data.sizes()});
    }
    return out;
}

std::vector<Folder> FakeFileSystem::subfolders(const QByteArray& path)
{
    ++subfolderCalls;
    if (onSubfolders)
        onSubfolders(path);
    const QByteArray p = normal(path);
    if (const FolderData& d = at(p); d.listFails)
        throw PlatformError(d.listFails->first, d.listFails->second);
    const QByteArray prefix = p == "/" ? QByteArray("/") : p + '/';
    std::vector<Folder> out;
    for (auto c = folders_.upper_bound(prefix); c != folders_.end() && c->first.startsWith(prefix); ++c) {
        const QByteArray rest = c->first.mid(prefix.size());
        if (!rest.isEmpty() && !rest.contains('/'))
            out.push_back(Folder{rest, c->first});
    }
    return out;
}

QDateTime FakeFileSystem::lastAccess(const QByteArray& path)
{
    return at(path).lastAccess;
}

} // namespace torvane::test
