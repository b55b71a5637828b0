#include "transcript-view/QVScrubBar.h"

#include <QPainter>

namespace qv::transcript {

void QVScrubBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const double track = isForPendingFiles() ? kPendingTrackWhite : kTrackWhite;
    const QRectF bar(0, height() - kBarBottomOffset - kBarHeight, width(), kBarHeight);
    painter.fillRect(bar, QColor::fromRgbF(track, track, track));
    painter.fillRect(QRectF(bar.x(), bar.y(), proportionValue() * bar.width(), bar.height()),
                     QColor::fromRgbF(kPlayedWhite, kPlayedWhite, kPlayedWhite));
}

}  // namespace qv::transcript
