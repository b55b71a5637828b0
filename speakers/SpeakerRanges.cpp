#include "speakers/SpeakerRanges.h"

#include "model/AppDelegate.h"
#include "model/EditingServices.h"
#include "model/StringPunctuation.h"
#include "model/TimeUtilities.h"
#include "model/ViewServices.h"
#include "platform/foundation/LocalizedString.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/Uuid.h"
#include "speakers/SpeakerHost.h"
#include "speakers/SpeakersController.h"

#include <algorithm>
#include <limits>

namespace qv::speakers {

namespace {

const QString kStopMarks = QStringLiteral(",.?!;:\u2014'");

// A bare copy that remembers a word's name (and, for the current word, its paragraph flag and
// range) before an add changed it, and where the word starts, to find it again quickly.
std::shared_ptr<QVWord> wordCopy(const QVWord& word, bool withParagraphAndRange)
{
    auto copy = std::make_shared<QVWord>();
    copy->uuid = word.uuid;
    copy->start = word.start;
    copy->setName(word.name());
    if (withParagraphAndRange) {
        copy->newParagraph = word.newParagraph;
        copy->speakerRange = word.speakerRange;
    }
    return copy;
}

}  // namespace

bool endsInStopMark(const QString& name)
{
    return !name.isEmpty() && containsCharacters(name.right(1), kStopMarks);
}

std::int64_t SpeakerRanges::getEndTimeForSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range,
                                                      const QVOrderedSet<QVSpeakerRange>& ranges)
{
    constexpr std::int64_t kOpenEnd = std::numeric_limits<std::int64_t>::max();
    const auto index = ranges.indexOf(range);
    if (!index || *index + 1 >= ranges.size())
        return kOpenEnd;
    return ranges.at(*index + 1)->start;
}

void SpeakerRanges::addSpeakerRangeAutoSelect(bool autoSelect)
{
    AppDelegate& ad = c_.ad();
    if (!ad.currentWord || ad.currentWordIndex < 1 || !ad.currentWord->speakerRange || c_.refusedWhileViewingOnly())
        return;
    if (EditingServices* editing = c_.editing())
        editing->finishEditingIfNecessary();
    const std::shared_ptr<QVWord> current = ad.currentWord;
    if (!current)
        return;
    const std::shared_ptr<QVSpeakerRange> range = current->speakerRange;
    const auto index = ad.speakerRanges.indexOf(range);
    if (!index)
        return;
    // A word that already starts a range would start two: one of them would keep no words.
    const bool startsARange = std::any_of(ad.speakerRanges.begin(), ad.speakerRanges.end(),
                                          [&](const auto& existing) { return existing->start == current->start; });
    if (startsARange)
        return;

    auto added = std::make_shared<QVSpeakerRange>();
    bool immediate = false;
    if (autoSelect && *index > 0) {
        const auto before = ad.speakerRanges.at(*index - 1);
        if (!before || !before->speaker)
            return;
        added->speaker = before->speaker;
        immediate = true;
    } else {
        added->speaker = range->speaker;
    }
    added->start = current->start;
    added->uuid = createUUID();
    if (!added->speaker || added->speaker->uuid.isEmpty())
        return;

    ad.speakerRangesMetadataRef.child(added->uuid.toStdString())
        .setValue(DatabaseValue::object({{"speaker", added->speaker->uuid.toStdString()}, {"start", added->start}}),
                  c_.reportRefusal());
    current->speakerRange = added;
    ad.speakerRanges.add(added);
    c_.sortSpeakerRanges();

    ad.pendingOriginalPreviousWord = nullptr;
    const auto previous = ad.words.at(static_cast<std::size_t>(ad.currentWordIndex - 1));
    if (previous && !previous->name().isEmpty() && !endsInStopMark(previous->name())) {
        ad.pendingOriginalPreviousWord = wordCopy(*previous, false);
        previous->setName(previous->name() + QStringLiteral("."));
        c_.updateWord(previous->uuid, {{"name", previous->name().toStdString()}});
    }
    ad.pendingOriginalCurrentWord = wordCopy(*current, true);
    ad.pendingOriginalCurrentWord->speakerRange = range;

    EditingServices* editing = c_.editing();
    QVOrderedSet<QVWord> currentOnly;
    currentOnly.add(current);
    if (editing && editing->canUppercaseFirstWords(currentOnly) && !current->name().isEmpty()) {
        const QString name = current->name();
        current->setName(name.left(1).toUpper() + name.mid(1));
        c_.updateWord(current->uuid, {{"name", current->name().toStdString()}});
    }
    if (current->newParagraph) {
        current->newParagraph = false;
        c_.updateWord(current->uuid, {{"new_paragraph", false}});
    }
    c_.dropRowHeight(range);
    c_.dropCurrentTextView("addSpeakerRangeAutoSelect:");

    c_.main().async([this, added, immediate] {
        AppDelegate& ad = c_.ad();
        if (ViewServices* view = c_.view())
            view->reloadTranscriptRows();
        c_.refreshSpeakerRangeChangesAllowed();
        added->speaker->rangeCount += 1;
        c_.panel().reloadTable();
        if (immediate) {
            // The copies go with the undo alone: left in the pending fields, a later cancel
            // would put back names from this finished add.
            const auto previousCopy = std::exchange(ad.pendingOriginalPreviousWord, nullptr);
            const auto currentCopy = std::exchange(ad.pendingOriginalCurrentWord, nullptr);
            const RangeList merged = c_.assignment().consolidateSpeakerRangesWithAnimation(true);
            c_.undoManager().registerUndo([this, added, merged, previousCopy, currentCopy] {
                undoAddSpeakerRange(added, merged, previousCopy, currentCopy);
            });
            c_.undoManager().setActionName(localizedString("Add Speaker Range"));
        } else {
            ad.pendingNewSpeakerRange = added;
        }
        c_.touchUpdated();
    });
}

