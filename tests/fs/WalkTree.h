#pragma once

// A throw-away tree for the walk's tests, and the oracle's view of it.

#include "HostileTree.h"

#include <QtGlobal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace torvane::walktest {

// A fresh tree under /tmp, removed with rm -rf (which copes with paths beyond PATH_MAX).
class Tree {
public:
    Tree()
    {
        char name[] = "/tmp/torvane-walk-XXXXXX";
        if (!::mkdtemp(name))
            qFatal("mkdtemp failed");
        root_ = name;
    }
    ~Tree()
    {
        if (std::system(("rm -rf '" + root_ + "'").c_str()) != 0)
            qWarning("could not remove %s", root_.c_str());
    }
    const std::string& root() const { return root_; }
    std::string at(const std::string& rel) const { return rel.empty() ? root_ : root_ + "/" + rel; }

    void dir(const std::string& rel) const
    {
        if (::mkdir(at(rel).c_str(), 0755) != 0)
            qFatal("mkdir %s: %s", rel.c_str(), std::strerror(errno));
    }
    // A file of `size` apparent bytes; `sparse` makes it a hole instead of written bytes.
    void file(const std::string& rel, std::uint64_t size, bool sparse = false) const
    {
        const int fd = ::open(at(rel).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const std::string bytes(sparse ? 0 : size, 'x');
        if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()) || ::ftruncate(fd, off_t(size)) != 0)
            qFatal("create %s: %s", rel.c_str(), std::strerror(errno));
        ::close(fd);
    }
    void link(const std::string& from, const std::string& to) const
    {
        if (::link(at(from).c_str(), at(to).c_str()) != 0)
            qFatal("link %s", to.c_str());
    }
    void symlink(const std::string& target, const std::string& rel) const
    {
        if (::symlink(target.c_str(), at(rel).c_str()) != 0)
            qFatal("symlink %s", rel.c_str());
    }
    std::map<std::string, std::uint64_t> oracleSizes() const { return torvane::hostile::measure(root_).folderSizes; }

private:
    std::string root_;
};

} // namespace torvane::walktest
