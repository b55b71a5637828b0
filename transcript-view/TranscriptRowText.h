// Builds the text of a speaker range's words row (words joined by blanks and paragraph breaks,
// each word's character range, dimmed unheard words, favourite backgrounds) and reshapes the
// background rectangles of highlighted ranges so that they sit on the text lines.
#pragma once

#include "app/AppDelegate.h"
#include "transcript-view/QVAttributedText.h"

#include <QRectF>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace qv::transcript {

// The favourite background colour; widened highlights are recognised by it.
QColor favoriteBackgroundColor();

// The words of `range`: those of `ad.words` (or of `candidates`, a part of them in the same
// order) with range.start <= start < `end`. Sets each word's characterStart, characterEnd
// (inclusive) and speakerRange; none when the range has no words.
std::optional<QVAttributedText> buildRowText(AppDelegate& ad, const std::shared_ptr<QVSpeakerRange>& range,
                                             std::int64_t end,
                                             const std::vector<std::shared_ptr<QVWord>>* candidates = nullptr);

// Highlight rectangles as the row draws them. `lineHeight` is the grid line, `limit` the height
// of the row's text view less 30 (rectangles below it lie on the last line), `lineCount` the
// number of laid-out lines. Rectangles taller than a line are split into strips of
// `stripHeight` (20 on screen, 18 in print) and the original collapses to no height.
std::vector<QRectF> reshapeHighlightRects(const std::vector<QRectF>& rects, bool favorite, double lineHeight,
                                          double limit, int lineCount, double stripHeight = 20);

}  // namespace qv::transcript
