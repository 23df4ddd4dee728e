#pragma once

#include "desktop/Shell.h"
#include "fs/PlatformError.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace torvane::test {

// Records every call. Calls fail with `failWith` when it is set; moveToTrash removes nothing.
class FakeShell final : public Shell {
public:
    void openFolder(const QByteArray& path) override { maybeFail(); openedFolders.append(path); }
    void openFile(const QString& path) override { maybeFail(); openedFiles.append(path); }
    void moveToTrash(const QByteArray& path) override
    {
        maybeFail();
        trashed.append(path);
        if (onTrash)
            onTrash(path);
    }
    TrashContents trashContents(const std::vector<QByteArray>&) override
    {
        if (onTrashContents)
            onTrashContents();
        return contents;
    }
    void emptyTrash(const std::vector<QByteArray>&) override { maybeFail(); ++emptied; }
    void showProperties(const QByteArray& path, QWidget*) override { propertiesShown.append(path); }
    void startProgram(const QString& path) override { maybeFail(); started.append(path); }

    QList<QByteArray> openedFolders;
    QStringList openedFiles;
    QList<QByteArray> trashed;
    QList<QByteArray> propertiesShown;
    QStringList started;
    int emptied = 0;
    TrashContents contents;
    std::function<void(const QByteArray&)> onTrash;   // runs after a recorded move
    std::function<void()> onTrashContents;            // runs inside trashContents(), on its thread
    std::optional<std::pair<int, QString>> failWith;

private:
    void maybeFail() const
    {
        if (failWith)
            throw PlatformError(failWith->first, failWith->second);
    }
};

} // namespace torvane::test
