// Speaker records of the open transcript: palette colours in use, the random colour of a new
// speaker, renaming and recolouring with undo, numbered names, deletion, restoration and the
// clean-up of speakers left without ranges.
#pragma once

#include "model/QVSpeaker.h"

#include <QColor>
#include <QString>

#include <memory>
#include <vector>

namespace qv::speakers {

class SpeakersController;

class SpeakerRecords {
public:
    explicit SpeakerRecords(SpeakersController& controller) : c_(controller) {}

    // A palette name no live speaker has (any once all are in use), recorded as used.
    QString chooseRandomColorName();
    // Forgets `colorName` as used unless a live speaker still has it.
    void decrementUseOfSpeakerColor(const QString& colorName);
    // The palette colour, the unknown grey for "gray", an invalid colour for any other name.
    QColor colorForColorName(const QString& colorName) const;
    // Undoable ("Speaker Color"); nothing when the colour is already that one.
    void changeSpeakerToColorName(const std::shared_ptr<QVSpeaker>& speaker, const QString& colorName);
    // Undoable ("Speaker Name"). A blank name, or one another live speaker has (compared
    // exactly), is refused and the old name shown again; an undo or redo is never refused, as
    // it gives back a name the speaker had.
    void editSpeakerNameFinish(const std::shared_ptr<QVSpeaker>& speaker, const QString& name);
    // Rebuilds the lists after an abandoned rename.
    void editSpeakerNameCancel();
    // "Speaker 1", "Speaker 2", ...: the first that no live speaker has.
    QString generateNewSpeakerName() const;
    void deleteSpeaker(const std::shared_ptr<QVSpeaker>& speaker);
    void restoreSpeaker(const std::shared_ptr<QVSpeaker>& speaker);
    // Deletes every live speaker that lost its last range; refreshes the panel (animated or
    // not). Speakers noted as having no range are kept, whatever ranges they get and lose
    // later: an undo then finds them as they were.
    void consolidateSpeakersWithAnimation(bool animate);
    // Notes the live speakers that have no range now (as a transcript arrives with them): the
    // clean-up leaves them alone, so that no command takes away a speaker it did not touch.
    void noteSpeakersWithoutRanges();
    // Adds to those the live speakers without a range that are not among `known` (the speakers
    // this computer listed so far): speakers another computer or the service brought while the
    // transcript is open.
    void noteArrivedSpeakersWithoutRanges(const std::vector<std::shared_ptr<QVSpeaker>>& known);

private:
    bool liveSpeakerHasName(const QString& name) const;
    bool isNotedWithoutRanges(const std::shared_ptr<QVSpeaker>& speaker) const;

    SpeakersController& c_;
    std::vector<std::weak_ptr<QVSpeaker>> withoutRanges_;
};

}  // namespace qv::speakers
