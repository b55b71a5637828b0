// One hit of a transcript search: a window of about five words around the found words, with
// where each word lies in the window's text and which of them were found (shown bold).
#pragma once

#include "model/QVSpeaker.h"
#include "model/QVWord.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

struct QVSearchRange {
    qsizetype location = 0;
    qsizetype length = 0;
    bool operator==(const QVSearchRange&) const = default;
};

class QVSearchResult {
public:
    // The window's words joined by single blanks.
    QString abstract;
    // Where the found words lie in `abstract` (UTF-16 units); they are shown bold.
    std::vector<QVSearchRange> boldRanges;
    // `start` of the window's first word and `end` of its last, ms.
    std::int64_t startTime = 0;
    std::int64_t endTime = 0;
    // Positions in the transcript's words of the window's first and last word (inclusive).
    std::int64_t startWordIndex = 0;
    std::int64_t endWordIndex = 0;
    // The window's words in transcript order: the transcript's own records.
    std::vector<std::shared_ptr<QVWord>> words;
    // The window's words the search text matched; a word may stand here twice.
    std::vector<std::shared_ptr<QVWord>> foundWords;
    // One per entry of `words`: where that word's text lies in `abstract`.
    std::vector<QVSearchRange> wordRanges;
    // The speaker shown beside the result; none when none is found.
    std::shared_ptr<QVSpeaker> speaker;

    bool hasFoundWord(const QVWord* word) const
    {
        for (const auto& found : foundWords)
            if (found.get() == word)
                return true;
        return false;
    }
};
