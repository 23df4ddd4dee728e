// torvane-gentree DIR FILES FOLDERS [BIG]: makes a reproducible tree of FILES files in FOLDERS
// folders below DIR (which must not exist), one folder holding BIG entries, a few hard links
// within and across folders. File contents are holes: apparent sizes without using the disk.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "TreeRandom.h"

namespace {

using treerandom::next;

[[noreturn]] void die(const std::string& what)
{
    std::fprintf(stderr, "torvane-gentree: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

void makeFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        die(path);
    // Mostly small files, now and then a large one, as on a real disk.
    std::uint64_t size = next() % 16384;
    if (next() % 100 == 0)
        size = next() % (64ull << 20);
    if (::ftruncate(fd, off_t(size)) != 0)
        die(path);
    ::close(fd);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: torvane-gentree DIR FILES FOLDERS [BIG]\n");
        return 2;
    }
    const std::string root = argv[1];
    const long files = std::atol(argv[2]);
    const long folders = std::atol(argv[3]);
    const long big = argc > 4 ? std::atol(argv[4]) : 0;
    if (::mkdir(root.c_str(), 0755) != 0)
        die(root);

    // Folders in a tree of fan-out 10 (breadth first), so depth grows like a real disk's.
    std::vector<std::string> dirs{root};
    for (long i = 1; i < folders; ++i) {
        const std::string& parent = dirs[std::size_t((i - 1) / 10)];
        std::string path = parent + "/d" + std::to_string(i % 10) + "_" + std::to_string(i);
        if (::mkdir(path.c_str(), 0755) != 0)
            die(path);
        dirs.push_back(std::move(path));
    }
    long made = 0;
    if (big > 0) {
        const std::string bigDir = root + "/big";
        if (::mkdir(bigDir.c_str(), 0755) != 0)
            die(bigDir);
        for (; made < big && made < files; ++made)
            makeFile(bigDir + "/f" + std::to_string(made));
    }
    const long rest = files - made;
    for (long i = 0; i < rest; ++i) {
        const std::string& dir = dirs[std::size_t(i % folders)];
        makeFile(dir + "/file" + std::to_string(i) + ".dat");
    }
    // One hard link in a thousand files: half beside the original, half in another folder.
    for (long i = 0; i < rest; i += 1000) {
        const std::string& dir = dirs[std::size_t(i % folders)];
        const std::string from = dir + "/file" + std::to_string(i) + ".dat";
        const std::string& other = (i / 1000) % 2 ? dir : dirs[std::size_t((i * 7 + 3) % folders)];
        const std::string to = other + "/link" + std::to_string(i);
        if (::link(from.c_str(), to.c_str()) != 0)
            die(to);
    }
    return 0;
}
