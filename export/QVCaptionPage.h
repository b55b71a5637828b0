#pragma once
// One caption as the SubRip, Timed Text and Avid DS writers print it: two lines and a time span.
#include <QString>
#include <cstdint>

namespace qv {

struct QVCaptionPage {
    int64_t start = 0;  // display start, ms
    int64_t end = 0;    // display end, ms
    QString line1;      // may begin with a speaker label
    QString line2;      // empty for a one-line page
    int64_t transcriptWordsCount = 0;
    int64_t wpm = 0;    // reading rate in words per minute, 0 until computed

    // Pieces of line1 plus pieces of line2 split at single spaces; an empty line counts one,
    // and a speaker label's pieces count as words. The reading rates use this count.
    int64_t wordCount() const;
};

// Number of pieces of a text split at every single space (an empty text is one piece).
int64_t countSpacePieces(const QString& text);

}  // namespace qv
