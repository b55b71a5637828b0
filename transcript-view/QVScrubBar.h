// The thin bar under the player: the whole length in grey, the played part in near white.
#pragma once

#include "transcript-view/QVScrubView.h"

namespace qv::transcript {

class QVScrubBar final : public QVScrubView {
public:
    using QVScrubView::QVScrubView;
    // The bar is this high and sits this far above the view's bottom edge, in points.
    static constexpr int kBarHeight = 10;
    static constexpr int kBarBottomOffset = 10;
    // Grey of the unplayed bar under the transcript (0.45) and in the pending panel (0.25).
    static constexpr double kTrackWhite = 0.45;
    static constexpr double kPendingTrackWhite = 0.25;
    static constexpr double kPlayedWhite = 0.9;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace qv::transcript
