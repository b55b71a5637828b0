// Deleting words (repairing the case of the word after the gap and the speaker range that began
// with them, or removing that range when none of its words is left) and joining words into
// their first word, each one undo step with its inverse. Nothing leaves the database: words and
// ranges are flagged deleted and undo clears the flag. Main thread only.
#pragma once

#include "model/QVOrderedSet.h"
#include "model/QVWord.h"

#include <QString>

#include <cstdint>
#include <memory>

class CaseCommands;
class EditingEnvironment;

class DeleteJoinCommands {
public:
    DeleteJoinCommands(EditingEnvironment& env, CaseCommands& caseCommands) : env_(env), case_(caseCommands) {}

    // `words` in transcript order and contiguous; nothing when empty or not in the transcript.
    void deleteWords(const QVOrderedSet<QVWord>& words);
    // Merges two or more words into the first, their texts joined by `separator`.
    void joinWords(const QVOrderedSet<QVWord>& words, const QString& separator);

private:
    void undoDeleteWords(const QVOrderedSet<QVWord>& words, const std::shared_ptr<QVWord>& nextUnselectedWord,
                         const QString& nextUnselectedWordOriginalName, std::int64_t speakerRangeOriginalStart,
                         bool didDeleteSpeakerRange);
    void unjoinWords(const QVOrderedSet<QVWord>& words, const QString& separator, const std::shared_ptr<QVWord>& originalFirstWord);
    // The values a join changes on its first word.
    void writeJoinedWord(const QVWord& first);
    void forgetCurrentWordAndSelection(const std::shared_ptr<QVWord>& firstWord);

    EditingEnvironment& env_;
    CaseCommands& case_;
};
