#pragma once

#include "fs/FileSystem.h"

#include <QByteArray>

namespace torvane {

// What a volume is known by across mounts: "uuid:<UUID>" or else "label:<label>" where a link in
// diskFolder/by-uuid or diskFolder/by-label leads to the volume's device, else
// "device:<device> at <mount path>". Never throws; a folder that cannot be read has no links.
QByteArray volumeIdentity(const Volume& volume, const QByteArray& diskFolder = QByteArrayLiteral("/dev/disk"));

} // namespace torvane
