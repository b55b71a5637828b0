#include "editing/WordEditCommit.h"

#include "editing/EditingEnvironment.h"
#include "model/TextUtilities.h"
#include "platform/foundation/LocalizedString.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const char* const kUndoSelector = "undoEditWords:selectionExtendedToPreviousWord:toOriginalData:createRedo:";

QString fitErrorText()
{
    return qv::localizedString("Word editing could not be saved because the new words will not fit into the available time.");
}

void applyParagraphChange(QVWord& word)
{
    if (word.newParagraphPendingChange == -1)
        word.newParagraph = false;
    else if (word.newParagraphPendingChange == 1)
        word.newParagraph = true;
}

std::int64_t length(const QString& text)
{
    return text.size();
}

// Ms per character of a gap; a gap for no characters always leaves room.
std::int64_t quotient(std::int64_t gap, std::int64_t characters)
{
    if (characters <= 0)
        return std::numeric_limits<std::int64_t>::max();
    return gap / characters;
}

void sortByStart(QVOrderedSet<QVWord>& words)
{
    words.sort([](const QVWord& a, const QVWord& b) { return a.start < b.start; });
}

}  // namespace

std::vector<std::int64_t> WordEditCommit::getWordDurations(const QStringList& strings, std::int64_t total)
{
    static const QString removed = QString(" ,.?!;:-\u2013\u2014");
    QStringList cleaned;
    for (QString text : strings) {
        text.removeIf([](QChar c) { return removed.contains(c); });
        cleaned.push_back(text);
    }
    const std::int64_t letters = cleaned.join(QString()).size();
    std::vector<std::int64_t> shares;
    std::int64_t sum = 0;
    for (qsizetype i = 0; i < cleaned.size(); ++i) {
        if (i + 1 == cleaned.size()) {
            shares.push_back(total - sum);
            break;
        }
        const float share = letters == 0 ? 0.0f
                                         : std::floor(static_cast<float>(cleaned[i].size()) / static_cast<float>(letters) *
                                                      static_cast<float>(total));
        shares.push_back(static_cast<std::int64_t>(share));
        sum += shares.back();
    }
    return shares;
}

std::int64_t WordEditCommit::timePerCharacter(const std::shared_ptr<QVWord>& firstWord) const
{
    const auto range = firstWord ? firstWord->speakerRange : nullptr;
    std::vector<std::int64_t> quotients;
    std::int64_t qualifying = 0;
    for (const auto& word : env_.ad.words) {
        if (word->name().size() > 2 && word->speakerRange == range && word->status < 2) {
            ++qualifying;
            if (word->end - word->start > 10 && !word->nameClean().isEmpty())
                quotients.push_back((word->end - word->start) / word->nameClean().size());
        }
    }
    if (qualifying <= 10)
        return kDefaultTimePerCharacter;
    const std::int64_t middle = median(quotients);
    return middle > 0 ? middle : kDefaultTimePerCharacter;
}

void WordEditCommit::cancelIfEditing(const QString& reason)
{
    // Outside an inline edit there is nothing to cancel, and cancelling would restore the
    // snapshots of an earlier edit.
    if (!env_.ad.isEditing)
        return;
    env_.appendTrace("\n\neditWordsCancel called from editWords:toNewWords because " + reason + "\n\n");
    if (editWordsCancel_)
        editWordsCancel_();
}

void WordEditCommit::writeWordValues(const QVWord& word, bool isNew)
{
    qv::DatabaseUpdate values{{"end", word.end}, {"name", word.name().toStdString()}, {"new_paragraph", word.newParagraph},
                              {"start", word.start}, {"status", word.status}};
    if (isNew)
        values.emplace_back("favorite", word.favorite);
    env_.writer.updateWord(word, std::move(values));
}

