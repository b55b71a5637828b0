// A view the user drags to move the playhead: a press positions the media at once, a drag keeps
// positioning it, and playback pauses for the drag and resumes after it if it was running. The
// horizontal position maps to a proportion of the media, clamped to 0..1. The scrub bar and
// the waveform playhead draw it.
// Main thread only.
#pragma once

#include "transcript-view/ScrubTarget.h"

#include <QWidget>

namespace qv::transcript {

class QVScrubView : public QWidget {
public:
    explicit QVScrubView(QWidget* parent = nullptr);

    // The position of the playhead that is drawn, 0..1; set by playback, which redraws.
    float proportionValue() const { return proportionValue_; }
    void setProportionValue(float proportion);
    // Drives the pending files' preview player instead of the transcript's main player.
    bool isForPendingFiles() const { return isForPendingFiles_; }
    void setIsForPendingFiles(bool pending);
    // The player the drag drives; none makes the view inert.
    void setTarget(ScrubTarget* target) { target_ = target; }
    bool isDragging() const { return dragging_; }

    // The proportion at `x` in a view `width` wide: 0 left of it, 1 right of it.
    static double proportionAt(double x, double width);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void changeMediaPosition(QMouseEvent* event);
    void endDrag(bool resume);

    ScrubTarget* target_ = nullptr;
    float proportionValue_ = 0;
    bool isForPendingFiles_ = false;
    bool dragging_ = false;
    bool wasPlaying_ = false;
};

}  // namespace qv::transcript
