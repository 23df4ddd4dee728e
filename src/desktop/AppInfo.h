#pragma once

#include <QString>

namespace torvane {

// Where the program keeps its files and which version it is.
class AppInfo {
public:
    virtual ~AppInfo() = default;
    // The folder for the report, the log and downloaded installers, without a trailing '/'.
    virtual QString appFolder() const = 0;
    virtual QString version() const = 0;          // "2.0.22"
    virtual QString supportAddress() const = 0;
};

// The executable's folder when it is writable; otherwise (installed system-wide) the user's
// data folder for Torvane, created on first use.
class RealAppInfo final : public AppInfo {
public:
    QString appFolder() const override;
    QString version() const override;
    QString supportAddress() const override;

    // The decision itself, for tests: exeFolder when writable, else dataFolder (created).
    static QString chooseAppFolder(const QString& exeFolder, const QString& dataFolder);
};

} // namespace torvane
