#include "transcript-view/QVScrubWaveforms.h"

#include <QPainter>

namespace qv::transcript {

void QVScrubWaveforms::setIsActive(bool active)
{
    isActive_ = active;
    update();
}

double QVScrubWaveforms::playheadX(double proportion, double width)
{
    double x = proportion > 0 ? proportion * width - 1 : 0;
    if (x < 0)
        x = 0;
    if (x + 2 >= width)
        x = width - 2;
    return x;
}

void QVScrubWaveforms::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(QRectF(playheadX(proportionValue(), width()), 0, 2, height()),
                     QColor::fromRgbF(1, 1, 1, isActive_ ? 0.8f : 0.3f));
}

}  // namespace qv::transcript
