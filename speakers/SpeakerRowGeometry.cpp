#include "speakers/SpeakerRowGeometry.h"

#include <cmath>

namespace qv::speakers {

namespace {
constexpr double kRadius = 10;

double halfWidthFloored(double width)
{
    return static_cast<double>(std::floor(static_cast<float>(width) * 0.5f));
}
}  // namespace

double transcriptColumnLeft(double width)
{
    return halfWidthFloored(width) - kTranscriptColumnWidth / 2;
}

QRectF speakerRangeBandRect(const QRectF& bounds)
{
    return QRectF(transcriptColumnLeft(bounds.width()), bounds.y(), kTranscriptColumnWidth, bounds.height());
}

SpeakerTabGeometry speakerTabGeometry(double cellWidth, double nameWidth, double textSize, double lineHeight)
{
    SpeakerTabGeometry tab;
    const double centre = halfWidthFloored(cellWidth);
    tab.left = transcriptColumnLeft(cellWidth);
    tab.right = tab.left + nameWidth + 11 + 12;
    tab.height = lineHeight;
    tab.arrows = QRectF(tab.right - 18, textSize == 14 ? 4 : 5, 14, 18);
    tab.rule = QRectF(centre - 230, 0, 470, 2);
    return tab;
}

QPainterPath speakerTabPath(const SpeakerTabGeometry& tab)
{
    const double l = tab.left, r = tab.right, h = tab.height;
    QPainterPath path(QPointF(r, 0));
    path.lineTo(l + kRadius, 0);
    path.cubicTo(QPointF(l, 0), QPointF(l, 0), QPointF(l, kRadius));
    path.lineTo(l, h - kRadius);
    path.cubicTo(QPointF(l, h), QPointF(l, h), QPointF(l + kRadius, h));
    path.lineTo(r - kRadius, h);
    path.cubicTo(QPointF(r, h), QPointF(r, h), QPointF(r, h - kRadius));
    path.lineTo(r, 0);
    path.closeSubpath();
    return path;
}

QPainterPath speakerNameTagPath(const QRectF& bounds)
{
    const double minX = bounds.left(), maxX = bounds.right(), minY = bounds.top(), maxY = bounds.bottom();
    QPainterPath path(QPointF(maxX, minY));
    path.lineTo(minX + kRadius, minY);
    path.cubicTo(QPointF(minX, minY), QPointF(minX, minY), QPointF(minX, minY + kRadius));
    path.lineTo(minX, maxY - kRadius);
    path.cubicTo(QPointF(minX, maxY), QPointF(minX, maxY), QPointF(minX + kRadius, maxY));
    path.lineTo(maxX, maxY);
    path.lineTo(maxX, minY);
    path.closeSubpath();
    return path;
}

}  // namespace qv::speakers
