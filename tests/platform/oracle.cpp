#include "oracle.h"

#include <ftw.h>
#include <sys/stat.h>

#include <stdexcept>
#include <vector>

namespace torvane::test {

namespace {

struct File {
    std::string path;   // relative to the root
    std::uint64_t size;
    ino_t ino;
    nlink_t links;
};

std::size_t g_rootLength = 0;
std::vector<std::string>* g_dirs = nullptr;
std::vector<File>* g_files = nullptr;

std::string relative(const char* path)
{
    std::string p(path + g_rootLength);
    if (!p.empty() && p.front() == '/')
        p.erase(0, 1);
    return p;
}

int visit(const char* path, const struct stat* st, int type, FTW*)
{
    if (type == FTW_D || type == FTW_DNR || type == FTW_DP)
        g_dirs->push_back(relative(path));
    else if (type != FTW_NS)
        g_files->push_back({relative(path), std::uint64_t(st->st_size), st->st_ino, st->st_nlink});
    return 0;
}

std::string parentOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

std::map<std::string, std::uint64_t> oracleSizes(const std::string& root)
{
    std::vector<std::string> dirs;
    std::vector<File> files;
    g_rootLength = root.size();
    g_dirs = &dirs;
    g_files = &files;
    if (::nftw(root.c_str(), visit, 64, FTW_PHYS | FTW_MOUNT) != 0)
        throw std::runtime_error("nftw failed on " + root);

    std::map<std::string, std::uint64_t> sizes;
    for (const std::string& d : dirs)
        sizes[d] = 0;
    // Which name of each multiply-linked file owns it: the smallest path.
    std::map<ino_t, std::string> owner;
    for (const File& f : files) {
        if (f.links < 2)
            continue;
        auto [it, fresh] = owner.emplace(f.ino, f.path);
        if (!fresh && f.path < it->second)
            it->second = f.path;
    }
    for (const File& f : files) {
        if (f.links >= 2 && owner[f.ino] != f.path)
            continue;
        std::string dir = parentOf(f.path);
        for (;;) {
            sizes[dir] += f.size;
            if (dir.empty())
                break;
            dir = parentOf(dir);
        }
    }
    return sizes;
}

} // namespace torvane::test
