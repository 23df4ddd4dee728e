#include "mainwindow/Images.h"

#include <QPainter>
#include <QPixmap>

namespace torvane {

namespace {

QPixmap drawn(const QString& key)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (key == QLatin1String("drive")) {
        p.setBrush(QColor(0xa0, 0xa0, 0xa8));
        p.setPen(QColor(0x50, 0x50, 0x58));
        p.drawRoundedRect(QRectF(1.5, 4.5, 13, 7), 1.5, 1.5);
        p.setBrush(QColor(0x30, 0xc0, 0x30));
        p.drawEllipse(QRectF(11, 7, 2, 2));
    } else if (key == QLatin1String("filesmall")) {
        p.setBrush(Qt::white);
        p.setPen(QColor(0x60, 0x60, 0x60));
        p.drawRect(QRectF(3.5, 1.5, 9, 13));
    } else {
        const bool open = key == QLatin1String("selfolder");
        p.setPen(QColor(0x9a, 0x74, 0x10));
        p.setBrush(QColor(0xf0, 0xc8, 0x50));
        p.drawRect(QRectF(1.5, 3.5, 6, 3));
        p.drawRect(QRectF(1.5, 5.5, 13, 8));
        if (open) {
            p.setBrush(QColor(0xfa, 0xe0, 0x8a));
            p.drawPolygon(QPolygonF({QPointF(3.5, 8.5), QPointF(15.5, 8.5), QPointF(13.5, 13.5), QPointF(1.5, 13.5)}));
        }
    }
    return pm;
}

QIcon themed(const QString& themeName, const QString& key)
{
    QIcon icon = QIcon::fromTheme(themeName);
    if (icon.isNull() || icon.availableSizes().isEmpty())
        icon = QIcon(drawn(key));
    return icon;
}

} // namespace

QMap<QString, QIcon> imgIcons()
{
    QMap<QString, QIcon> images;
    images.insert(QStringLiteral("drive"), themed(QStringLiteral("drive-harddisk"), QStringLiteral("drive")));
    images.insert(QStringLiteral("folder"), themed(QStringLiteral("folder"), QStringLiteral("folder")));
    images.insert(QStringLiteral("selfolder"), themed(QStringLiteral("folder-open"), QStringLiteral("selfolder")));
    images.insert(QStringLiteral("filesmall"), themed(QStringLiteral("text-x-generic"), QStringLiteral("filesmall")));
    return images;
}

QIcon folderNodeIcon(const QMap<QString, QIcon>& images)
{
    QIcon icon;
    const QIcon folder = images.value(QStringLiteral("folder"));
    const QIcon selected = images.value(QStringLiteral("selfolder"));
    icon.addPixmap(folder.pixmap(16, 16), QIcon::Normal);
    icon.addPixmap(selected.pixmap(16, 16), QIcon::Selected);
    return icon;
}

} // namespace torvane
