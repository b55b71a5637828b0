// The speaker pop-ups of the transcript's header rows: their contents, their rebuilds after
// speaker changes, opening the current range's menu from the keyboard, a choice from a menu,
// and the cancel of a pending add when its menu closes without one.
#pragma once

#include "model/QVSpeaker.h"
#include "speakers/SpeakerMenu.h"

#include <cstdint>
#include <memory>

namespace qv::speakers {

class SpeakersController;
class SpeakerRangeHeaderCell;

class SpeakerHeaderRows {
public:
    explicit SpeakerHeaderRows(SpeakersController& controller) : c_(controller) {}

    // The menu of range `rangeIndex`: "New Speaker", the neighbours' speakers unless grey, and
    // every speaker of the panel's list with the range's own one selected. Empty for an index
    // past the last range.
    SpeakerMenu menuForRange(std::int64_t rangeIndex);
    // On a later turn, gives `cell` the menu of range `rangeIndex` and redraws it; with
    // `showMenu` opens it one turn after that.
    void buildSpeakerRangePopup(std::int64_t rangeIndex, SpeakerRangeHeaderCell* cell, bool showMenu);
    void reloadRowsAllSpeakerNames();
    void reloadRowsSpeakerNamesForSpeaker(const std::shared_ptr<QVSpeaker>& speaker);
    void showSpeakerMenuForCurrentRange();

    // The user picked `item` in the menu of `cell`.
    void changedSpeakerPopup(SpeakerRangeHeaderCell* cell, const SpeakerMenuItem& item);
    // A header row's menu closed; a pending add still waiting 0.2 s later is cancelled.
    void menuDidClose();

private:
    SpeakersController& c_;
};

}  // namespace qv::speakers
