#include "app_icon.h"

#include <QPainter>
#include <QPixmap>

namespace {

QPixmap drawIcon(int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1b, 0x7f, 0x3b));
    painter.drawEllipse(QRectF(0, 0, side, side).adjusted(1, 1, -1, -1));
    // A lightning bolt: the monitor measures electricity.
    const qreal s = side / 32.0;
    const QPointF bolt[] = {{18 * s, 4 * s},  {9 * s, 18 * s},  {15 * s, 18 * s},
                            {13 * s, 28 * s}, {23 * s, 13 * s}, {17 * s, 13 * s}};
    painter.setBrush(QColor(0xff, 0xd5, 0x2a));
    painter.drawPolygon(bolt, int(std::size(bolt)));
    return pixmap;
}

} // namespace

QIcon programIcon()
{
    QIcon icon;
    for (const int side : {16, 32, 64})
        icon.addPixmap(drawIcon(side));
    return icon;
}
