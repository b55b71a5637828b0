// What the other subsystems call of the speakers subsystem: the end rule of speaker ranges, the
// range commands the keyboard reaches, speaker clean-up and the speakers panel. The speakers
// subsystem implements it; tests give a recording fake. Main thread only.
#pragma once

#include "model/QVOrderedSet.h"
#include "model/QVSpeaker.h"
#include "model/QVSpeakerRange.h"

#include <QColor>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class SpeakerServices {
public:
    virtual ~SpeakerServices() = default;

    // Start in ms of the range after `range` in `ranges`; INT64_MAX for the last range or one
    // not in the set.
    virtual std::int64_t getEndTimeForSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range,
                                                   const QVOrderedSet<QVSpeakerRange>& ranges) = 0;

    // Range commands.
    // Adds a range at the current word; with `autoSelect` it takes the previous range's speaker.
    virtual void addSpeakerRangeAutoSelect(bool autoSelect) = 0;
    virtual void changeSpeakerRangeStartToCurrentWord() = 0;
    virtual void changeNextSpeakerRangeStartToCurrentWord() = 0;
    virtual void showSpeakerMenuForCurrentRange() = 0;
    // Shows or hides the range buttons from the current word, selection, edit and view-only state.
    virtual void refreshSpeakerRangeChangesAllowed() = 0;

    // Speaker records.
    // Deletes every live speaker that lost its last range and refreshes the lists.
    virtual void consolidateSpeakersWithAnimation(bool animate) = 0;
    // Brings a deleted speaker back among the live ones.
    virtual void restoreSpeaker(const std::shared_ptr<QVSpeaker>& speaker) = 0;
    // The palette colour of that name; "gray" gives the unknown-speaker grey, any other name an
    // invalid colour.
    virtual QColor colorForColorName(const QString& name) = 0;

    // The speakers panel. Building the list as a transcript opens notes the speakers that have
    // no range then: the clean-up keeps them.
    virtual void buildSpeakersList() = 0;
    virtual void refreshSpeakersWithAnimation() = 0;
    // Makes the panel's name fields and colour buttons editable or not (off during an inline edit).
    virtual void allowEditing(bool allow) = 0;
    // The live speakers sorted by name.
    virtual std::vector<std::shared_ptr<QVSpeaker>> speakersList() = 0;
};
