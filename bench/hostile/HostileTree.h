#pragma once

// Hostile trees for tests and the benchmark: every kind of name and entry a disk tool meets on a
// messy machine, made deterministically from a seed. Paths here are byte strings (std::string),
// relative to the tree's root unless they say otherwise.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace torvane::hostile {

enum class Scale { Small, Full };

struct Manifest {
    std::string root;   // absolute

    // Every folder made, "" being the root itself; folders made inside a locked folder included.
    std::vector<std::string> folders;
    // Folders left with mode 000, 0311 or 0644 (mode in the map's value).
    std::map<std::string, unsigned> lockedFolders;
    // The hostile names, each used as a top-level folder and as a folder and a file in "names".
    std::vector<std::string> names;
    std::string bigFolder;         // the folder of many entries
    std::uint64_t bigFolderEntries = 0;
    std::string deepFolder;        // the bottom of a chain deeper than any recursion should go
    std::uint64_t deepLevels = 0;

    // The strangest entries, one of each, for trash and rename tests. Each holds one file.
    std::string nonUtf8Folder;
    std::string newlineFolder;
    std::string longNameFolder;    // a 255-byte name
    std::string longPathFolder;    // its absolute path is longer than PATH_MAX

    std::uint64_t entries = 0;     // everything made, folders included
};

// Makes the tree inside `root` (created when missing; it should be empty). Throws
// std::system_error naming the failing call. The same seed and scale always give the same tree.
Manifest generate(const std::string& root, std::uint64_t seed, Scale scale);

// Removes the tree below and including `root`, whatever the modes and however long the paths;
// never follows links. Throws std::system_error.
void removeTree(const std::string& root);

// One name or path made printable: bytes outside printable ASCII and the backslash as \xHH.
std::string printable(const std::string& bytes);

// Sizes as the program must count them, found by a plain sequential walk with lstat semantics:
// apparent sizes of everything that is not a folder, links not followed, a file with several
// hard links counted once in the folder of its link whose path sorts first, other file systems
// not entered. Run it as the same user as the walk it checks: what that user cannot read is in
// `unreadable` and counts nothing.
// Allocated bytes (st_blocks × 512) follow the same rules.
struct Oracle {
    std::map<std::string, std::uint64_t> folderSizes;   // every readable folder ("" the root)
    std::map<std::string, std::uint64_t> folderAllocated;   // the same folders
    std::map<std::string, int> unreadable;              // folder -> errno
    std::map<std::string, std::vector<std::string>> subfolders;   // readable folder -> child names, byte order
    struct File {
        std::string path;   // a file with several links: its owner's
        std::uint64_t size = 0;
        std::uint64_t allocated = 0;
        std::int64_t mtimeSec = 0;
        std::int64_t mtimeNsec = 0;
    };
    std::vector<File> files;   // every entry that is not a folder in a readable folder, unordered
};
Oracle measure(const std::string& root);

} // namespace torvane::hostile
