#include "app/Startup.h"

#include "mainwindow/MainWindow.h"
#include "desktop/AppInfo.h"
#include "desktop/InstanceLock.h"
#include "fs/LinuxFileSystem.h"
#include "desktop/LinuxShell.h"
#include "net/HttpClient.h"
#include "fs/PlatformError.h"
#include "desktop/Prompter.h"

#include <QApplication>
#include <QDir>

#include <cstdlib>
#include <exception>

namespace torvane {

int deleteLeftoverInstaller(const QString& appFolder)
{
    int deleted = 0;
    const QDir dir(appFolder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (name.compare(QLatin1String("update.exe"), Qt::CaseInsensitive) == 0 && QFile::remove(dir.filePath(name)))
            ++deleted;
    }
    return deleted;
}

QString startupErrorText(const QString& description, const QString& supportAddress)
{
    return description + QStringLiteral("\r\nPlease report this to ") + supportAddress + QLatin1Char('.');
}

int runTorvane(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("torvane"));
    QApplication::setDesktopFileName(QStringLiteral("torvane"));

    InstanceLock lock;
    if (!lock.acquired())
        return 0;

    RealAppInfo appInfo;
    MessageBoxPrompter boxes;
    Prompter& prompter = boxes;
    try {
        deleteLeftoverInstaller(appInfo.appFolder());
        LinuxFileSystem fileSystem;
        LinuxShell shell;
        NetworkHttpClient http;
        Services services;
        services.fileSystem = &fileSystem;
        services.shell = &shell;
        services.prompter = &prompter;
        services.http = &http;
        services.appInfo = &appInfo;

        // Exit ends the process where it stands, without unwinding a scan in progress.
        MainWindow window(services, [&lock] {
            lock.release();
            std::_Exit(0);
        });
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        window.show();
        window.startUp();
        QGuiApplication::restoreOverrideCursor();
        return app.exec();
    } catch (const PlatformError& e) {
        prompter.ask(startupErrorText(e.description(), appInfo.supportAddress()), BoxIcon::None, BoxButtons::Ok);
    } catch (const std::exception& e) {
        prompter.ask(startupErrorText(QString::fromLocal8Bit(e.what()), appInfo.supportAddress()), BoxIcon::None,
                     BoxButtons::Ok);
    }
    return 1;
}

} // namespace torvane
