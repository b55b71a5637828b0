#include "speakers/SpeakerAssignment.h"

#include "model/AppDelegate.h"
#include "model/TimeUtilities.h"
#include "model/ViewServices.h"
#include "platform/foundation/LocalizedString.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/Uuid.h"
#include "platform/ui/Alert.h"
#include "speakers/SpeakerHost.h"
#include "speakers/SpeakerPalette.h"
#include "speakers/SpeakersController.h"

namespace qv::speakers {

void SpeakerAssignment::changeSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range,
                                           const std::shared_ptr<QVSpeaker>& speaker, int changeType, bool withDelay)
{
    if (!range || (changeType == kChangeChosenSpeaker && !speaker))
        return;
    c_.main().after(withDelay ? 0.05 : 0, [this, range, speaker, changeType] {
        AppDelegate& ad = c_.ad();
        const bool pending = ad.pendingNewSpeakerRange != nullptr;
        switch (changeType) {
        case kChangeNewSpeaker:
            addNewSpeakerForRange(range, pending, ad.pendingOriginalPreviousWord, ad.pendingOriginalCurrentWord);
            break;
        case kChangePreviousSpeaker:
            if (pending)
                c_.ranges().cancelAddNewSpeakerRange();
            else
                changeSpeakerToPreviousOnSpeakerRange(range);
            break;
        case kChangeNextSpeaker:
            changeSpeakerToNextOnSpeakerRange(range);
            break;
        case kChangeChosenSpeaker:
            if (speaker != range->speaker) {
                changeSpeaker(speaker, range, {}, pending, ad.pendingOriginalPreviousWord, ad.pendingOriginalCurrentWord);
                if (const auto index = ad.speakerRanges.indexOf(range)) {
                    const auto row = static_cast<std::int64_t>(*index) * 2;
                    if (row < c_.host().numberOfTranscriptRows()) {
                        if (SpeakerRangeHeaderCell* cell = c_.host().existingHeaderCell(row))
                            cell->setNeedsDisplay();
                    }
                }
            } else {
                c_.ranges().cancelAddNewSpeakerRange();
            }
            break;
        default:
            break;
        }
    });
}

void SpeakerAssignment::changeSpeakerToPreviousOnSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range)
{
    AppDelegate& ad = c_.ad();
    const auto index = ad.speakerRanges.indexOf(range);
    if (!index || *index < 1)
        return;
    changeSpeaker(ad.speakerRanges.at(*index - 1)->speaker, range, {}, ad.pendingNewSpeakerRange != nullptr,
                  ad.pendingOriginalPreviousWord, ad.pendingOriginalCurrentWord);
}

void SpeakerAssignment::changeSpeakerToNextOnSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range)
{
    AppDelegate& ad = c_.ad();
    const auto index = ad.speakerRanges.indexOf(range);
    if (!index || *index + 1 >= ad.speakerRanges.size())
        return;
    changeSpeaker(ad.speakerRanges.at(*index + 1)->speaker, range, {}, ad.pendingNewSpeakerRange != nullptr,
                  ad.pendingOriginalPreviousWord, ad.pendingOriginalCurrentWord);
}

SpeakerAssignment::WordCopies SpeakerAssignment::restoreWordsFromCopies(const std::shared_ptr<QVWord>& previous,
                                                                        const std::shared_ptr<QVWord>& current)
{
    WordCopies inverse{previous, current};
    if (previous) {
        if (const auto word = c_.wordWithUUID(previous->uuid, previous->start)) {
            inverse.previous = std::make_shared<QVWord>();
            inverse.previous->uuid = word->uuid;
            inverse.previous->start = word->start;
            inverse.previous->setName(word->name());
            word->setName(previous->name());
            c_.updateWord(word->uuid, {{"name", word->name().toStdString()}});
        }
    }
    if (current) {
        if (const auto word = c_.wordWithUUID(current->uuid, current->start)) {
            inverse.current = std::make_shared<QVWord>();
            inverse.current->uuid = word->uuid;
            inverse.current->start = word->start;
            inverse.current->setName(word->name());
            inverse.current->newParagraph = word->newParagraph;
            word->setName(current->name());
            word->newParagraph = current->newParagraph;
            c_.updateWord(word->uuid, {{"name", word->name().toStdString()}, {"new_paragraph", word->newParagraph}});
        }
    }
    return inverse;
}

