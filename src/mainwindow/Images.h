#pragma once

#include <QIcon>
#include <QMap>
#include <QString>

namespace torvane {

// The image list imgIcons: "drive", "folder", "selfolder", "filesmall". Icons come from the
// desktop's icon theme; a drawn 16 x 16 picture stands in for any the theme lacks.
QMap<QString, QIcon> imgIcons();

// "folder" with "selfolder" as its Selected picture, for tree nodes.
QIcon folderNodeIcon(const QMap<QString, QIcon>& images);

} // namespace torvane
