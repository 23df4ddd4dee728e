#pragma once

// An independent, single-threaded reckoning of folder sizes for the walk's tests: nftw over full
// paths, lstat only, the same size rules written out plainly.

#include <cstdint>
#include <map>
#include <string>

namespace torvane::test {

// Relative folder path ("" for the root, "a/b" below it) to its size. Hard links count once, in
// the folder of the name whose path sorts first; symlinks are not followed; other file systems
// are not entered.
std::map<std::string, std::uint64_t> oracleSizes(const std::string& root);

} // namespace torvane::test
