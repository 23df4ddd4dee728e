#pragma once

#include <cstdint>

// The generated trees' one source of numbers: the same sequence on every run, so a program that
// rebuilds a generated tree's shape in memory gets the tree torvane-gentree writes to disk.
namespace treerandom {

inline std::uint64_t state = 0x9e3779b97f4a7c15ull;

inline std::uint64_t next()
{
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

} // namespace treerandom
