// A transparent view over a track's channel waveforms that draws the playhead as a 2-point line.
#pragma once

#include "transcript-view/QVScrubView.h"

namespace qv::transcript {

class QVScrubWaveforms final : public QVScrubView {
public:
    using QVScrubView::QVScrubView;
    // The line is brighter while that media plays.
    bool isActive() const { return isActive_; }
    void setIsActive(bool active);
    // Left edge of the 2-point line for `proportion` in a view `width` wide, kept inside it.
    static double playheadX(double proportion, double width);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool isActive_ = false;
};

}  // namespace qv::transcript
