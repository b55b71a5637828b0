#include "speakers/SpeakerRangeRowView.h"

#include "model/TextUtilities.h"
#include "speakers/SpeakerRowGeometry.h"

#include <QPainter>

namespace qv::speakers {

SpeakerRangeRowView::SpeakerRangeRowView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void SpeakerRangeRowView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(speakerRangeBandRect(QRectF(rect())), colorWith255sRGBRed(240, 240, 240, 1.0));
}

}  // namespace qv::speakers
