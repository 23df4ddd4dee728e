#include "fs/LinuxFileSystem.h"

#include "fs/Keys.h"
#include "fs/MountTable.h"
#include "fs/MountWatcher.h"
#include "fs/PlatformError.h"
#include "fs/Walk.h"
#include "fs/WalkIo.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>

namespace torvane {

namespace {

constexpr std::size_t kListBufferSize = 64 * 1024;
constexpr int kOnDemandThreads = 2;

std::string_view bytesOf(const QByteArray& path)
{
    return {path.constData(), std::size_t(path.size())};
}

QByteArray trimmed(QByteArray path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

// The path below `root`, or nothing when the path is not inside it.
std::optional<std::string_view> relativeTo(const QByteArray& root, const QByteArray& path)
{
    std::string_view p = bytesOf(path);
    while (p.size() > 1 && p.back() == '/')
        p.remove_suffix(1);
    const std::string_view r = bytesOf(root);
    if (r == "/") {
        if (p.empty() || p.front() != '/')
            return std::nullopt;
        return p.substr(1);
    }
    if (p == r)
        return std::string_view();
    if (p.size() > r.size() && p.substr(0, r.size()) == r && p[r.size()] == '/')
        return p.substr(r.size() + 1);
    return std::nullopt;
}

QByteArray homeFolder()
{
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty()) {
        if (const passwd* pw = ::getpwuid(::getuid()))
            home = pw->pw_dir;
    }
    return home;
}

} // namespace

LinuxFileSystem::LinuxFileSystem(std::function<std::vector<MountEntry>()> mountTable)
    : mountTable_(std::move(mountTable))
{
}

// Joins every walker: no worker outlives the object it reports to.
LinuxFileSystem::~LinuxFileSystem() = default;

std::vector<Volume> LinuxFileSystem::volumes()
{
    return driveVolumes(mountTable_(), homeFolder());
}

VolumeSpace LinuxFileSystem::volumeSpace(const QByteArray& mountPath)
{
    // statvfs alone would answer for an unmounted volume's empty folder with the numbers of the
    // file system that holds the folder.
    struct statvfs vfs {};
    if (!hasMountAt(mountTable_(), mountPath) || ::statvfs(mountPath.constData(), &vfs) != 0)
        return {};
    VolumeSpace space;
    space.ready = true;
    space.totalBytes = std::uint64_t(vfs.f_blocks) * vfs.f_frsize;
    space.availableBytes = std::uint64_t(vfs.f_bavail) * vfs.f_frsize;
    return space;
}

void LinuxFileSystem::beginWalk(const QByteArray& mountPath)
{
    // The old walkers stop at their next folder and are joined before the new walk starts, so
    // two walks never compete for the disk.
    walk_.reset();
    onDemand_.clear();
    measured_.clear();
    walkRoot_ = trimmed(mountPath);
    walk_ = std::make_unique<Walk>(std::string(bytesOf(walkRoot_)));
}

WalkProgress LinuxFileSystem::walkProgress()
{
    WalkProgress p;
    p.finished = !walk_ || walk_->finished();
    if (walk_) {
        const Walk::Totals t = walk_->totals();
        p.bytesWalked = t.bytesWalked;
        p.bytesAllocated = t.bytesAllocated;
    }
    for (const auto& [path, walk] : onDemand_)
        p.finished = p.finished && walk->finished();
    return p;
}

WalkErrors LinuxFileSystem::walkErrors(std::size_t limit)
{
    WalkErrors out;
    if (!walk_)
        return out;
    const Walk::Failures failures = walk_->failures(limit);
    out.total = failures.total;
    out.first.reserve(failures.first.size());
    for (const Walk::FolderRecord& r : failures.first)
        out.first.push_back(FailedFolder{QByteArray(r.path.data(), qsizetype(r.path.size())), r.error,
                                         PlatformError::fromErrno(r.error).description()});
    return out;
}

void LinuxFileSystem::watchVolumes(std::function<void()> onChange)
{
    watcher_.reset();
    if (onChange)
        watcher_ = std::make_unique<MountWatcher>(std::move(onChange));
}

void LinuxFileSystem::waitForWalk(std::chrono::milliseconds limit)
{
    if (walk_ && !walk_->finished()) {
        walk_->waitFor(limit);
        return;
    }
    for (const auto& [path, walk] : onDemand_) {
        if (!walk->finished()) {
            walk->waitFor(limit);
            return;
        }
    }
}

std::vector<LargeFile> LinuxFileSystem::largestFiles()
{
    std::vector<LargeFile> out;
    if (!walk_ || !walk_->finished())
        return out;
    const std::vector<Walk::LargeFile> files = walk_->largest();
    out.reserve(files.size());
    for (const Walk::LargeFile& f : files) {
        LargeFile l;
        l.path = joinPath(walkRoot_, QByteArray(f.path.data(), qsizetype(f.path.size())));
        l.apparent = f.size;
        l.allocated = f.allocated;
        l.modified = QDateTime::fromMSecsSinceEpoch(qint64(f.mtimeSec) * 1000 + f.mtimeNsec / 1000000);
        out.push_back(std::move(l));
    }
    return out;
}

std::vector<IndexedFolder> LinuxFileSystem::indexedFolders()
{
    std::vector<IndexedFolder> out;
    if (!walk_ || !walk_->finished())
        return out;
    const std::vector<Walk::FolderRecord> records = walk_->folders();
    out.reserve(records.size());
    for (const Walk::FolderRecord& r : records)
        out.push_back(IndexedFolder{QByteArray(r.path.data(), qsizetype(r.path.size())), FolderSizes{r.size, r.allocated}});
    return out;
}

std::optional<FolderSizes> LinuxFileSystem::folderSizes(const QByteArray& path)
{
    if (walk_) {
        if (const std::optional<std::string_view> rel = relativeTo(walkRoot_, path)) {
            const Walk::Answer a = walk_->sizeOf(*rel);
            switch (a.state) {
            case Walk::State::Found:
                return FolderSizes{a.size, a.allocated};
            case Walk::State::Pending:
                return std::nullopt;
            case Walk::State::Failed:
                throw PlatformError::fromErrno(a.error);
            case Walk::State::Missing:
                break;
            }
        }
    }
    return measureOnDemand(trimmed(path));
}

std::optional<FolderSizes> LinuxFileSystem::measureOnDemand(const QByteArray& path)
{
    if (const auto done = measured_.find(path); done != measured_.end())
        return done->second;
    if (const auto running = onDemand_.find(path); running != onDemand_.end()) {
        if (!running->second->finished())
            return std::nullopt;
        const Walk::Answer a = running->second->sizeOf({});
        onDemand_.erase(running);
        if (a.state != Walk::State::Found)
            throw PlatformError::fromErrno(a.error ? a.error : EIO);
        const FolderSizes sizes{a.size, a.allocated};
        measured_[path] = sizes;
        return sizes;
    }
    int err = 0;
    if (!walkio::openDirectory(bytesOf(path), err).valid())
        throw PlatformError::fromErrno(err);
    onDemand_[path] = std::make_unique<Walk>(std::string(bytesOf(path)), kOnDemandThreads);
    return std::nullopt;
}

std::vector<Folder> LinuxFileSystem::subfolders(const QByteArray& path)
{
    int err = 0;
    walkio::Fd dir = walkio::openDirectory(bytesOf(path), err);
    if (!dir.valid())
        throw PlatformError::fromErrno(err);
    struct stat st {};
    if (::fstat(dir.get(), &st) != 0)
        throw PlatformError::fromErrno(errno);
    // Another file system mounted inside the walked volume is listed there but not entered.
    if (walk_ && walk_->rootError() == 0 && relativeTo(walkRoot_, path) && st.st_dev != walk_->device())
        return {};

    std::vector<QByteArray> names;
    std::unique_ptr<char[]> buffer(new char[kListBufferSize]);
    walkio::DirReader reader(dir.get(), buffer.get(), kListBufferSize);
    walkio::DirEntry entry;
    while (reader.next(entry)) {
        bool isDir = entry.type == DT_DIR;
        if (entry.type == DT_UNKNOWN) {
            struct stat est {};
            isDir = ::fstatat(dir.get(), entry.name.data(), &est, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(est.st_mode);
        }
        if (isDir)
            names.emplace_back(entry.name.data(), qsizetype(entry.name.size()));
    }
    if (reader.error())
        throw PlatformError::fromErrno(reader.error());
    std::sort(names.begin(), names.end());   // QByteArray orders bytes as unsigned, like memcmp

    std::vector<Folder> out;
    out.reserve(names.size());
    for (QByteArray& name : names) {
        QByteArray full = joinPath(path, name);
        out.push_back(Folder{std::move(name), std::move(full)});
    }
    return out;
}

QDateTime LinuxFileSystem::lastAccess(const QByteArray& path)
{
    // The walk has read the folder since (which may have moved the time to now): the time its
    // parent's read saw comes first.
    if (walk_ && walk_->rootError() == 0) {
        if (const std::optional<std::string_view> rel = relativeTo(walkRoot_, path)) {
            if (const std::optional<std::int64_t> seconds = walk_->accessTimeOf(*rel))
                return QDateTime::fromSecsSinceEpoch(*seconds);
        }
    }
    struct stat st {};
    if (const int err = walkio::lstatPath(bytesOf(path), st))
        throw PlatformError::fromErrno(err);
    return QDateTime::fromMSecsSinceEpoch(qint64(st.st_atim.tv_sec) * 1000 + st.st_atim.tv_nsec / 1000000);
}

bool LinuxFileSystem::folderExists(const QByteArray& path)
{
    struct stat st {};
    return walkio::lstatPath(bytesOf(path), st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace torvane
