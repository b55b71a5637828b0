// The cell of a speaker range's words row: the row's text view inset 20 points from either side
// and 3 from the top, and the ">" mark that shows, in the first words row only, that the
// playhead lies before the first word.
#pragma once

#include "transcript-view/QVTextView.h"

#include <QLabel>
#include <QWidget>

#include <memory>

namespace qv::transcript {

class TranscriptWordsCell : public QWidget {
public:
    static constexpr int kInsetX = 20;
    static constexpr int kInsetY = 3;

    TranscriptWordsCell(AppDelegate& ad, Dispatcher& main);

    QVTextView* textView() const { return textView_; }
    QLabel* preFirstWordIndicator() const { return indicator_; }
    const std::shared_ptr<QVSpeakerRange>& speakerRange() const { return range_; }
    void setSpeakerRange(std::shared_ptr<QVSpeakerRange> range) { range_ = std::move(range); }
    // Applies the display text size to the text view and the indicator.
    void applyTextSize(const AppDelegate& ad);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QVTextView* textView_;
    QLabel* indicator_;
    std::shared_ptr<QVSpeakerRange> range_;
};

}  // namespace qv::transcript
