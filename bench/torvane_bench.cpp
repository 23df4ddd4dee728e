// torvane-bench DIR [--threads N] [--largest N]: walks DIR as the program walks a volume and prints
// what it found, how long it took and what it cost in memory; with --largest, the N largest files
// (size, a tab, the path below DIR made printable) before it. The last line is for scripts.

#include "fs/Walk.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Paths are bytes: anything outside printable ASCII (a newline, say) would break the line format.
std::string printable(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (u >= 0x20 && u < 0x7f) {
            out += c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", u);
            out += hex;
        }
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    std::string dir;
    int threads = 0;
    long largest = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc)
            threads = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--largest") == 0 && i + 1 < argc)
            largest = std::atol(argv[++i]);
        else
            dir = argv[i];
    }
    if (dir.empty()) {
        std::fprintf(stderr, "usage: torvane-bench DIR [--threads N] [--largest N]\n");
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
    if (largest > 0) {
        for (const torvane::Walk::LargeFile& f : walk.largest(std::size_t(largest)))
            std::printf("%llu\t%s\n", static_cast<unsigned long long>(f.size), printable(f.path).c_str());
    }
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    std::printf("folders=%llu files=%llu bytes=%llu seconds=%.3f index_bytes=%llu peak_rss_kib=%ld allocated=%llu\n",
                static_cast<unsigned long long>(t.folders), static_cast<unsigned long long>(t.files),
                static_cast<unsigned long long>(t.bytes), seconds,
                static_cast<unsigned long long>(t.indexBytes), ru.ru_maxrss,
                static_cast<unsigned long long>(t.allocated));
    return 0;
}
