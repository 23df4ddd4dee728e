#pragma once

#include <QString>
#include <stdexcept>

namespace torvane {

// The one exception type platform calls throw: an error number (errno where the OS gave one)
// and a description a user can read.
class PlatformError : public std::runtime_error {
public:
    PlatformError(int number, const QString& description);
    static PlatformError fromErrno(int err);

    int number() const { return number_; }
    const QString& description() const { return description_; }

private:
    int number_;
    QString description_;
};

} // namespace torvane
