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
#include <QTimer>

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

// The folder named on the command line (a file manager's "Open With" passes one), made absolute;
// the bytes are kept as given, since a folder name need not be valid UTF-8.
QByteArray startFolder(const QByteArray& argument, const QByteArray& currentFolder)
{
    if (argument.isEmpty())
        return {};
    QByteArray path = argument;
    if (!path.startsWith('/'))
        path = (currentFolder.endsWith('/') ? currentFolder : currentFolder + '/') + path;
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

QString startupErrorText(const QString& description, const QString& supportAddress)
{
    return description + QStringLiteral("\r\nPlease report this to ") + supportAddress + QLatin1Char('.');
}

int runTorvane(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("torvane"));
    QApplication::setOrganizationName(QStringLiteral("torvane"));
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
        const QByteArray argument = argc > 1 ? QByteArray(argv[1]) : QByteArray();   // Qt's own options are gone
        if (const QByteArray folder = startFolder(argument, QFile::encodeName(QDir::currentPath())); !folder.isEmpty())
            QTimer::singleShot(0, &window, [&window, folder] { window.startOn(folder); });
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
