#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace torvane {

// At most one running instance per user: a lock file in the user's runtime folder. A stale lock
// left by a crashed run is taken over.
class InstanceLock {
public:
    explicit InstanceLock(const QString& lockPath = defaultPath());
    ~InstanceLock();
    bool acquired() const { return acquired_; }
    // Gives the lock up before the process ends without unwinding.
    void release();
    static QString defaultPath();

private:
    std::unique_ptr<QLockFile> lock_;
    bool acquired_ = false;
};

} // namespace torvane
