#pragma once

#include "desktop/Shell.h"

#include <QUrl>

namespace torvane {

// A local path as a file URL that keeps every byte, also where the name is not UTF-8.
QUrl localFileUrl(const QByteArray& path);

// The desktop on Linux: the desktop's default handlers, the freedesktop trash and our own
// properties window.
class LinuxShell final : public Shell {
public:
    void openFolder(const QByteArray& path) override;
    void openFile(const QString& path) override;
    void moveToTrash(const QByteArray& path) override;
    TrashContents trashContents(const std::vector<QByteArray>& volumeMounts) override;
    void emptyTrash(const std::vector<QByteArray>& volumeMounts) override;
    // Shows nothing when the path is empty or gone.
    void showProperties(const QByteArray& path, QWidget* parent) override;
    void startProgram(const QString& path) override;
};

} // namespace torvane
