#include "intake/WarningTriangle.h"

#include <QPainter>
#include <QPainterPath>

QPixmap warningTrianglePixmap(WarningColour colour, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QPainterPath triangle;
    triangle.moveTo(s * 0.5, s * 0.06);
    triangle.lineTo(s * 0.97, s * 0.92);
    triangle.lineTo(s * 0.03, s * 0.92);
    triangle.closeSubpath();
    painter.fillPath(triangle, colour == WarningColour::Red ? QColor(214, 40, 40) : QColor(240, 190, 30));
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour == WarningColour::Red ? Qt::white : Qt::black);
    painter.drawRect(QRectF(s * 0.44, s * 0.32, s * 0.12, s * 0.34));
    painter.drawEllipse(QRectF(s * 0.43, s * 0.72, s * 0.14, s * 0.12));
    return pixmap;
}

QIcon warningTriangleIcon(WarningColour colour)
{
    QIcon icon;
    for (int size : {16, 24, 32})
        icon.addPixmap(warningTrianglePixmap(colour, size));
    return icon;
}