void SpeakerAssignment::rebuildHeaderRow(std::int64_t rangeIndex)
{
    const std::int64_t row = rangeIndex * 2;
    if (row >= c_.host().numberOfTranscriptRows())
        return;
    if (SpeakerRangeHeaderCell* cell = c_.host().existingHeaderCell(row))
        c_.headerRows().buildSpeakerRangePopup(rangeIndex, cell, false);
}

void SpeakerAssignment::changeSpeaker(const std::shared_ptr<QVSpeaker>& speaker,
                                      const std::shared_ptr<QVSpeakerRange>& range, const RangeList& restoreRanges,
                                      bool didAddSpeakerRange, const std::shared_ptr<QVWord>& originalPreviousWord,
                                      const std::shared_ptr<QVWord>& originalCurrentWord)
{
    if (!speaker || !range || !range->speaker || range->speaker->uuid.isEmpty())
        return;
    AppDelegate& ad = c_.ad();
    UndoManager& undo = c_.undoManager();
    const bool replaying = c_.isUndoingOrRedoing();
    const std::shared_ptr<QVSpeaker> former = range->speaker;
    former->rangeCount -= 1;
    speaker->rangeCount += 1;

    WordCopies inverse{originalPreviousWord, originalCurrentWord};
    if (replaying) {
        inverse = restoreWordsFromCopies(originalPreviousWord, originalCurrentWord);
        if (speaker->deleted)
            c_.records().restoreSpeaker(speaker);
        if (!restoreRanges.empty()) {
            restoreSpeakerRanges(restoreRanges);
            c_.sortSpeakerRanges();
            std::optional<std::size_t> earliest;
            for (const auto& restored : restoreRanges) {
                const auto index = ad.speakerRanges.indexOf(restored);
                if (index && (!earliest || *index < *earliest))
                    earliest = index;
            }
            if (earliest && *earliest > 0)
                c_.dropRowHeight(ad.speakerRanges.at(*earliest - 1));
        }
    }

    range->speaker = speaker;
    c_.updateSpeakerRange(range->uuid, {{"speaker", speaker->uuid.toStdString()}});
    const RangeList merged = consolidateSpeakerRangesWithAnimation(true);

    undo.registerUndo([this, former, range, merged, didAddSpeakerRange, inverse] {
        changeSpeaker(former, range, merged, didAddSpeakerRange, inverse.previous, inverse.current);
    });
    if (!replaying) {
        if (didAddSpeakerRange) {
            undo.setActionName(localizedString("Add Speaker Range"));
            ad.pendingNewSpeakerRange = nullptr;
            ad.pendingOriginalPreviousWord = nullptr;
            ad.pendingOriginalCurrentWord = nullptr;
        } else {
            undo.setActionName(localizedString("Change Speaker"));
        }
    }

    if (replaying) {
        if (ViewServices* view = c_.view()) {
            view->reloadRowForWordStartTime(c_.playerMilliseconds());
            view->locateMediaFileToMilliseconds(range->start, false, false, {});
        }
    }
    if (!restoreRanges.empty()) {
        c_.dropCurrentTextView(
            "changeSpeaker:onSpeakerRange:restoreRanges:didAddSpeakerRange:originalPreviousWord:originalCurrentWord:");
        ad.currentSpeakerRangeIndex = -1;
        if (ViewServices* view = c_.view())
            view->reloadTranscriptRows();
    } else if (const auto index = ad.speakerRanges.indexOf(range)) {
        const auto i = static_cast<std::int64_t>(*index);
        if (i > 0)
            rebuildHeaderRow(i - 1);
        if (*index + 1 < ad.speakerRanges.size())
            rebuildHeaderRow(i + 1);
        if (replaying)
            rebuildHeaderRow(i);
    }
    if (!replaying)
        c_.refreshSpeakerRangeChangesAllowed();
    c_.touchUpdated();
}

