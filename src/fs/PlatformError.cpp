#include "fs/PlatformError.h"

#include <cstring>

namespace torvane {

PlatformError::PlatformError(int number, const QString& description)
    : std::runtime_error(description.toStdString()), number_(number), description_(description)
{
}

PlatformError PlatformError::fromErrno(int err)
{
    return PlatformError(err, QString::fromLocal8Bit(std::strerror(err)));
}

} // namespace torvane
