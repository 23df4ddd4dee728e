#include "support/FakeFileSystem.h"

#include "fs/Keys.h"
#include "fs/PlatformError.h"

namespace torvane::test {

QByteArray FakeFileSystem::normal(const QByteArray& path)
{
    QByteArray p = path;
    while (p.size() > 1 && p.endsWith('/'))
        p.chop(1);
    return p;
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
    volumes_.push_back({Volume{normal(mountPath), "/dev/fake" + QByteArray::number(volumes_.size()), "ext4"}, space});
    addFolder(mountPath, folders_.count(normal(mountPath)) ? folders_[normal(mountPath)].size : 0);
}

void FakeFileSystem::removeVolume(const QByteArray& mountPath)
{
    std::erase_if(volumes_, [&](const auto& v) { return v.first.mountPath == normal(mountPath); });
}

WalkErrors FakeFileSystem::walkErrors(std::size_t limit)
{
    WalkErrors errors;
    errors.total = failedFolders.size();
    errors.first.assign(failedFolders.begin(), failedFolders.begin() + std::min(limit, failedFolders.size()));
    return errors;
}

std::vector<Volume> FakeFileSystem::volumes()
{
    std::vector<Volume> out;
    for (const auto& v : volumes_)
        out.push_back(v.first);
    return out;
}

VolumeSpace FakeFileSystem::volumeSpace(const QByteArray& mountPath)
{
    for (const auto& v : volumes_) {
        if (v.first.mountPath == normal(mountPath))
            return v.second;
    }
    return {};
}

std::optional<FolderSizes> FakeFileSystem::folderSizes(const QByteArray& path)
{
    auto it = folders_.find(normal(path));
    if (it == folders_.end())
        throw PlatformError(2, QStringLiteral("No such file or directory"));
    if (it->second.sizeFails)
        throw PlatformError(it->second.sizeFails->first, it->second.sizeFails->second);
    if (it->second.pendingPolls > 0) {
        --it->second.pendingPolls;
        return std::nullopt;
    }
    return FolderSizes{it->second.size, it->second.allocated.value_or(it->second.size)};
}

// The folders of the last walked volume, as the walk's index would hold them.
std::vector<IndexedFolder> FakeFileSystem::indexedFolders()
{
    std::vector<IndexedFolder> out;
    if (walksBegun.isEmpty())
        return out;
    const QByteArray root = normal(walksBegun.last());
    for (const auto& [path, data] : folders_) {
        QByteArray below;
        if (path == root)
            below = "";
        else if (path.startsWith(root == "/" ? root : root + '/'))
            below = path.mid(root == "/" ? 1 : root.size() + 1);
        else
            continue;
        out.push_back({below, FolderSizes{data.size, data.allocated.value_or(data.size)}});
    }
    return out;
}

std::vector<Folder> FakeFileSystem::subfolders(const QByteArray& path)
{
    ++subfolderCalls;
    if (onSubfolders)
        onSubfolders(path);
    const QByteArray p = normal(path);
    auto it = folders_.find(p);
    if (it == folders_.end())
        throw PlatformError(2, QStringLiteral("No such file or directory"));
    if (it->second.listFails)
        throw PlatformError(it->second.listFails->first, it->second.listFails->second);
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
    auto it = folders_.find(normal(path));
    if (it == folders_.end())
        throw PlatformError(2, QStringLiteral("No such file or directory"));
    return it->second.lastAccess;
}

} // namespace torvane::test
