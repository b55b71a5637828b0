#pragma once
// Texts of the caption formats, made from timed caption pages.
#include "export/QVCaptionPage.h"

#include <functional>
#include <optional>
#include <vector>

namespace qv {

// Every writer shows a page from its start, or zero when that lies before zero, to its end, or
// its start when the end lies before that; caption lines go through captionLineText.

// Timecode text of a page time in ms (the model's timecode formatting with the export's rate).
using TimecodeText = std::function<QString(int64_t ms)>;

// SubRip: numbered cues, "HH:MM:SS,mmm --> HH:MM:SS,mmm", one or two text lines, a blank line
// between cues and one final line break. With an offset (the source's start timecode in ms)
// the pages themselves are shifted by it first.
QString subRipText(std::vector<QVCaptionPage>& pages, std::optional<int64_t> timecodeOffsetMs);

// iTunes Timed Text: frame rate parameters of the document.
struct TimedTextTiming {
    bool dropFrame = false;
    unsigned frameRate = 0;            // whole frames per second, rounded half away from zero
    bool ntscMultiplier = false;       // frame duration value 1001: "1000 1001", else "1 1"
};

// The TTML document, UTF-8, standalone, pretty printed with compact empty elements.
QString timedTextDocument(const std::vector<QVCaptionPage>& pages, const QString& language,
                          const TimedTextTiming& timing, const TimecodeText& timecode);

// Avid DS: header naming where the file came from, begin and end markers, one timecode line
// ("in out") and one or two text lines per page. With no pages only the end marker remains.
QString avidDSText(const std::vector<QVCaptionPage>& pages, const TimecodeText& timecode);

// The product's web address in the Avid DS header.
inline const QString kProductWebAddress = QStringLiteral("quorvantelle.com");

}  // namespace qv
