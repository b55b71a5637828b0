#pragma once
// A run of words laid out together on caption lines, normally up to a punctuation mark.
#include "export/QVCaptionWord.h"

#include <vector>

namespace qv {

struct QVCaptionFragment {
    std::vector<QVCaptionWord> words;
    QString assembledWords;           // the words' texts joined by single spaces
    int64_t start = 0;                // ms, start of the first word
    int64_t end = 0;                  // ms, end of the last word (may be pushed for a minimum duration)
    int64_t length = 0;               // UTF-16 length of assembledWords
    bool startNewPage = false;        // after a long pause or at a new paragraph
    bool fillLinesToMaxChars = false; // fill lines instead of balancing (avoids an orphaned word)
};

}  // namespace qv
