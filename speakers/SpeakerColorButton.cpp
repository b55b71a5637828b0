#include "speakers/SpeakerColorButton.h"

#include <QPainter>

namespace qv::speakers {

SpeakerColorButton::SpeakerColorButton(QWidget* parent) : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void SpeakerColorButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), color_);
    if (!isEnabled())
        painter.fillRect(rect(), QColor(255, 255, 255, 60));
    if (!text().isEmpty()) {
        painter.setFont(font());
        painter.setPen(Qt::white);
        painter.drawText(QRectF(rect()).translated(0, captionOffset_), Qt::AlignCenter, text());
    }
}

}  // namespace qv::speakers