std::int64_t WordEditCommit::editWords(QVOrderedSet<QVWord> selection, QVOrderedSet<QVWord> newWords, bool extended,
                                       const std::optional<EditRecord>& originalData,
                                       const StatusesBeforeEdit& statusesBeforeEdit)
{
    if (originalData)
        return redoEditWords(selection, extended, *originalData);
    auto restoreStatuses = [&] {
        for (const auto& [word, status] : statusesBeforeEdit)
            word->status = status;
    };

    AppDelegate& ad = env_.ad;
    const std::int64_t duration = ad.currentFile ? ad.currentFile->duration : 0;

    // 1. Words whose letters did not change keep their times.
    QStringList newTexts;
    for (const auto& word : newWords) {
        newTexts.push_back(word->namePending);
        if (!ad.disallowLockTimingOnEditedWords && !word->nameClean().isNull() &&
            stripPunctuationSymbolsAndWhitespace(word->namePending).compare(word->nameClean(), Qt::CaseInsensitive) == 0)
            word->lockTiming = true;
    }

    // 2. Nothing to do.
    bool anyWordHasChanged = selection.size() != newWords.size();
    for (std::size_t i = 0; i < newWords.size() && !anyWordHasChanged; ++i) {
        const auto& word = newWords.at(i);
        if (selection.at(i)->name() != word->namePending || word->newParagraphPendingChange != 0)
            anyWordHasChanged = true;
    }
    if (!anyWordHasChanged) {
        restoreStatuses();
        cancelIfEditing("!anyWordHasChanged");
        return -1;
    }
    if (newTexts.isEmpty()) {
        restoreStatuses();
        cancelIfEditing("newWordsStrings.count == 0");
        return -1;
    }

    const auto firstAtEntry = selection.first();
    const auto firstRange = firstAtEntry ? firstAtEntry->speakerRange : nullptr;
    const std::int64_t firstStart = firstAtEntry ? firstAtEntry->start : -1;
    const std::int64_t rangeStart = firstRange && firstRange->start == firstStart ? firstStart : -1;
    std::shared_ptr<QVWord> previousWord = env_.wordBefore(firstAtEntry);
    std::shared_ptr<QVWord> nextWord = env_.wordAfter(selection.last());

    // 3. Time per character from the speaker range's own unedited speech.
    std::int64_t timePerCharacterMed = timePerCharacter(firstAtEntry);

    std::shared_ptr<QVWord> anchorWord = extended ? newWords.at(1) : nullptr;
    std::int64_t previousWordsCount = 0;
    bool fitAll = false;
    std::int64_t availableStart = 0;
    std::int64_t availableEnd = 0;

    // 4. Fitting runs between locked words.
    auto lockedIndexFrom = [&](std::size_t from) {
        std::size_t j = from;
        while (j < newWords.size() && !newWords.at(j)->lockTiming)
            ++j;
        return j;
    };
    auto pendingCharacters = [&](std::size_t from, std::size_t to) {
        std::int64_t characters = 0;
        for (std::size_t k = from; k < to; ++k)
            characters += length(newWords.at(k)->namePending);
        return characters;
    };
    bool mustWiden = false;
    std::int64_t X = 0;
    std::int64_t Y = 0;
    std::int64_t totalCharacters = 0;
    for (std::size_t i = 0; i < newWords.size();) {
        if (newWords.at(i)->lockTiming) {
            ++i;
            continue;
        }
        const std::size_t j = lockedIndexFrom(i);
        std::int64_t characters = pendingCharacters(i, j);
        X = i == 0 ? (previousWord ? previousWord->end : 0) : newWords.at(i - 1)->end;
        Y = j < newWords.size() ? newWords.at(j)->start : (nextWord ? nextWord->start : duration);
        if (characters * timePerCharacterMed <= Y - X || quotient(Y - X, characters) > 3) {
            i = j;
            continue;
        }
        for (const auto& word : newWords) {
            if (word->lockTiming)
                characters += length(word->namePending);
            word->lockTiming = false;
        }
        X = previousWord ? previousWord->end : 0;
        Y = nextWord ? nextWord->start : duration;
        totalCharacters = characters;
        std::int64_t perCharacter = 0;
        if (Y - X != 0 && X <= Y)
            perCharacter = quotient(Y - X, characters);
        mustWiden = perCharacter < 4;
        break;
    }

    // 5. Widening over neighbouring words until the new words fit.
    if (mustWiden) {
        if (!extended)
            anchorWord = newWords.first();
        enum class Side { Previous, Next };
        Side side = Side::Next;
        bool failed = false;
        if (previousWord && nextWord)
            side = getWordDuration(*nextWord) < getWordDuration(*previousWord) ? Side::Previous : Side::Next;
        else if (previousWord)
            side = Side::Previous;
        else if (nextWord)
            side = Side::Next;
        else
            failed = true;
        if (!failed && nextWord && nextWord->speakerRange != selection.last()->speakerRange && side != Side::Previous) {
            side = Side::Previous;
            failed = !previousWord;
        }
        std::int64_t perCharacter = 0;
        while (!failed) {
            std::shared_ptr<QVWord> taken;
            if (side == Side::Previous) {
                taken = previousWord;
                selection.insert(0, taken);
                newWords.insert(0, taken);
                X = taken->start;
                ++previousWordsCount;
                previousWord = env_.wordBefore(taken);
            } else {
                taken = nextWord;
                selection.add(taken);
                newWords.add(taken);
                Y = taken->end;
                nextWord = env_.wordAfter(taken);
            }
            taken->namePending = taken->name();
            taken->lockTiming = false;
            totalCharacters += length(taken->name());
            perCharacter = quotient(Y - X, totalCharacters);

            if (side == Side::Previous) {
                if (nextWord && nextWord->speakerRange == firstRange) {
                    side = Side::Next;
                } else {
                    nextWord = nullptr;
                    if (!(previousWord && previousWord->speakerRange == firstRange))
                        previousWord = nullptr;
                }
            } else if (previousWord && previousWord->speakerRange == firstRange) {
                side = Side::Previous;
            } else {
                previousWord = nullptr;
            }
            if ((side == Side::Previous && !previousWord) || (side == Side::Next && !nextWord))
                break;
            if (perCharacter >= 4)
                break;
        }
        if (!failed && perCharacter > 3) {
            fitAll = true;
            availableStart = X;
            availableEnd = Y;
            timePerCharacterMed = perCharacter;
        } else {
            restoreStatuses();
            env_.showWordEditingError(fitErrorText());
            cancelIfEditing("word editing could not be saved (showErrorAndCancel)");
            env_.appendTrace(QString("*****\ncannot extend selection to increase available gap\navailableTimeStart = %1\n"
                                     "availableTimeEnd = %2\navailableGap = %3\ntotalCharacters = %4\n*****\n")
                                 .arg(X)
                                 .arg(Y)
                                 .arg(Y - X)
                                 .arg(totalCharacters));
            env_.writer.uploadTrace(ad.debugCharacterEditing);
            return -1;
        }
    }

    // 6. Bounds again: widening may have moved the first and last words.
    const auto first = selection.first();
    const auto last = selection.last();
    if (!extended && previousWordsCount == 0)
        anchorWord = nullptr;
    if (auto before = env_.wordBefore(first))
        previousWord = before;
    if (auto after = env_.wordAfter(last))
        nextWord = after;

    // 7. Removed words leave the transcript (written once the result is known to be sound).
    QVOrderedSet<QVWord> resultSelection = selection;
    QVOrderedSet<QVWord> copies;
    for (const auto& word : selection)
        copies.add(word->copy());
    for (const auto& [word, status] : statusesBeforeEdit) {
        if (const auto index = selection.indexOf(word))
            copies.at(*index)->status = status;
    }
    std::vector<std::shared_ptr<QVWord>> deletedWords;
    for (const auto& word : selection) {
        if (newWords.contains(word))
            continue;
        word->deleted = true;
        word->lockTiming = false;
        resultSelection.remove(word);
        ad.wordsDeleted.add(word);
        deletedWords.push_back(word);
    }
    env_.removeDeletedFromLiveWords();

    const std::size_t count = newWords.size();
    if (!fitAll) {
        // 8. Re-timing run by run between locked words.
        const std::int64_t firstRangeStart = first && first->speakerRange ? first->speakerRange->start : -1;
        for (std::size_t i = 0; i < count;) {
            const auto& word = newWords.at(i);
            if (word->lockTiming) {
                if (word->namePending != word->name()) {
                    if (stripPunctuationSymbolsAndWhitespace(word->namePending) != word->nameClean())
                        word->status = 2;
                    word->setName(word->namePending);
                }
                applyParagraphChange(*word);
                ++i;
                continue;
            }
            const std::size_t j = lockedIndexFrom(i);
            const std::int64_t characters = pendingCharacters(i, j);
            const std::int64_t endBound = j < count ? newWords.at(j)->start : (nextWord ? nextWord->start : -1);
            word->setName(word->namePending);
            applyParagraphChange(*word);
            std::int64_t runEnd = j == count && !nextWord ? duration : endBound;
            std::int64_t runStart = i == 0 ? (previousWord ? previousWord->end : 0) : newWords.at(i - 1)->end;

            const std::int64_t estimate = characters * timePerCharacterMed;
            const std::int64_t base0 =
                i == 0 && firstStart >= 0 && estimate <= runEnd - firstStart ? firstStart : runStart;
            const std::int64_t span = runEnd - base0;
            const std::int64_t slack = span - estimate;
            bool spread = false;
            bool backward = false;
            if (characters >= 1 && (span < estimate || slack < 200)) {
                spread = true;
                timePerCharacterMed = span / characters;
            } else if (slack >= 200) {
                backward = endBound == firstRangeStart || j < count ||
                           (j == count && slack >= 201 && i == 0 && rangeStart >= 0);
            }
            if (backward) {
                for (std::size_t k = j; k-- > i;) {
                    const auto& placed = newWords.at(k);
                    placed->setName(placed->namePending);
                    placed->end = runEnd;
                    placed->start = placed->end - length(placed->name()) * timePerCharacterMed;
                    runEnd = placed->start;
                }
            } else {
                std::int64_t base = base0;
                for (std::size_t k = i; k < j; ++k) {
                    const auto& placed = newWords.at(k);
                    placed->setName(placed->namePending);
                    placed->start = base;
                    placed->end = spread && k == j - 1 ? runEnd : placed->start + length(placed->name()) * timePerCharacterMed;
                    base = placed->end;
                }
            }
            i = j;
        }
    } else {
        // 9. Every new word spread over the widened span.
        std::int64_t cursor = availableStart;
        for (std::size_t k = 0; k < count; ++k) {
            const auto& word = newWords.at(k);
            word->setName(word->namePending);
            applyParagraphChange(*word);
            word->start = cursor;
            word->end = k + 1 == count ? availableEnd : word->start + length(word->name()) * timePerCharacterMed;
            cursor = word->end;
        }
    }

    // 10. A word of no length is never stored: the edit is taken back before anything is written.
    const bool zeroLength = std::any_of(newWords.begin(), newWords.end(), [](const auto& w) { return w->start >= w->end; });
    if (zeroLength) {
        QString trace = "*****\nzero length word(s) found on final check\nORIGINAL WORDS:\n";
        for (const auto& word : newWords)
            trace += QString("name: %1 | start: %2 | end: %3\n").arg(word->name()).arg(word->start).arg(word->end);
        trace += QString("fitAllWordsToSelectionTime = %1 | timePerCharacterMed = %2\n*****\n")
                     .arg(fitAll ? 1 : 0)
                     .arg(timePerCharacterMed);
        env_.appendTrace(trace);
        for (const auto& word : selection) {
            const auto saved = copies.at(*selection.indexOf(word));
            word->end = saved->end;
            word->setName(saved->name());
            word->newParagraph = saved->newParagraph;
            word->start = saved->start;
            word->status = saved->status;
            word->lockTiming = false;
            word->deleted = false;
        }
        for (const auto& word : deletedWords)
            ad.wordsDeleted.remove(word);
        env_.insertLiveWordsInOrder(deletedWords);
        for (const auto& word : newWords)
            word->lockTiming = false;
        env_.sortWordsByStart();
        env_.writer.uploadTrace(ad.debugCharacterEditing);
        env_.showWordEditingError(fitErrorText());
        cancelIfEditing("zero length word(s) found on final check");
        return -1;
    }

    for (const auto& word : deletedWords)
        env_.writer.updateWord(*word, {{"deleted", true}});

    // 11. A speaker range that began with the edited words starts with the new first word.
    std::vector<EditRecord::RangeStart> modifiedRanges;
    auto moveRangeStart = [&](const std::shared_ptr<QVSpeakerRange>& range, std::int64_t start) {
        modifiedRanges.push_back({range, range->start});
        range->start = start;
        env_.writer.updateSpeakerRange(*range, {{"start", start}});
    };
    const auto firstNew = newWords.first();
    if (previousWordsCount == 0 && rangeStart >= 0) {
        if (firstNew && firstNew->speakerRange && firstNew->start != rangeStart) {
            modifiedRanges.push_back({firstNew->speakerRange, rangeStart});
            firstNew->speakerRange->start = firstNew->start;
            env_.writer.updateSpeakerRange(*firstNew->speakerRange, {{"start", firstNew->start}});
        }
    } else if (previousWordsCount >= 1 && count >= 2) {
        for (std::int64_t k = std::min<std::int64_t>(previousWordsCount, static_cast<std::int64_t>(count) - 2); k >= 0; --k) {
            const auto& before = newWords.at(static_cast<std::size_t>(k));
            const auto& after = newWords.at(static_cast<std::size_t>(k) + 1);
            if (after->speakerRange && before->speakerRange != after->speakerRange && after->start != after->speakerRange->start)
                moveRangeStart(after->speakerRange, after->start);
        }
    }

    // 12. Word writes: kept words with five keys, new words with six.
    std::vector<std::shared_ptr<QVWord>> addedWords;
    for (const auto& word : newWords) {
        const bool isNew = !selection.contains(word);
        writeWordValues(*word, isNew);
        if (isNew) {
            resultSelection.add(word);
            addedWords.push_back(word);
        }
        word->lockTiming = false;
    }
    env_.insertLiveWordsInOrder(addedWords);

    // 13. Undo.
    EditRecord record;
    record.addedWords = addedWords;
    record.deletedWords = deletedWords;
    record.firstSelectedWordOffset = extended && previousWordsCount == 0 ? 1 : previousWordsCount;
    record.modifiedSpeakerRanges = modifiedRanges;
    record.originalWordsAsCopy = copies;
    sortByStart(resultSelection);
    env_.undoManager().registerUndo([this, resultSelection, extended, record] {
        undoEditWords(resultSelection, extended, record, true);
    });
    env_.undoManager().setActionName(qv::localizedString("Edit Words"));

    // 14. Finish.
    env_.sortWordsByStart();
    env_.view().reloadRowsForWords(selection);
    std::int64_t result = -1;
    if (anchorWord)
        result = anchorWord->start;
    else if (firstAtEntry && firstNew && firstNew->start < firstStart)
        result = firstNew->start;
    env_.updateCurrentFileTimestamp();
    return result;
}