void SpeakerRanges::undoAddSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range, const RangeList& restoreRanges,
                                        const std::shared_ptr<QVWord>& originalPreviousWord,
                                        const std::shared_ptr<QVWord>& originalCurrentWord)
{
    if (!range)
        return;
    AppDelegate& ad = c_.ad();
    const bool undoing = c_.undoManager().isUndoing();
    const bool redoing = c_.undoManager().isRedoing();
    if (undoing) {
        if (const auto index = ad.speakerRanges.indexOf(range); index && *index > 0)
            c_.dropRowHeight(ad.speakerRanges.at(*index - 1));
        c_.assignment().takeOutSpeakerRange(range);
        c_.assignment().restoreSpeakerRanges(restoreRanges);
    } else if (redoing) {
        if (range->speaker)
            range->speaker->rangeCount += 1;
        range->deleted = false;
        ad.speakerRangesDeleted.remove(range);
        ad.speakerRanges.add(range);
        if (!restoreRanges.empty())
            c_.assignment().markSpeakerRangesDeleted(restoreRanges);
    }

    if (originalPreviousWord) {
        const auto word = c_.wordWithUUID(originalPreviousWord->uuid, originalPreviousWord->start);
        if (word && word->name() != originalPreviousWord->name()) {
            const QString present = word->name();
            word->setName(originalPreviousWord->name());
            originalPreviousWord->setName(present);
            c_.updateWord(word->uuid, {{"name", word->name().toStdString()}});
        }
    }
    if (originalCurrentWord) {
        if (const auto word = c_.wordWithUUID(originalCurrentWord->uuid, originalCurrentWord->start)) {
            word->speakerRange = originalCurrentWord->speakerRange;
            if (word->name() != originalCurrentWord->name()) {
                const QString present = word->name();
                word->setName(originalCurrentWord->name());
                originalCurrentWord->setName(present);
                c_.updateWord(word->uuid, {{"name", word->name().toStdString()}});
            }
            if (originalCurrentWord->newParagraph) {
                word->newParagraph = true;
                originalCurrentWord->newParagraph = false;
                c_.updateWord(word->uuid, {{"new_paragraph", true}});
            }
        }
    }

    c_.updateSpeakerRange(range->uuid, {{"deleted", range->deleted}});
    c_.touchUpdated();
    c_.sortSpeakerRanges();
    if (redoing) {
        if (const auto index = ad.speakerRanges.indexOf(range); index && *index > 0)
            c_.dropRowHeight(ad.speakerRanges.at(*index - 1));
    }
    c_.dropCurrentTextView("undoAddSpeakerRange:restoreRanges:originalPreviousWord:originalCurrentWord:");
    if (ViewServices* view = c_.view()) {
        view->locateMediaFileToMilliseconds(range->start, false, false, [this] {
            c_.main().async([this] {
                if (ViewServices* view = c_.view())
                    view->reloadTranscriptRows();
                c_.records().consolidateSpeakersWithAnimation(true);
            });
        });
    }
    c_.undoManager().registerUndo([this, range, restoreRanges, originalPreviousWord, originalCurrentWord] {
        undoAddSpeakerRange(range, restoreRanges, originalPreviousWord, originalCurrentWord);
    });
    c_.undoManager().setActionName(localizedString("Add Speaker Range"));
}

