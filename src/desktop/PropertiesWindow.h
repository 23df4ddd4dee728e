#pragma once

#include <QByteArray>
#include <QWidget>

#include <atomic>
#include <thread>
#include <vector>

class QLabel;

namespace torvane {

struct MountEntry;

// The file system holding `path` according to a mount table: "ext4 (/dev/sda2) at /home" for the longest mount point that contains the path; empty when none does.
QString mountDescription(const std::vector<MountEntry>& mounts, const QByteArray& path);

// A folder's properties: name, path, size, folder and file counts, owner, permissions, times and
// file system. Non-modal and deleted when closed. The size and counts are computed on a worker
// thread; until they arrive the window says "Calculating…". Each field is a QLabel named after
// it: name, path, size, folders, files, owner, permissions, modified, accessed, fileSystem.
class PropertiesWindow final : public QWidget {
    Q_OBJECT
public:
    PropertiesWindow(const QByteArray& path, QWidget* parent);
    ~PropertiesWindow() override;

signals:
    void totalsReady(quint64 bytes, quint64 folders, quint64 files, int error);

private:
    void showTotals(quint64 bytes, quint64 folders, quint64 files, int error);

    QLabel* size_ = nullptr;
    QLabel* folders_ = nullptr;
    QLabel* files_ = nullptr;
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

// Opens the window for the path, of any length, and returns it; nothing (nullptr) when the path is
// empty or gone.
PropertiesWindow* showPropertiesWindow(const QByteArray& path, QWidget* parent);

} // namespace torvane
