// The cell of a speaker range's words row: the row's text view in the transcript's 480-point
// column centred in the row (under the speaker header's tab), 3 points from the top, and the ">"
// mark that shows, in the first words row only, that the playhead lies before the first word.
#pragma once

#include "transcript-view/QVTextView.h"

#include <QLabel>
#include <QWidget>

#include <memory>
#include <optional>

namespace qv::transcript {

class TranscriptWordsCell : public QWidget {
public:
    // The words sit this far inside the column on either side, in points, so that they wrap at
    // the width every row height is measured at.
    static constexpr int kTextPadding = 5;
    // Width the words wrap at: the column less the padding on both sides (470).
    static constexpr int kTextWidth = 480 - 2 * kTextPadding;
    static constexpr int kInsetY = 3;
    // The ">" mark starts this far left of the column, in points.
    static constexpr int kIndicatorOffset = 8;

    TranscriptWordsCell(AppDelegate& ad, Dispatcher& main);

    QVTextView* textView() const { return textView_; }
    QLabel* preFirstWordIndicator() const { return indicator_; }
    const std::shared_ptr<QVSpeakerRange>& speakerRange() const { return range_; }
    void setSpeakerRange(std::shared_ptr<QVSpeakerRange> range) { range_ = std::move(range); }
    // Applies the display text size to the text view and the indicator.
    void applyTextSize(const AppDelegate& ad);
    // The font and lines of the words at the display text size: every line one
    // `lineHeightDisplay` high, so that a row's text fills whole lines of the row grid. The rows
    // are measured with a view given this same look.
    static void applyTextLook(qv::TextView& view, const AppDelegate& ad);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // The text view and the mark, placed on the column of the cell's present width.
    void placeSubviews();
    // What applyTextSize last applied.
    struct AppliedLook {
        double textSize = 0;
        double lineHeight = 0;
        QColor text;
        QColor editing;
        QColor brand;
        bool operator==(const AppliedLook&) const = default;
    };
    std::optional<AppliedLook> applied_;
    QVTextView* textView_;
    QLabel* indicator_;
    std::shared_ptr<QVSpeakerRange> range_;
};

}  // namespace qv::transcript
