#pragma once

#include <QByteArray>

#include <atomic>
#include <cstdint>

namespace torvane {

struct TreeTotals {
    std::uint64_t bytes = 0;     // apparent sizes of the non-directories, each inode once
    std::uint64_t allocated = 0; // disk space of every entry, directories included, as du counts it
    std::uint64_t folders = 0;   // directories below the entry, the entry itself not counted
    std::uint64_t files = 0;     // non-directories, links included
    int error = 0;               // errno of the first entry that could not be read, or 0
};

// Measures the entry `name` of the open directory dirFd (AT_FDCWD with an absolute path will
// do). Links are counted as links and never followed; other file systems mounted below are
// not entered. Stops early, with what it has, once `stop` is set.
TreeTotals measureTree(int dirFd, const QByteArray& name, const std::atomic<bool>* stop = nullptr);

// Removes the entry `name` of dirFd with everything below it. Links are removed as links and
// never followed; nothing on another file system is touched. Goes on past failures and then
// throws PlatformError for the first one.
void removeTree(int dirFd, const QByteArray& name);

} // namespace torvane
