// What a committed word edit hands to its undo, and the undo to its redo: the words to mark
// deleted, the words to bring back, the speaker-range starts to put back, and copies of the
// edited words' values to restore. It lives only inside the undo manager's step.
#pragma once

#include "model/QVOrderedSet.h"
#include "model/QVSpeakerRange.h"
#include "model/QVWord.h"

#include <cstdint>
#include <memory>
#include <vector>

struct EditRecord {
    struct RangeStart {
        std::shared_ptr<QVSpeakerRange> speakerRange;
        std::int64_t originalStartTime = 0;
    };

    std::vector<std::shared_ptr<QVWord>> addedWords;
    std::vector<std::shared_ptr<QVWord>> deletedWords;
    // Index into `originalWordsAsCopy` of the word whose start the player moves to.
    std::int64_t firstSelectedWordOffset = 0;
    std::vector<RangeStart> modifiedSpeakerRanges;
    // Copies of the edited words before the change, matched to live words by uuid.
    QVOrderedSet<QVWord> originalWordsAsCopy;
};
