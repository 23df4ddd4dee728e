// torvane-bench DIR [--threads N]: walks DIR as the program walks a volume and prints what it
// found, how long it took and what it cost in memory. The last line is for scripts.

#include "fs/Walk.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    std::string dir;
    int threads = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc)
            threads = std::atoi(argv[++i]);
        else
            dir = argv[i];
    }
    if (dir.empty()) {
        std::fprintf(stderr, "usage: torvane-bench DIR [--threads N]\n");
        return 2;
    }

    const auto start = std::chrono::steady_clock::now();
    torvane::Walk walk(dir, threads);
    walk.wait();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (const int err = walk.rootError()) {
        std::fprintf(stderr, "torvane-bench: %s: %s\n", dir.c_str(), std::strerror(err));
        return 1;
    }
    const torvane::Walk::Totals t = walk.totals();
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    std::printf("folders=%llu files=%llu bytes=%llu seconds=%.3f index_bytes=%llu peak_rss_kib=%ld\n",
                static_cast<unsigned long long>(t.folders), static_cast<unsigned long long>(t.files),
                static_cast<unsigned long long>(t.bytes), seconds,
                static_cast<unsigned long long>(t.indexBytes), ru.ru_maxrss);
    return 0;
}