void SpeakerAssignment::addNewSpeakerForRange(const std::shared_ptr<QVSpeakerRange>& range, bool didAddSpeakerRange,
                                              const std::shared_ptr<QVWord>& originalPreviousWord,
                                              const std::shared_ptr<QVWord>& originalCurrentWord)
{
    if (!range || !range->speaker)
        return;
    AppDelegate& ad = c_.ad();
    UndoManager& undo = c_.undoManager();
    const std::shared_ptr<QVSpeaker> former = range->speaker;

    auto speaker = std::make_shared<QVSpeaker>();
    speaker->color = c_.records().chooseRandomColorName();
    speaker->name = localizedString("New Speaker");
    speaker->rangeCount = 1;
    speaker->uuid = createUUID();
    ad.speakers.add(speaker);
    c_.panel().setPendingNewSpeaker(speaker);
    ad.speakersMetadataRef.child(speaker->uuid.toStdString())
        .setValue(DatabaseValue::object({{"color", speaker->color.toStdString()}, {"name", speaker->name.toStdString()}}),
                  c_.reportRefusal());

    former->rangeCount -= 1;
    range->speaker = speaker;
    c_.updateSpeakerRange(range->uuid, {{"speaker", speaker->uuid.toStdString()}});

    undo.registerUndo([this, range, former, didAddSpeakerRange, originalPreviousWord, originalCurrentWord] {
        deleteNewSpeakerForRange(range, former, didAddSpeakerRange, originalPreviousWord, originalCurrentWord);
    });
    if (didAddSpeakerRange) {
        undo.setActionName(localizedString("Add Speaker Range"));
        if (!c_.isUndoingOrRedoing()) {
            ad.pendingNewSpeakerRange = nullptr;
            ad.pendingOriginalPreviousWord = nullptr;
            ad.pendingOriginalCurrentWord = nullptr;
        }
    } else {
        undo.setActionName(localizedString("Add New Speaker"));
    }
    c_.records().consolidateSpeakersWithAnimation(true);
    c_.refreshBackgroundForSpeakerRange(range);
    c_.main().async([this] { c_.headerRows().reloadRowsAllSpeakerNames(); });
    c_.touchUpdated();
}

void SpeakerAssignment::deleteNewSpeakerForRange(const std::shared_ptr<QVSpeakerRange>& range,
                                                 const std::shared_ptr<QVSpeaker>& originalSpeaker,
                                                 bool didAddSpeakerRange,
                                                 const std::shared_ptr<QVWord>& originalPreviousWord,
                                                 const std::shared_ptr<QVWord>& originalCurrentWord)
{
    if (!range || !range->speaker || !originalSpeaker)
        return;
    const std::shared_ptr<QVSpeaker> added = range->speaker;
    added->rangeCount -= 1;
    if (originalSpeaker->deleted)
        c_.records().restoreSpeaker(originalSpeaker);
    originalSpeaker->rangeCount += 1;
    range->speaker = originalSpeaker;
    c_.updateSpeakerRange(range->uuid, {{"speaker", originalSpeaker->uuid.toStdString()}});

    const WordCopies inverse = restoreWordsFromCopies(originalPreviousWord, originalCurrentWord);
    const RangeList merged = consolidateSpeakerRangesWithAnimation(true);
    c_.undoManager().registerUndo([this, added, range, merged, didAddSpeakerRange, inverse] {
        changeSpeaker(added, range, merged, didAddSpeakerRange, inverse.previous, inverse.current);
    });
    c_.main().async([this] { c_.headerRows().reloadRowsAllSpeakerNames(); });
    c_.touchUpdated();
}