WordEditCommit::Applied WordEditCommit::applyRecord(const QVOrderedSet<QVWord>& words, const EditRecord& record)
{
    AppDelegate& ad = env_.ad;
    Applied applied;
    applied.working = words;
    QVOrderedSet<QVWord> copies;
    for (const auto& word : words)
        copies.add(word->copy());

    for (const auto& entry : record.modifiedSpeakerRanges) {
        if (!entry.speakerRange)
            continue;
        applied.opposite.modifiedSpeakerRanges.push_back({entry.speakerRange, entry.speakerRange->start});
        entry.speakerRange->start = entry.originalStartTime;
        env_.writer.updateSpeakerRange(*entry.speakerRange, {{"start", entry.originalStartTime}});
    }
    const auto offset = record.firstSelectedWordOffset;
    if (offset >= 0 && static_cast<std::size_t>(offset) < record.originalWordsAsCopy.size())
        applied.seekTarget = record.originalWordsAsCopy.at(static_cast<std::size_t>(offset))->start;

    env_.setWordsDeleted(record.addedWords, true);
    for (const auto& word : record.addedWords)
        applied.working.remove(word);
    env_.setWordsDeleted(record.deletedWords, false);
    for (const auto& word : record.deletedWords)
        applied.working.add(word);
    auto listed = [](const std::vector<std::shared_ptr<QVWord>>& list, const std::shared_ptr<QVWord>& word) {
        return std::find(list.begin(), list.end(), word) != list.end();
    };
    for (const auto& copy : record.originalWordsAsCopy) {
        std::shared_ptr<QVWord> live;
        for (const auto& word : ad.words) {
            if (word->uuid == copy->uuid) {
                live = word;
                break;
            }
        }
        if (!live || listed(record.addedWords, live) || listed(record.deletedWords, live))
            continue;
        live->end = copy->end;
        live->setName(copy->name());
        live->newParagraph = copy->newParagraph;
        live->start = copy->start;
        live->status = copy->status;
        writeWordValues(*live, false);
    }

    applied.opposite.addedWords = record.deletedWords;
    applied.opposite.deletedWords = record.addedWords;
    applied.opposite.firstSelectedWordOffset = record.firstSelectedWordOffset;
    applied.opposite.originalWordsAsCopy = copies;
    sortByStart(applied.working);
    return applied;
}

