// Which of the three range buttons beside the current word apply: move the current range's
// start here, add a range here, move the next range's start here.
#pragma once

class AppDelegate;
class EditingServices;

namespace qv::speakers {

struct SpeakerRangeButtonsHidden {
    bool current = true;
    bool add = true;
    bool next = true;
    bool operator==(const SpeakerRangeButtonsHidden&) const = default;
};

// All hidden while view-only, before the first word, with several words selected, during an
// inline edit, without a current word, at the transcript's first word, or at a word that
// already starts a range; otherwise "current" hides in the first range and "next" in the last.
SpeakerRangeButtonsHidden speakerRangeButtonsHidden(const AppDelegate& ad, EditingServices* editing);

}  // namespace qv::speakers
