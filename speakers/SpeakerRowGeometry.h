// Geometry of a speaker range's header row: the grey band behind it, the speaker's tab with
// its pop-up arrows, and the rule in the speaker's colour. Lengths are points; y is measured
// up from the row's lower edge, along which the rule runs (painters mirror it).
#pragma once

#include <QPainterPath>
#include <QRectF>

namespace qv::speakers {

// Width of the transcript's text column, centred in every row, in points.
inline constexpr double kTranscriptColumnWidth = 480;

// Left edge of the text column in a row `width` wide: floor(width / 2) - 240, halved and
// floored in single precision. The band, the header's tab and the words all start here.
double transcriptColumnLeft(double width);

// The 480-point band centred on the row: from the column's left edge, as tall as the row.
QRectF speakerRangeBandRect(const QRectF& bounds);

struct SpeakerTabGeometry {
    double left = 0;   // the tab's left edge: the text column's left edge
    double right = 0;  // left + name width + 23
    double height = 0; // the display line height
    QRectF arrows;     // where the pop-up arrows go
    QRectF rule;       // the coloured rule under the row's text
};

// For a row `cellWidth` wide whose speaker name measures `nameWidth`, at text size
// `textSize` with line height `lineHeight`.
SpeakerTabGeometry speakerTabGeometry(double cellWidth, double nameWidth, double textSize, double lineHeight);

// The tab's outline: rounded (radius 10) on its left corners and its upper right one, square
// where it meets the rule.
QPainterPath speakerTabPath(const SpeakerTabGeometry& tab);

// The speakers panel's name tag in `bounds`: rounded (radius 10) on its left corners.
QPainterPath speakerNameTagPath(const QRectF& bounds);

}  // namespace qv::speakers
