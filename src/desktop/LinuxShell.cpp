#include "desktop/LinuxShell.h"

#include "fs/Keys.h"
#include "fs/PlatformError.h"
#include "desktop/PropertiesWindow.h"
#include "desktop/Trash.h"

#include <QDesktopServices>
#include <QFile>
#include <QProcess>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace torvane {

QUrl localFileUrl(const QByteArray& path)
{
    const QString text = QFile::decodeName(path);
    if (QFile::encodeName(text) == path)
        return QUrl::fromLocalFile(text);
    // Not UTF-8: QString cannot hold these bytes, but a percent-encoded URL can, and the desktop's
    // opener decodes it back to the same bytes.
    return QUrl::fromEncoded("file://" + path.toPercentEncoding("/"), QUrl::StrictMode);
}

namespace {

// A path that is gone fails here with its own reason rather than in a file manager's error box.
void open(const QByteArray& path, const QUrl& url, const QString& failure)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        throw PlatformError::fromErrno(errno);
    if (!QDesktopServices::openUrl(url))
        throw PlatformError(0, failure);
}

} // namespace

void LinuxShell::openFolder(const QByteArray& path)
{
    open(path, localFileUrl(path), QObject::tr("No program could open the folder %1.").arg(displayName(path)));
}

void LinuxShell::openFile(const QString& path)
{
    open(QFile::encodeName(path), QUrl::fromLocalFile(path), QObject::tr("No program could open the file %1.").arg(path));
}

void LinuxShell::moveToTrash(const QByteArray& path)
{
    torvane::moveToTrash(path);
}

TrashContents LinuxShell::trashContents(const std::vector<QByteArray>& volumeMounts)
{
    return torvane::trashContents(volumeMounts);
}

void LinuxShell::emptyTrash(const std::vector<QByteArray>& volumeMounts)
{
    torvane::emptyTrash(volumeMounts);
}

void LinuxShell::showProperties(const QByteArray& path, QWidget* parent)
{
    showPropertiesWindow(path, parent);
}

void LinuxShell::startProgram(const QString& path)
{
    if (QProcess::startDetached(path, {}))
        return;
    // QProcess does not say why; the file itself usually does.
    const int err = ::access(QFile::encodeName(path).constData(), X_OK) != 0 ? errno : 0;
    QString description = QObject::tr("The program %1 could not be started.").arg(path);
    if (err != 0)
        description += QLatin1Char(' ') + PlatformError::fromErrno(err).description() + QLatin1Char('.');
    throw PlatformError(err, description);
}

} // namespace torvane