void WordEditCommit::undoEditWords(const QVOrderedSet<QVWord>& words, bool extended, const std::optional<EditRecord>& record,
                                   bool createRedo)
{
    if (!record)
        return;
    AppDelegate& ad = env_.ad;
    Applied applied = applyRecord(words, *record);
    env_.sortWordsByStart();
    env_.dropCurrentTextView(kUndoSelector);
    ad.currentWord = nullptr;
    ad.currentWordIndex = -1;
    env_.view().resetCurrentWordTiming();
    env_.view().reloadRowForWordStartTime(env_.playerMilliseconds());
    const std::int64_t seek = applied.seekTarget;
    if (seek < 0) {
        env_.view().reloadRowForWordStartTime(seek);
    } else {
        ViewServices* view = &env_.view();
        view->locateMediaFileToMilliseconds(seek, false, false, [view, seek] { view->reloadRowForWordStartTime(seek); });
    }
    if (createRedo) {
        env_.undoManager().registerUndo([this, working = applied.working, extended, opposite = applied.opposite] {
            editWords(working, {}, extended, opposite);
        });
    }
    env_.updateCurrentFileTimestamp();
}

std::int64_t WordEditCommit::redoEditWords(const QVOrderedSet<QVWord>& words, bool extended, const EditRecord& record)
{
    Applied applied = applyRecord(words, record);
    env_.undoManager().registerUndo([this, working = applied.working, extended, opposite = applied.opposite] {
        undoEditWords(working, extended, opposite, true);
    });
    env_.sortWordsByStart();
    if (env_.isRedoing()) {
        ViewServices* view = &env_.view();
        view->reloadRowForWordStartTime(env_.playerMilliseconds());
        if (applied.seekTarget >= 0)
            view->locateMediaFileToMilliseconds(applied.seekTarget, false, false, [view, words] { view->reloadRowsForWords(words); });
        else
            view->reloadRowsForWords(words);
    }
    env_.updateCurrentFileTimestamp();
    return -1;
}
