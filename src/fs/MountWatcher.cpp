#include "fs/MountWatcher.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

namespace torvane {

MountWatcher::MountWatcher(std::function<void()> onChange)
    : fd_(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC))
{
    if (fd_ < 0 || !onChange)
        return;
    // The kernel marks a change of the table as an exceptional condition (POLLPRI, POLLERR) on
    // every open file of it, and clears the mark for that file when poll reports it: nothing
    // needs to be read to be told about the next change.
    notifier_ = std::make_unique<QSocketNotifier>(qintptr(fd_), QSocketNotifier::Exception);
    // The slot may replace this watcher (Qt keeps the slot alive while it runs); it touches
    // nothing of the watcher itself.
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [onChange = std::move(onChange)] { onChange(); });
}

MountWatcher::~MountWatcher()
{
    notifier_.reset();   // unregistered before its descriptor goes
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace torvane
