#pragma once

// What building and reading hostile trees share: descriptors that close themselves, folder opens
// that never follow a link, and errors naming the call and the path.

#include "HostileTree.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

namespace torvane::hostile::io {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

[[noreturn]] inline void fail(const char* call, const std::string& what, int err = errno)
{
    throw std::system_error(err, std::generic_category(), std::string(call) + " " + printable(what));
}

inline std::string join(const std::string& folder, const std::string& name)
{
    return folder.empty() ? name : folder + '/' + name;
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Fd& operator=(Fd&& o) noexcept
    {
        std::swap(fd_, o.fd_);
        return *this;
    }
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

} // namespace torvane::hostile::io
