#include "desktop/AppInfo.h"

#include "torvane_version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace torvane {

QString RealAppInfo::chooseAppFolder(const QString& exeFolder, const QString& dataFolder)
{
    const QByteArray exe = QFile::encodeName(exeFolder);
    if (!exeFolder.isEmpty() && ::access(exe.constData(), W_OK) == 0)
        return exeFolder;
    QDir().mkpath(dataFolder);
    return dataFolder;
}

QString RealAppInfo::appFolder() const
{
    static const QString folder = chooseAppFolder(
        QCoreApplication::applicationDirPath(),
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/torvane"));
    return folder;
}

QString RealAppInfo::version() const
{
    return QStringLiteral(TORVANE_VERSION_TEXT);
}

QString RealAppInfo::supportAddress() const
{
    return QStringLiteral("support@torvane.org");
}

} // namespace torvane
