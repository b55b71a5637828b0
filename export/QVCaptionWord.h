#pragma once
// One transcript word as the caption-page builder sees it.
#include <QString>
#include <cstdint>

namespace qv {

struct QVCaptionWord {
    QString name;                 // text as shown, punctuation included
    int64_t start = 0;            // ms
    int64_t end = 0;              // ms
    int64_t totalLength = 0;      // running character count of the fragment up to this word
    bool isStartWord = false;     // a line may begin before it; it stays with the next word
    bool hasUppercaseFirstCharacter = false;
    int64_t groupWithPrevious = 0;  // directly preceding capitalised words in the fragment
    int64_t groupWithNext = 0;      // directly following capitalised words: never broken apart
};

}  // namespace qv
