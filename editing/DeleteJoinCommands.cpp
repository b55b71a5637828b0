#include "editing/DeleteJoinCommands.h"

#include "editing/CaseCommands.h"
#include "editing/EditingEnvironment.h"
#include "model/StringPunctuation.h"
#include "platform/foundation/LocalizedString.h"

void DeleteJoinCommands::writeJoinedWord(const QVWord& first)
{
    env_.writer.updateWord(first, {{"end", first.end}, {"name", first.name().toStdString()}, {"status", first.status}});
}

void DeleteJoinCommands::forgetCurrentWordAndSelection(const std::shared_ptr<QVWord>& firstWord)
{
    AppDelegate& ad = env_.ad;
    ad.currentWord = nullptr;
    ad.currentWordIndex = -1;
    ad.selectionWordStart = nullptr;
    ad.selectionWordEnd = nullptr;
    env_.view().clearSelectionDurationDisplay();
    if (firstWord->speakerRange)
        ad.rowHeights.remove(firstWord->speakerRange->uuid);
}

void DeleteJoinCommands::deleteWords(const QVOrderedSet<QVWord>& words)
{
    AppDelegate& ad = env_.ad;
    const auto first = words.first();
    if (!first || !ad.words.contains(first))
        return;
    qv::UndoManager& undo = env_.undoManager();
    undo.beginUndoGrouping();
    const auto previous = env_.wordBefore(first);
    const auto last = words.last();
    if (!ad.words.contains(last)) {
        undo.endUndoGrouping();
        return;
    }
    const auto next = env_.nextWordInSameRange(last);
    bool lowerNext = next && hasStoppingPunctuation(last->name()) && case_.canLowercaseWord(next);
    bool upperNext = false;
    QVOrderedSet<QVWord> nextSet;
    nextSet.add(next);

    std::shared_ptr<QVSpeakerRange> startingRange;
    std::shared_ptr<QVSpeakerRange> holdingRange;
    for (const auto& range : ad.speakerRanges) {
        if (range->start == first->start) {
            startingRange = range;
            break;
        }
        if (range->start < first->start)
            holdingRange = range;
    }
    // A range may begin in the pause before its first word: deleting that word deletes from the
    // range's beginning all the same, or the range would stay behind without its words.
    if (!startingRange && holdingRange && (!previous || previous->start < holdingRange->start))
        startingRange = holdingRange;
    std::int64_t originalStart = -1;
    bool rangeDeleted = false;
    if (startingRange) {
        const std::int64_t rangeEnd = env_.speakers().getEndTimeForSpeakerRange(startingRange, ad.speakerRanges);
        std::shared_ptr<QVWord> firstRemaining;
        for (const auto& word : ad.words) {
            if (last->end <= word->start && rangeEnd > word->start && !words.contains(word)) {
                firstRemaining = word;
                break;
            }
        }
        if (!firstRemaining) {
            if (startingRange->speaker)
                --startingRange->speaker->rangeCount;
            startingRange->deleted = true;
            startingRange->textView = nullptr;
            ad.speakerRanges.remove(startingRange);
            ad.speakerRangesDeleted.add(startingRange);
            env_.writer.updateSpeakerRange(*startingRange, {{"deleted", true}});
            SpeakerServices* speakers = &env_.speakers();
            env_.mainQueue.async([speakers] { speakers->consolidateSpeakersWithAnimation(true); });
            rangeDeleted = true;
        } else {
            originalStart = startingRange->start;
            startingRange->start = firstRemaining->start;
            env_.writer.updateSpeakerRange(*startingRange, {{"start", startingRange->start}});
        }
        // The next word now begins the range, whatever ended the word before the deletion.
        upperNext = next && case_.canUppercaseFirstWords(nextSet);
        lowerNext = false;
    } else if (previous && !previous->name().isEmpty() && hasStoppingPunctuation(previous->name())) {
        lowerNext = false;
        upperNext = next && case_.canUppercaseFirstWords(nextSet);
    }

    env_.setWordsDeleted(words.items(), true);

    std::shared_ptr<QVWord> nextForUndo;
    QString nextOriginalName;
    if (lowerNext || upperNext) {
        nextOriginalName = next->name();
        if (lowerNext)
            case_.editWordsToLowercase(nextSet, false);
        else
            case_.editWordsToUppercaseFirst(nextSet, false);
        nextForUndo = next;
    }

    // Taking words out of the live words keeps the rest in start order: no sort is needed.
    forgetCurrentWordAndSelection(first);
    if (rangeDeleted) {
        env_.dropCurrentTextView("deleteWords:");
        env_.view().reloadTranscriptTable();
    } else {
        env_.view().reloadRowsForWords(words);
    }

    const bool redoing = env_.isRedoing();
    const auto seekWord = next ? next : previous;
    if (seekWord) {
        ViewServices* view = &env_.view();
        view->seekToMilliseconds(seekWord->start, [view, redoing](bool) {
            if (!redoing)
                view->resumePlayback();
        });
    }

    undo.registerUndo([this, words, nextForUndo, nextOriginalName, originalStart, rangeDeleted] {
        undoDeleteWords(words, nextForUndo, nextOriginalName, originalStart, rangeDeleted);
    });
    undo.setActionName(qv::localizedString("Delete Word(s)"));
    undo.endUndoGrouping();
    env_.updateCurrentFileTimestamp();
}

