#include "desktop/InstanceLock.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

namespace torvane {

QString InstanceLock::defaultPath()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + QStringLiteral("/torvane.lock");
}

InstanceLock::InstanceLock(const QString& lockPath) : lock_(std::make_unique<QLockFile>(lockPath))
{
    lock_->setStaleLockTime(0);   // only a dead owner's lock is stale
    acquired_ = lock_->tryLock(0);
}

InstanceLock::~InstanceLock() = default;

void InstanceLock::release()
{
    if (acquired_)
        lock_->unlock();
    acquired_ = false;
}

} // namespace torvane
