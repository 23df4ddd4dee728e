#pragma once

#include "desktop/AppInfo.h"

namespace torvane::test {

class FakeAppInfo final : public AppInfo {
public:
    explicit FakeAppInfo(QString folder) : folder_(std::move(folder)) {}
    QString appFolder() const override { return folder_; }
    QString version() const override { return QStringLiteral("2.0.22"); }
    QString supportAddress() const override { return QStringLiteral("support@example.org"); }

private:
    QString folder_;
};

} // namespace torvane::test
