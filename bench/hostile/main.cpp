// torvane-hostile DIR --seed N [--scale small|full] [--remove]
// Makes a hostile tree in DIR and prints its manifest: one "role<TAB>path" line per item, paths
// relative to DIR with unprintable bytes as \xHH.

#include "HostileTree.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

using namespace torvane::hostile;

namespace {

int usage()
{
    std::fprintf(stderr, "usage: torvane-hostile DIR --seed N [--scale small|full]\n"
                         "       torvane-hostile DIR --remove\n");
    return 2;
}

void line(const char* role, const std::string& path)
{
    std::printf("%s\t%s\n", role, printable(path).c_str());
}

} // namespace

int main(int argc, char** argv)
{
    std::string dir;
    std::uint64_t seed = 0;
    bool seeded = false;
    bool remove = false;
    Scale scale = Scale::Small;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seed" && i + 1 < argc) {
            char* end = nullptr;
            seed = std::strtoull(argv[++i], &end, 10);
            if (!*argv[i] || *end)
                return usage();
            seeded = true;
        } else if (arg == "--scale" && i + 1 < argc) {
            const std::string value = argv[++i];
            if (value == "small")
                scale = Scale::Small;
            else if (value == "full")
                scale = Scale::Full;
            else
                return usage();
        } else if (arg == "--remove") {
            remove = true;
        } else if (dir.empty() && !arg.empty() && arg[0] != '-') {
            dir = arg;
        } else {
            return usage();
        }
    }
    if (dir.empty() || seeded == remove)
        return usage();
    try {
        if (remove) {
            removeTree(dir);
            return 0;
        }
        const Manifest m = generate(dir, seed, scale);
        line("root", m.root);
        for (const std::string& folder : m.folders)
            line("folder", folder);
        for (const auto& [folder, mode] : m.lockedFolders) {
            char role[16];
            std::snprintf(role, sizeof role, "locked-%03o", mode);
            line(role, folder);
        }
        for (const std::string& name : m.names)
            line("name", name);
        line("big", m.bigFolder);
        line("deep", m.deepFolder);
        line("not-utf8", m.nonUtf8Folder);
        line("newline", m.newlineFolder);
        line("long-name", m.longNameFolder);
        line("long-path", m.longPathFolder);
        std::printf("entries\t%llu\n", static_cast<unsigned long long>(m.entries));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "torvane-hostile: %s\n", e.what());
        return 1;
    }
    return 0;
}
