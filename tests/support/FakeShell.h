#pragma once

#include "platform/Shell.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace torvane::test {

// Records every call. Calls fail with `failWith` when it is set; moveToTrash removes nothing
// unless `trashRemoves` is set, in which case it deletes the folder on disk (rm -r) to stand for
// a move.
class FakeShell final : public Shell {
public:
    void openFolder(const QByteArray& path) override;
    void openFile(const QString& path) override;
    void moveToTrash(const QByteArray& path) override;
    TrashContents trashContents(const std::vector<QByteArray>& volumeMounts) override;
    void emptyTrash(const std::vector<QByteArray>& volumeMounts) override;
    void showProperties(const QByteArray& path, QWidget* parent) override;
    void startProgram(const QString& path) override;

    QList<QByteArray> openedFolders;
    QStringList openedFiles;
    QList<QByteArray> trashed;
    QList<QByteArray> propertiesShown;
    QStringList started;
    int emptied = 0;
    TrashContents contents;
    bool trashRemoves = false;
    std::function<void(const QByteArray&)> onTrash;   // runs after a recorded move
    std::optional<std::pair<int, QString>> failWith;
};

} // namespace torvane::test
