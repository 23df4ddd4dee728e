#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace torvane {

// Follows the kernel's mount table while the program runs: onChange runs on the thread that made
// the watcher, from its event loop, after a file system was mounted or unmounted.
class MountWatcher {
public:
    explicit MountWatcher(std::function<void()> onChange);
    ~MountWatcher();
    MountWatcher(const MountWatcher&) = delete;
    MountWatcher& operator=(const MountWatcher&) = delete;

    // False when the table cannot be opened (no /proc): changes then go unnoticed.
    bool watching() const { return notifier_ != nullptr; }

private:
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace torvane
