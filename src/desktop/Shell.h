#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

class QWidget;

namespace torvane {

struct TrashContents {
    std::uint64_t items = 0;   // top-level entries in files/ of every trash asked about
    std::uint64_t bytes = 0;   // their apparent sizes
};

// What the desktop gives: opening, trashing, properties, starting programs. Failures throw
// PlatformError.
class Shell {
public:
    virtual ~Shell() = default;

    // Shows the folder in the desktop's file manager.
    virtual void openFolder(const QByteArray& path) = 0;
    // Opens a file with the desktop's default program for its type.
    virtual void openFile(const QString& path) = 0;
    // Moves the folder (with everything in it) into the freedesktop trash of its volume, with a
    // .trashinfo, so the file manager can restore it. Never deletes permanently.
    virtual void moveToTrash(const QByteArray& path) = 0;
    // The trash of the home folder and of every volume whose mount path is given. Measuring a full
    // trash takes a while, so this may be called from a worker thread, also from several at once:
    // it only reads the disk, touches no Qt GUI object and shares no mutable state between calls.
    virtual TrashContents trashContents(const std::vector<QByteArray>& volumeMounts) = 0;
    virtual void emptyTrash(const std::vector<QByteArray>& volumeMounts) = 0;
    // A non-modal properties window for the folder; returns at once.
    virtual void showProperties(const QByteArray& path, QWidget* parent) = 0;
    // Starts a program detached from this process.
    virtual void startProgram(const QString& path) = 0;
};

} // namespace torvane
