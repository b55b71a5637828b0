// Giving speaker ranges their speakers: the header menu's choices, the speaker change and the
// new speaker with their undo, the merging of neighbouring ranges of one speaker, and giving
// every range the first range's speaker.
#pragma once

#include "model/QVSpeaker.h"
#include "model/QVSpeakerRange.h"
#include "model/QVWord.h"
#include "speakers/SpeakerRanges.h"

#include <memory>

namespace qv::speakers {

class SpeakersController;

class SpeakerAssignment {
public:
    explicit SpeakerAssignment(SpeakersController& controller) : c_(controller) {}

    // Carries out a menu choice on a later turn (0.05 s later when an inline edit had to be
    // finished first). `changeType` is one of SpeakerChangeType.
    void changeSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range, const std::shared_ptr<QVSpeaker>& speaker,
                            int changeType, bool withDelay);
    // Gives `range` the speaker `speaker` ("Change Speaker", or "Add Speaker Range" when it
    // finishes a pending add); its own inverse, carrying the ranges consolidation merged and
    // the word copies of a pending add.
    void changeSpeaker(const std::shared_ptr<QVSpeaker>& speaker, const std::shared_ptr<QVSpeakerRange>& range,
                       const RangeList& restoreRanges, bool didAddSpeakerRange,
                       const std::shared_ptr<QVWord>& originalPreviousWord,
                       const std::shared_ptr<QVWord>& originalCurrentWord);
    void changeSpeakerToPreviousOnSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range);
    void changeSpeakerToNextOnSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range);
    // Gives `range` a new speaker "New Speaker" ("Add New Speaker" / "Add Speaker Range").
    void addNewSpeakerForRange(const std::shared_ptr<QVSpeakerRange>& range, bool didAddSpeakerRange,
                               const std::shared_ptr<QVWord>& originalPreviousWord,
                               const std::shared_ptr<QVWord>& originalCurrentWord);
    void deleteNewSpeakerForRange(const std::shared_ptr<QVSpeakerRange>& range,
                                  const std::shared_ptr<QVSpeaker>& originalSpeaker, bool didAddSpeakerRange,
                                  const std::shared_ptr<QVWord>& originalPreviousWord,
                                  const std::shared_ptr<QVWord>& originalCurrentWord);
    // Marks every range that follows a range of the same speaker deleted (ranges of the grey
    // speaker are never merged) and returns them.
    RangeList consolidateSpeakerRangesWithAnimation(bool animate);
    // Brings deleted ranges back among the live ones (unsorted), with their speakers.
    void restoreSpeakerRanges(const RangeList& ranges);
    // Moves a live range among the deleted ones, with its speaker's count and row height;
    // writes nothing.
    void takeOutSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range);
    // Takes live ranges out of the transcript: counts, flags, database, and the table's caches.
    void markSpeakerRangesDeleted(const RangeList& ranges);
    // After a confirmation, gives every range the first range's speaker and merges them. It
    // cannot be undone, so the undo history is cleared with it.
    void removeSpeakerRanges();

private:
    struct WordCopies {
        std::shared_ptr<QVWord> previous;
        std::shared_ptr<QVWord> current;
    };
    // Puts both words back from their copies and returns copies of what they held before.
    WordCopies restoreWordsFromCopies(const std::shared_ptr<QVWord>& previous, const std::shared_ptr<QVWord>& current);
    void rebuildHeaderRow(std::int64_t rangeIndex);

    SpeakersController& c_;
};

}  // namespace qv::speakers