void SpeakerRanges::cancelAddNewSpeakerRange()
{
    AppDelegate& ad = c_.ad();
    if (const auto copy = std::exchange(ad.pendingOriginalPreviousWord, nullptr)) {
        if (const auto word = c_.wordWithUUID(copy->uuid, copy->start)) {
            word->setName(copy->name());
            c_.updateWord(word->uuid, {{"name", word->name().toStdString()}});
            c_.touchUpdated();
        }
    }
    if (const auto copy = std::exchange(ad.pendingOriginalCurrentWord, nullptr)) {
        if (const auto word = c_.wordWithUUID(copy->uuid, copy->start)) {
            word->speakerRange = copy->speakerRange;
            if (word->name() != copy->name()) {
                word->setName(copy->name());
                c_.updateWord(word->uuid, {{"name", word->name().toStdString()}});
                c_.touchUpdated();
            }
            if (copy->newParagraph) {
                word->newParagraph = true;
                c_.updateWord(word->uuid, {{"new_paragraph", true}});
            }
        }
    }
    const auto pending = std::exchange(ad.pendingNewSpeakerRange, nullptr);
    // Consolidation merges the pending range back only when its speaker may be merged; a range
    // of the grey speaker would stay, so the cancelled range is removed here.
    if (pending && ad.speakerRanges.contains(pending)) {
        c_.assignment().markSpeakerRangesDeleted({pending});
        c_.touchUpdated();
    }
    c_.main().async([this] {
        c_.assignment().consolidateSpeakerRangesWithAnimation(true);
        c_.refreshSpeakerRangeChangesAllowed();
    });
}

void SpeakerRanges::changeSpeakerRangeStartToCurrentWord()
{
    AppDelegate& ad = c_.ad();
    if (!ad.currentWord || c_.refusedWhileViewingOnly())
        return;
    const auto range = ad.currentWord->speakerRange;
    const auto index = ad.speakerRanges.indexOf(range);
    if (index && *index >= 1)
        changeSpeakerRangeStart(range, ad.currentWord, {}, {});
}

void SpeakerRanges::changeNextSpeakerRangeStartToCurrentWord()
{
    AppDelegate& ad = c_.ad();
    if (!ad.currentWord || c_.refusedWhileViewingOnly())
        return;
    const auto index = ad.speakerRanges.indexOf(ad.currentWord->speakerRange);
    if (index && *index + 1 < ad.speakerRanges.size())
        changeSpeakerRangeStart(ad.speakerRanges.at(*index + 1), ad.currentWord, {}, {});
}

