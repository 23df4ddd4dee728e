#include "mainwindow/TreeLogic.h"

#include "fs/Keys.h"

namespace torvane {

bool isTrashFolder(const QByteArray& key, const QByteArray& homeTrash)
{
    const QByteArray name = lastComponent(key);
    if (name.toUpper().startsWith("RECYCLE"))
        return true;
    if (name == ".Trash")
        return true;
    if (name.startsWith(".Trash-")) {
        bool numeric = false;
        name.mid(7).toUInt(&numeric);
        if (numeric)
            return true;
    }
    return !homeTrash.isEmpty() && driveKey(key) == driveKey(homeTrash);
}

QByteArrayList componentsBelow(const QByteArray& refreshKey, const QByteArray& oldDriveKey)
{
    QByteArray rest = refreshKey;
    if (!oldDriveKey.isEmpty() && rest.startsWith(oldDriveKey))
        rest = rest.mid(oldDriveKey.size());
    else if (rest.startsWith('/'))
        rest = rest.mid(1);
    QByteArrayList parts;
    for (const QByteArray& part : rest.split('/')) {
        if (!part.isEmpty())
            parts.append(part);
    }
    return parts;
}

bool isVolumeRoot(const QByteArray& key, const std::vector<QByteArray>& volumeMounts)
{
    const QByteArray asDrive = driveKey(key);
    if (asDrive == "/")
        return true;
    for (const QByteArray& mount : volumeMounts) {
        if (driveKey(mount) == asDrive)
            return true;
    }
    return false;
}

} // namespace torvane
