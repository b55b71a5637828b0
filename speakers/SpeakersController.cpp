#include "model/EditingTrace.h"
#include "speakers/SpeakersController.h"

#include "model/AppDelegate.h"
#include "model/ModelServices.h"
#include "model/TimeUtilities.h"
#include "platform/foundation/LocalizedString.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UndoManager.h"
#include "platform/ui/Alert.h"
#include "speakers/SpeakerHost.h"
#include "speakers/SpeakerPalette.h"

#include <algorithm>
#include <utility>

namespace qv::speakers {

SpeakersController::SpeakersController(AppDelegate& ad, Dispatcher& main, AlertPresenter& alerts, SpeakerHost& host)
    : ad_(ad), main_(main), alerts_(alerts), host_(host)
{
    if (ad_.speakerColorPalette.isEmpty()) {
        ad_.speakerColorPalette = makeSpeakerColorPalette();
        ad_.speakerColorUnknown = makeSpeakerColorUnknown();
    }
}

void SpeakersController::setRangeButtonsObserver(std::function<void(const SpeakerRangeButtonsHidden&)> observer)
{
    buttonsObserver_ = std::move(observer);
    if (buttonsObserver_)
        buttonsObserver_(buttonsHidden_);
}

void SpeakersController::refreshBackgroundForSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range)
{
    const auto index = ad_.speakerRanges.indexOf(range);
    if (!index)
        return;
    if (SpeakerRangeHeaderCell* cell = host_.existingHeaderCell(static_cast<std::int64_t>(*index) * 2))
        cell->setNeedsDisplay();
}

std::int64_t SpeakersController::getEndTimeForSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range,
                                                           const QVOrderedSet<QVSpeakerRange>& ranges)
{
    return SpeakerRanges::getEndTimeForSpeakerRange(range, ranges);
}

void SpeakersController::addSpeakerRangeAutoSelect(bool autoSelect)
{
    ranges_.addSpeakerRangeAutoSelect(autoSelect);
}

void SpeakersController::changeSpeakerRangeStartToCurrentWord()
{
    ranges_.changeSpeakerRangeStartToCurrentWord();
}

void SpeakersController::changeNextSpeakerRangeStartToCurrentWord()
{
    ranges_.changeNextSpeakerRangeStartToCurrentWord();
}

void SpeakersController::showSpeakerMenuForCurrentRange()
{
    headerRows_.showSpeakerMenuForCurrentRange();
}

void SpeakersController::refreshSpeakerRangeChangesAllowed()
{
    buttonsHidden_ = speakerRangeButtonsHidden(ad_, editing());
    if (buttonsObserver_)
        buttonsObserver_(buttonsHidden_);
}

void SpeakersController::consolidateSpeakersWithAnimation(bool animate)
{
    records_.consolidateSpeakersWithAnimation(animate);
}

void SpeakersController::restoreSpeaker(const std::shared_ptr<QVSpeaker>& speaker)
{
    records_.restoreSpeaker(speaker);
}

QColor SpeakersController::colorForColorName(const QString& name)
{
    return records_.colorForColorName(name);
}

void SpeakersController::buildSpeakersList()
{
    records_.noteSpeakersWithoutRanges();
    panel_.buildSpeakersList();
}

void SpeakersController::refreshSpeakersWithAnimation()
{
    // Called from outside the subsystem, as when the service brings changes: a speaker that came
    // without a range is not this computer's to clean up.
    records_.noteArrivedSpeakersWithoutRanges(panel_.speakersList());
    panel_.refreshSpeakersWithAnimation();
}

void SpeakersController::allowEditing(bool allow)
{
    panel_.allowEditing(allow);
}

std::vector<std::shared_ptr<QVSpeaker>> SpeakersController::speakersList()
{
    return panel_.speakersList();
}

UndoManager& SpeakersController::undoManager()
{
    return *ad_.undoManager;
}

