#pragma once

#include <QByteArray>
#include <QByteArrayList>

#include <vector>

namespace torvane {

// The tree's decisions that need no window.

// A trash folder gets the "Admin" menu: a name beginning with RECYCLE in any case, a volume's
// .Trash or .Trash-<uid>, or the home trash itself.
bool isTrashFolder(const QByteArray& key, const QByteArray& homeTrash);

// The path components of refreshKey below oldDriveKey, for finding the folder again under the
// rebuilt root ("/home/", "/home/ann/src" gives ann, src).
QByteArrayList componentsBelow(const QByteArray& refreshKey, const QByteArray& oldDriveKey);

// A volume's root may never be deleted: "/" and the root of every listed volume.
bool isVolumeRoot(const QByteArray& key, const std::vector<QByteArray>& volumeMounts);

} // namespace torvane
