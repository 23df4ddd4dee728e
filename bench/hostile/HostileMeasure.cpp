#include "HostileIo.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace torvane::hostile {

namespace {

using namespace io;

std::string parentOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Entry names of an open folder, "." and ".." left out. The caller's descriptor stays open.
bool readNames(int dirFd, std::vector<std::pair<std::string, unsigned char>>& out)
{
    // A copy of the descriptor, not a new open of ".": a folder that may be read but not searched
    // (mode 0644) still gives its names.
    const int copy = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return false;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return false;
    }
    ::rewinddir(dir);
    errno = 0;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            out.emplace_back(name, e->d_type);
        errno = 0;
    }
    const int err = errno;
    ::closedir(dir);
    errno = err;
    return err == 0;
}

} // namespace

void removeTree(const std::string& root)
{
    // Descends holding one descriptor per level of the current path only. Each folder is read
    // once: its other entries go at once, its subfolders one after another, then the folder.
    struct Level {
        Fd fd;
        std::string name;                  // in the parent
        std::vector<std::string> folders;  // subfolders still to remove
    };
    std::vector<Level> path;
    auto enter = [&](Fd fd, const std::string& name) {
        Level level{std::move(fd), name, {}};
        std::vector<std::pair<std::string, unsigned char>> entries;
        if (!readNames(level.fd.get(), entries))
            fail("readdir", name);
        for (const auto& [entry, type] : entries) {
            struct stat st;
            if (type == DT_DIR || (type == DT_UNKNOWN && ::fstatat(level.fd.get(), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0
                                   && S_ISDIR(st.st_mode)))
                level.folders.push_back(entry);
            else if (::unlinkat(level.fd.get(), entry.c_str(), 0) != 0 && errno != ENOENT)
                fail("unlinkat", entry);
        }
        path.push_back(std::move(level));
    };
    {
        Fd fd(::open(root.c_str(), kDirFlags));
        if (fd.get() < 0) {
            if (errno == ENOENT)
                return;
            fail("open", root);
        }
        enter(std::move(fd), root);
    }
    while (!path.empty()) {
        Level& here = path.back();
        if (!here.folders.empty()) {
            const std::string sub = std::move(here.folders.back());
            here.folders.pop_back();
            if (::fchmodat(here.fd.get(), sub.c_str(), 0700, 0) != 0)
                fail("fchmodat", sub);
            Fd fd(::openat(here.fd.get(), sub.c_str(), kDirFlags));
            if (fd.get() < 0)
                fail("openat", sub);
            enter(std::move(fd), sub);
            continue;
        }
        const std::string name = here.name;
        path.pop_back();
        if (path.empty()) {
            if (::rmdir(root.c_str()) != 0)
                fail("rmdir", root);
        } else if (::unlinkat(path.back().fd.get(), name.c_str(), AT_REMOVEDIR) != 0) {
            fail("unlinkat", name);
        }
    }
}

Oracle measure(const std::string& root)
{
    Oracle o;
    struct Pending {
        std::shared_ptr<Fd> parent;   // null for the root
        std::string rel;
        std::string name;
    };
    struct Linked {
        std::string folder;   // of the link that sorts first
        Oracle::File file;
    };
    std::map<std::pair<dev_t, ino_t>, Linked> linked;
    std::map<std::string, std::uint64_t> own;   // sizes directly in each readable folder
    std::map<std::string, std::uint64_t> ownAllocated;
    dev_t volume = 0;

    std::vector<Pending> stack{{nullptr, std::string(), root}};
    while (!stack.empty()) {
        Pending p = std::move(stack.back());
        stack.pop_back();
        auto fd = std::make_shared<Fd>(p.parent ? ::openat(p.parent->get(), p.name.c_str(), kDirFlags)
                                                : ::open(root.c_str(), kDirFlags));
        if (fd->get() < 0) {
            o.unreadable[p.rel] = errno;
            continue;
        }
        struct stat self;
        if (::fstat(fd->get(), &self) != 0) {
            o.unreadable[p.rel] = errno;
            continue;
        }
        if (!p.parent)
            volume = self.st_dev;
        std::vector<std::pair<std::string, unsigned char>> entries;
        if (!readNames(fd->get(), entries)) {
            o.unreadable[p.rel] = errno;
            continue;
        }
        std::uint64_t sum = 0;
        std::uint64_t allocated = 0;
        std::vector<Oracle::File> files;
        std::vector<std::string> folders;
        std::vector<std::pair<std::pair<dev_t, ino_t>, Linked>> links;
        int failure = 0;
        for (const auto& [name, type] : entries) {
            struct stat st;
            if (::fstatat(fd->get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT && !failure)
                    failure = errno;
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                folders.push_back(name);
                continue;
            }
            const Oracle::File file{join(p.rel, name), std::uint64_t(st.st_size), std::uint64_t(st.st_blocks) * 512,
                                    std::int64_t(st.st_mtim.tv_sec), std::int64_t(st.st_mtim.tv_nsec)};
            if (st.st_nlink > 1) {
                links.push_back({{st.st_dev, st.st_ino}, {p.rel, file}});
            } else {
                sum += file.size;
                allocated += file.allocated;
                files.push_back(file);
            }
        }
        if (failure) {
            // The names still read, so the folders among them are known, and none can be opened.
            o.unreadable[p.rel] = failure;
            for (const auto& [name, type] : entries) {
                if (type == DT_DIR)
                    o.unreadable[join(p.rel, name)] = failure;
            }
            continue;
        }
        std::sort(folders.begin(), folders.end());
        o.subfolders[p.rel] = folders;
        own[p.rel] = sum;
        ownAllocated[p.rel] = allocated;
        o.files.insert(o.files.end(), files.begin(), files.end());
        for (const auto& [id, link] : links) {
            auto [it, added] = linked.try_emplace(id, link);
            if (!added && link.file.path < it->second.file.path)
                it->second = link;
        }
        // Other file systems are listed but not entered.
        for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
            struct stat st;
            const std::string rel = join(p.rel, *it);
            if (::fstatat(fd->get(), it->c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev != volume) {
                own[rel] = 0;
                ownAllocated[rel] = 0;
                o.subfolders[rel] = {};
                continue;
            }
            stack.push_back({fd, rel, *it});
        }
    }
    for (const auto& [id, link] : linked) {
        (void)id;
        own[link.folder] += link.file.size;
        ownAllocated[link.folder] += link.file.allocated;
        o.files.push_back(link.file);
    }
    // Deepest first, so each folder's total is complete before it is added to its parent's.
    std::vector<std::string> folders;
    for (const auto& [rel, size] : own)
        folders.push_back(rel);
    auto depth = [](const std::string& rel) {
        return rel.empty() ? 0 : 1 + std::count(rel.begin(), rel.end(), '/');
    };
    std::stable_sort(folders.begin(), folders.end(),
                     [&](const std::string& a, const std::string& b) { return depth(a) > depth(b); });
    o.folderSizes = own;
    o.folderAllocated = ownAllocated;
    for (const std::string& rel : folders) {
        if (rel.empty())
            continue;
        o.folderSizes[parentOf(rel)] += o.folderSizes[rel];
        o.folderAllocated[parentOf(rel)] += o.folderAllocated[rel];
    }
    return o;
}

} // namespace torvane::hostile
