#include "desktop/Twips.h"

#include <QFontDatabase>

namespace torvane {

QFont sansFont(double pointSize, bool bold)
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    return f;
}

} // namespace torvane
