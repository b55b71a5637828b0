// Speaker ranges of the open transcript: the end rule, adding a range at the current word
// (at once with the previous range's speaker, or pending until a speaker is picked), undo of an
// add, cancelling a pending add, and moving a range's start to the current word.
#pragma once

#include "model/QVOrderedSet.h"
#include "model/QVSpeakerRange.h"
#include "model/QVWord.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace qv::speakers {

class SpeakersController;

using RangeList = std::vector<std::shared_ptr<QVSpeakerRange>>;

// The characters that end a clause or sentence for the full stop added before a new range:
// , . ? ! ; : — '
bool endsInStopMark(const QString& name);

class SpeakerRanges {
public:
    explicit SpeakerRanges(SpeakersController& controller) : c_(controller) {}

    // The start of the range after `range` in `ranges`; INT64_MAX for the last range or one not
    // in the set.
    static std::int64_t getEndTimeForSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range,
                                                  const QVOrderedSet<QVSpeakerRange>& ranges);

    // The commands below change nothing on a view-only file (they beep).
    // Adds a range at the current word: with `autoSelect` and a range before, at once with that
    // range's speaker ("Add Speaker Range"); otherwise pending, with the present speaker, until
    // the new row's speaker menu picks one.
    void addSpeakerRangeAutoSelect(bool autoSelect);
    // Undo and redo of an immediate add; registers itself again.
    void undoAddSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range, const RangeList& restoreRanges,
                             const std::shared_ptr<QVWord>& originalPreviousWord,
                             const std::shared_ptr<QVWord>& originalCurrentWord);
    // Puts back what a pending add changed and removes the pending range; not undoable.
    void cancelAddNewSpeakerRange();

    void changeSpeakerRangeStartToCurrentWord();
    void changeNextSpeakerRangeStartToCurrentWord();
    // Moves `range` to start at `word` ("Speaker Range Start Time"). A fresh move passes no
    // lists; undo and redo pass the words whose names to set back.
    void changeSpeakerRangeStart(const std::shared_ptr<QVSpeakerRange>& range, const std::shared_ptr<QVWord>& word,
                                 const std::vector<std::shared_ptr<QVWord>>& changedWords,
                                 const std::vector<QString>& originalNames);

    // The range buttons: add (Option: take the previous range's speaker), move the current
    // range's start, move the next range's start.
    void buttonPressedAddSpeakerRange();
    void buttonPressedStartCurrentSpeakerRange();
    void buttonPressedStartNextSpeakerRange();

private:
    SpeakersController& c_;
};

}  // namespace qv::speakers
