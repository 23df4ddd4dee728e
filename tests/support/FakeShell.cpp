#include "support/FakeShell.h"

#include "platform/PlatformError.h"

#include <QDir>
#include <QFile>

namespace torvane::test {

namespace {
void maybeFail(const std::optional<std::pair<int, QString>>& failure)
{
    if (failure)
        throw PlatformError(failure->first, failure->second);
}
} // namespace

void FakeShell::openFolder(const QByteArray& path)
{
    maybeFail(failWith);
    openedFolders.append(path);
}

void FakeShell::openFile(const QString& path)
{
    maybeFail(failWith);
    openedFiles.append(path);
}

void FakeShell::moveToTrash(const QByteArray& path)
{
    maybeFail(failWith);
    trashed.append(path);
    if (trashRemoves)
        QDir(QFile::decodeName(path)).removeRecursively();
    if (onTrash)
        onTrash(path);
}

TrashContents FakeShell::trashContents(const std::vector<QByteArray>&)
{
    return contents;
}

void FakeShell::emptyTrash(const std::vector<QByteArray>&)
{
    maybeFail(failWith);
    ++emptied;
}

void FakeShell::showProperties(const QByteArray& path, QWidget*)
{
    propertiesShown.append(path);
}

void FakeShell::startProgram(const QString& path)
{
    maybeFail(failWith);
    started.append(path);
}

} // namespace torvane::test
