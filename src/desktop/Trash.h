#pragma once

#include "desktop/Shell.h"

#include <QByteArray>

#include <vector>

namespace torvane {

// The freedesktop trash, byte-exact: what is trashed keeps its name's bytes, and its .trashinfo
// lets a file manager put it back. Failures throw PlatformError.

// $XDG_DATA_HOME/Trash, or ~/.local/share/Trash when XDG_DATA_HOME is unset or not absolute.
QByteArray homeTrashPath();

struct TrashedItem {
    QByteArray trashDir;   // the trash it went to; the item is files/<name>
    QByteArray name;       // its info is info/<name>.trashinfo
};

// Moves the file or folder into the trash of its volume: the home trash when the item is on the
// home trash's mount, otherwise the trash of the top directory of the mount that holds it (a
// bind mount has its own): $top/.Trash/$uid when the volume's administrator made a valid .Trash,
// else $top/.Trash-$uid. A move into the home trash that fails with EXDEV goes to that top's trash
// instead. A folder gets its line in the trash's directorysizes. Refuses a trash folder and
// anything inside one, and never deletes: when no trash can be made on the volume, or the move
// fails, nothing is changed.
TrashedItem moveToTrash(const QByteArray& path);

// The home trash and the trashes of the given volumes that exist and may be used.
std::vector<QByteArray> trashDirectories(const std::vector<QByteArray>& volumeMounts);

// What every trash holds. Safe on any thread: it reads the disk through its own descriptors,
// touches no Qt GUI object and keeps no state between calls.
TrashContents trashContents(const std::vector<QByteArray>& volumeMounts);
// Empties files/ and info/ of every trash, and drops the directorysizes lines of what it removed;
// goes on past failures and then throws the first.
void emptyTrash(const std::vector<QByteArray>& volumeMounts);

} // namespace torvane