void SpeakerAssignment::restoreSpeakerRanges(const RangeList& ranges)
{
    AppDelegate& ad = c_.ad();
    for (const auto& range : ranges) {
        if (range->speaker)
            range->speaker->rangeCount += 1;
        range->deleted = false;
        ad.speakerRangesDeleted.remove(range);
        ad.speakerRanges.add(range);
        c_.updateSpeakerRange(range->uuid, {{"deleted", false}});
        if (range->speaker && range->speaker->deleted)
            c_.records().restoreSpeaker(range->speaker);
    }
}

void SpeakerAssignment::takeOutSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range)
{
    AppDelegate& ad = c_.ad();
    // Its words go back to the range before it, whose row grows.
    if (const auto index = ad.speakerRanges.indexOf(range); index && *index > 0)
        c_.dropRowHeight(ad.speakerRanges.at(*index - 1));
    if (range->speaker)
        range->speaker->rangeCount -= 1;
    range->deleted = true;
    range->textView = nullptr;
    ad.speakerRanges.remove(range);
    ad.speakerRangesDeleted.add(range);
    c_.dropRowHeight(range);
}

void SpeakerAssignment::markSpeakerRangesDeleted(const RangeList& ranges)
{
    AppDelegate& ad = c_.ad();
    for (const auto& range : ranges) {
        takeOutSpeakerRange(range);
        c_.updateSpeakerRange(range->uuid, {{"deleted", true}});
    }
    c_.sortSpeakerRanges();
    c_.dropCurrentTextView("consolidateSpeakerRangesWithAnimation:");
    ad.currentSpeakerRangeIndex = -1;
    ad.currentWordStartTime = -1;
    ad.currentWordEndTime = -1;
    if (ViewServices* view = c_.view())
        view->reloadTranscriptRows();
}

RangeList SpeakerAssignment::consolidateSpeakerRangesWithAnimation(bool animate)
{
    AppDelegate& ad = c_.ad();
    c_.sortSpeakerRanges();
    RangeList merged;
    std::shared_ptr<QVSpeakerRange> previous;
    for (const auto& range : ad.speakerRanges) {
        if (!previous || (range->speaker && range->speaker->color == kColorNameGray)) {
            previous = range;
        } else if (range->speaker == previous->speaker) {
            merged.push_back(range);
            c_.dropRowHeight(previous);
        } else {
            previous = range;
        }
    }
    if (!merged.empty()) {
        markSpeakerRangesDeleted(merged);
        c_.touchUpdated();
    }
    c_.main().async([this, animate] { c_.records().consolidateSpeakersWithAnimation(animate); });
    c_.host().resetFocus();
    return merged;
}

void SpeakerAssignment::removeSpeakerRanges()
{
    if (c_.refusedWhileViewingOnly())
        return;
    Alert alert;
    alert.style = AlertStyle::Warning;
    alert.buttons = {localizedString("Remove"), localizedString("Cancel")};
    alert.messageText = localizedString("Are you sure you want to remove all speaker ranges on this file?");
    alert.informativeText = localizedString("You cannot undo this action.");
    c_.alerts().beginSheet(alert, [this](int returnCode) {
        // The edit right may have gone to another computer while the sheet was open.
        if (returnCode != kAlertFirstButtonReturn || c_.refusedWhileViewingOnly())
            return;
        AppDelegate& ad = c_.ad();
        const auto first = ad.speakerRanges.first();
        if (!first || !first->speaker)
            return;
        const auto speaker = first->speaker;
        for (std::size_t i = 1; i < ad.speakerRanges.size(); ++i) {
            const auto range = ad.speakerRanges.at(i);
            if (range->speaker)
                range->speaker->rangeCount -= 1;
            speaker->rangeCount += 1;
            range->speaker = speaker;
            c_.updateSpeakerRange(range->uuid, {{"speaker", speaker->uuid.toStdString()}});
        }
        // Older steps would act on ranges this merge deletes.
        c_.undoManager().removeAllActions();
        c_.touchUpdated();
        c_.main().async([this] { c_.assignment().consolidateSpeakerRangesWithAnimation(false); });
    });
}

}  // namespace qv::speakers