bool SpeakersController::isUndoingOrRedoing()
{
    return ad_.undoManager->isUndoing() || ad_.undoManager->isRedoing();
}

EditingServices* SpeakersController::editing()
{
    return ad_.editingServices;
}

ViewServices* SpeakersController::view()
{
    return ad_.viewServices;
}

bool SpeakersController::refusedWhileViewingOnly()
{
    if (!ad_.isViewingOnly)
        return false;
    alerts_.beep();
    return true;
}

void SpeakersController::touchUpdated()
{
    if (ad_.modelServices)
        ad_.modelServices->updateCurrentFileTimestamp();
}

void SpeakersController::dropCurrentTextView(const char* selector)
{
    ad_.currentTextView = nullptr;
    qv::appendToEditingTrace(ad_.debugCharacterEditing,
                             QStringLiteral("*****\nin %1 self.currentTextView assigned to nil\n")
                                 .arg(QLatin1String(selector)));
}

void SpeakersController::dropRowHeight(const std::shared_ptr<QVSpeakerRange>& range)
{
    if (range)
        ad_.rowHeights.remove(range->uuid);
}

void SpeakersController::sortSpeakerRanges()
{
    const auto byStart = [](const QVSpeakerRange& a, const QVSpeakerRange& b) { return a.start < b.start; };
    const auto& items = ad_.speakerRanges.items();
    // Sorting drops the set's position index; most calls find the ranges in order already.
    if (!std::is_sorted(items.begin(), items.end(), [&](const auto& a, const auto& b) { return byStart(*a, *b); }))
        ad_.speakerRanges.sort(byStart);
}

DatabaseCompletion SpeakersController::reportRefusal()
{
    return [this, alive = std::weak_ptr<bool>(alive_)](const DatabaseResult& error) {
        if (!error || !alive.lock())
            return;
        logError("speaker change refused by the database: " + error->message);
        if (std::exchange(refusalReported_, true))
            return;
        main_.async([this, alive] {
            if (alive.lock())
                refusalReported_ = false;
        });
        Alert alert;
        alert.style = AlertStyle::Critical;
        alert.messageText = localizedString("Speaker Editing Error");
        alert.informativeText = localizedString("A change could not be saved. Reopen the transcript to see what is stored.");
        alerts_.beginSheet(alert, {});
    };
}

void SpeakersController::updateWord(const QString& uuid, const DatabaseUpdate& values)
{
    ad_.wordsMetadataRef.child(uuid.toStdString()).updateChildValues(values, reportRefusal());
}

void SpeakersController::updateSpeakerRange(const QString& uuid, const DatabaseUpdate& values)
{
    ad_.speakerRangesMetadataRef.child(uuid.toStdString()).updateChildValues(values, reportRefusal());
}

void SpeakersController::updateSpeaker(const QString& uuid, const DatabaseUpdate& values)
{
    ad_.speakersMetadataRef.child(uuid.toStdString()).updateChildValues(values, reportRefusal());
}

std::shared_ptr<QVWord> SpeakersController::wordWithUUID(const QString& uuid, std::int64_t start)
{
    // The words are in time order: the word is found among those starting at `start`, unless it
    // moved since.
    const auto& words = ad_.words.items();
    auto it = std::lower_bound(words.begin(), words.end(), start,
                               [](const std::shared_ptr<QVWord>& word, std::int64_t at) { return word->start < at; });
    for (; it != words.end() && (*it)->start == start; ++it) {
        if ((*it)->uuid == uuid)
            return *it;
    }
    for (const auto& word : ad_.words) {
        if (word->uuid == uuid)
            return word;
    }
    return nullptr;
}

std::int64_t SpeakersController::playerMilliseconds()
{
    if (!ad_.modelServices || !ad_.modelServices->hasPlayer())
        return 0;
    return convertCMTimeToMilliseconds(ad_.modelServices->playerCurrentTime());
}

}  // namespace qv::speakers