void DeleteJoinCommands::undoDeleteWords(const QVOrderedSet<QVWord>& words, const std::shared_ptr<QVWord>& nextUnselectedWord,
                                         const QString& nextUnselectedWordOriginalName, std::int64_t speakerRangeOriginalStart,
                                         bool didDeleteSpeakerRange)
{
    AppDelegate& ad = env_.ad;
    env_.setWordsDeleted(words.items(), false);
    if (nextUnselectedWord) {
        nextUnselectedWord->setName(nextUnselectedWordOriginalName);
        env_.writeName(*nextUnselectedWord);
    }
    const auto first = words.first();
    const auto range = first ? first->speakerRange : nullptr;
    if (didDeleteSpeakerRange && range) {
        if (range->speaker)
            ++range->speaker->rangeCount;
        range->deleted = false;
        ad.speakerRangesDeleted.remove(range);
        ad.speakerRanges.add(range);
        env_.writer.updateSpeakerRange(*range, {{"deleted", false}});
        ad.speakerRanges.sort([](const QVSpeakerRange& a, const QVSpeakerRange& b) { return a.start < b.start; });
        if (range->speaker && range->speaker->deleted)
            env_.speakers().restoreSpeaker(range->speaker);
        SpeakerServices* speakers = &env_.speakers();
        env_.mainQueue.async([speakers] { speakers->refreshSpeakersWithAnimation(); });
    } else if (speakerRangeOriginalStart >= 0 && range) {
        range->start = speakerRangeOriginalStart;
        env_.writer.updateSpeakerRange(*range, {{"start", speakerRangeOriginalStart}});
    }
    env_.sortWordsByStart();
    if (!first)
        return;
    forgetCurrentWordAndSelection(first);
    if (didDeleteSpeakerRange) {
        env_.dropCurrentTextView("undoDeleteWords:nextUnselectedWord:nextUnselectedWordOriginalName:"
                                 "speakerRangeOriginalStart:didDeleteSpeakerRange:");
        env_.view().reloadTranscriptTable();
    } else {
        env_.view().reloadRowForWordStartTime(first->start);
    }
    ad.currentWordStartTime = -1;
    ad.currentWordEndTime = -1;
    env_.view().locateMediaFileToWord(first);
    env_.undoManager().registerUndo([this, words] { deleteWords(words); });
    env_.updateCurrentFileTimestamp();
}

void DeleteJoinCommands::joinWords(const QVOrderedSet<QVWord>& words, const QString& separator)
{
    if (words.size() < 2)
        return;
    AppDelegate& ad = env_.ad;
    QStringList names;
    for (const auto& word : words)
        names.push_back(word->name());
    const auto first = words.first();
    auto saved = std::make_shared<QVWord>();
    saved->end = first->end;
    saved->setName(first->name());
    saved->status = first->status;

    first->end = words.last()->end;
    first->setName(names.join(separator));
    first->status = 2;
    writeJoinedWord(*first);
    env_.setWordsDeleted({words.begin() + 1, words.end()}, true);
    ad.selectionWordStart = nullptr;
    ad.selectionWordEnd = nullptr;
    env_.view().reloadRowsForWords(words);
    const bool redoing = env_.isRedoing();
    if (redoing)
        env_.view().locateMediaFileToWord(first);
    env_.undoManager().registerUndo([this, words, separator, saved] { unjoinWords(words, separator, saved); });
    env_.undoManager().setActionName(qv::localizedString("Join Words"));
    env_.updateCurrentFileTimestamp();
    if (!redoing)
        env_.view().resumePlayback();
}

void DeleteJoinCommands::unjoinWords(const QVOrderedSet<QVWord>& words, const QString& separator,
                                     const std::shared_ptr<QVWord>& originalFirstWord)
{
    const auto first = words.first();
    first->end = originalFirstWord->end;
    first->setName(originalFirstWord->name());
    first->status = originalFirstWord->status;
    writeJoinedWord(*first);
    env_.setWordsDeleted({words.begin() + 1, words.end()}, false);
    env_.sortWordsByStart();
    env_.view().reloadRowsForWords(words);
    env_.view().locateMediaFileToWord(first);
    env_.undoManager().registerUndo([this, words, separator] { joinWords(words, separator); });
    env_.updateCurrentFileTimestamp();
}