void SpeakerRanges::changeSpeakerRangeStart(const std::shared_ptr<QVSpeakerRange>& range,
                                            const std::shared_ptr<QVWord>& word,
                                            const std::vector<std::shared_ptr<QVWord>>& changedWords,
                                            const std::vector<QString>& originalNames)
{
    if (!word || !range)
        return;
    AppDelegate& ad = c_.ad();
    UndoManager& undo = c_.undoManager();
    c_.host().beginTableUpdates();
    undo.beginUndoGrouping();

    std::shared_ptr<QVWord> formerFirst;
    const auto& words = ad.words.items();
    const auto first = std::lower_bound(words.begin(), words.end(), range->start,
                                        [](const std::shared_ptr<QVWord>& w, std::int64_t start) { return w->start < start; });
    if (first != words.end() && (*first)->start == range->start)
        formerFirst = *first;
    // A range may begin where no word does (in the pause before its first word): the undo
    // still needs that start, so a bare word carries it.
    if (!formerFirst) {
        formerFirst = std::make_shared<QVWord>();
        formerFirst->start = range->start;
    }
    std::vector<std::shared_ptr<QVWord>> changed;
    std::vector<QString> names;
    range->start = word->start;
    c_.updateSpeakerRange(range->uuid, {{"start", range->start}});

    if (c_.isUndoingOrRedoing()) {
        for (std::size_t i = 0; i < changedWords.size() && i < originalNames.size(); ++i) {
            const auto& changedWord = changedWords[i];
            changed.push_back(changedWord);
            names.push_back(changedWord->name());
            changedWord->setName(originalNames[i]);
            c_.updateWord(changedWord->uuid, {{"name", changedWord->name().toStdString()}});
        }
    } else {
        const auto index = ad.words.indexOf(word);
        const auto before = index && *index > 0 ? ad.words.at(*index - 1) : nullptr;
        if (before && before->name().size() >= 2 && !endsInStopMark(before->name())) {
            changed.push_back(before);
            names.push_back(before->name());
            before->setName(before->name() + QStringLiteral("."));
            c_.updateWord(before->uuid, {{"name", before->name().toStdString()}});
        }
        const QString kept = word->name();
        QVOrderedSet<QVWord> moved;
        moved.add(word);
        EditingServices* editing = c_.editing();
        if (editing && editing->editWordsToUppercaseFirst(moved, false)) {
            changed.push_back(word);
            names.push_back(kept);
        }
    }

    undo.registerUndo([this, range, formerFirst, changed, names] {
        changeSpeakerRangeStart(range, formerFirst, changed, names);
    });
    undo.setActionName(localizedString("Speaker Range Start Time"));

    c_.dropRowHeight(range);
    if (const auto index = ad.speakerRanges.indexOf(range); index && *index > 0)
        c_.dropRowHeight(ad.speakerRanges.at(*index - 1));
    c_.dropCurrentTextView("changeSpeakerRange:startToWord:changedWords:originalNames:");

    ViewServices* view = c_.view();
    if (c_.isUndoingOrRedoing() && view) {
        const auto& seekWord = undo.isUndoing() ? formerFirst : word;
        if (seekWord) {
            const std::int64_t target = snapMillisecondsToGrid(seekWord->start);
            if (c_.playerMilliseconds() != target)
                view->locateMediaFileToMilliseconds(target, false, false, {});
        }
    }
    if (view)
        view->reloadTranscriptRows();
    c_.host().endTableUpdates();
    undo.endUndoGrouping();
    c_.touchUpdated();
}

void SpeakerRanges::buttonPressedAddSpeakerRange()
{
    addSpeakerRangeAutoSelect(c_.host().isOptionKeyDown());
}

void SpeakerRanges::buttonPressedStartCurrentSpeakerRange()
{
    changeSpeakerRangeStartToCurrentWord();
}

void SpeakerRanges::buttonPressedStartNextSpeakerRange()
{
    changeNextSpeakerRangeStartToCurrentWord();
}

}  // namespace qv::speakers
