#include "transcript-view/QVScrubView.h"

#include <QMouseEvent>

namespace qv::transcript {

QVScrubView::QVScrubView(QWidget* parent) : QWidget(parent)
{
    // Left-right arrows say that the view is dragged sideways.
    setCursor(Qt::SplitHCursor);
}

void QVScrubView::setProportionValue(float proportion)
{
    proportionValue_ = proportion;
    update();
}

void QVScrubView::setIsForPendingFiles(bool pending)
{
    isForPendingFiles_ = pending;
    update();
}

double QVScrubView::proportionAt(double x, double width)
{
    if (width <= 0 || x / width < 0)
        return 0;
    if (x > width)
        return 1;
    return x / width;
}

void QVScrubView::changeMediaPosition(QMouseEvent* event)
{
    target_->positionMediaFileAsProportion(proportionAt(event->position().x(), width()));
}

void QVScrubView::mousePressEvent(QMouseEvent* event)
{
    if (!target_ || event->button() != Qt::LeftButton)
        return;
    dragging_ = true;
    target_->setIsScrubbingMedia(true);
    wasPlaying_ = target_->scrubPlayerIsPlaying();
    if (wasPlaying_)
        target_->pauseForScrub();
    changeMediaPosition(event);
}

void QVScrubView::mouseMoveEvent(QMouseEvent* event)
{
    if (!target_ || !dragging_)
        return;
    // Without an item there is nothing to scrub: the drag ends as at mouse-up but does not
    // resume, so that no scrubbing flag is left raised to re-centre every highlight after it.
    if (!target_->scrubPlayerHasItem()) {
        endDrag(false);
        return;
    }
    changeMediaPosition(event);
}

void QVScrubView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!target_ || !dragging_ || event->button() != Qt::LeftButton)
        return;
    endDrag(true);
}

void QVScrubView::endDrag(bool resume)
{
    dragging_ = false;
    target_->setIsScrubbingMedia(false);
    if (wasPlaying_ && resume)
        target_->resumeAfterScrub();
    wasPlaying_ = false;
}

}  // namespace qv::transcript
