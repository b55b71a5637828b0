// The speaker pop-up of a range's header row as data: its items in order, their tags and the
// item shown as selected. The header cell draws it; choosing an item hands it back.
#pragma once

#include "model/QVSpeaker.h"

#include <QString>

#include <memory>
#include <vector>

namespace qv::speakers {

// Item tags: what a choice asks for.
enum SpeakerMenuTag : int {
    kTagNewSpeaker = 0,
    kTagPreviousSpeaker = 1,
    kTagNextSpeaker = 2,
    kTagSpeaker = -1,
};

// Change types of a choice: new, previous, next speaker, or the item's own speaker.
enum SpeakerChangeType : int {
    kChangeNewSpeaker = 1,
    kChangePreviousSpeaker = 2,
    kChangeNextSpeaker = 3,
    kChangeChosenSpeaker = -1,
};

struct SpeakerMenuItem {
    QString title;
    int tag = kTagSpeaker;
    std::shared_ptr<QVSpeaker> speaker;  // the represented speaker of a list item
    bool separator = false;
};

struct SpeakerMenu {
    std::vector<SpeakerMenuItem> items;
    // Index of the item of the range's own speaker; -1 when the list does not hold it.
    int selectedIndex = -1;

    // The selected item's title; empty without one.
    QString selectedTitle() const;
    // Whether `other` reads the same: the same titles and separators in order, the same one
    // selected (the speakers the items stand for may differ).
    bool readsAs(const SpeakerMenu& other) const;
};

struct SpeakerChoice {
    int changeType = kChangeChosenSpeaker;
    std::shared_ptr<QVSpeaker> speaker;  // only for a chosen speaker
};

// The change a chosen item asks for: tag 0 new, 1 previous, 2 next, -1 its speaker; any other
// tag asks for nothing (a chosen-speaker change without a speaker).
SpeakerChoice choiceForItem(const SpeakerMenuItem& item);

}  // namespace qv::speakers
