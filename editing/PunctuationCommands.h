// Putting one mark on the selection by the typographic rules of the file's language (handing
// quotes and brackets to wrapping and a hyphen between words to joining), and deleting the
// punctuation at both ends of the selected words; each one undo step that also adjusts the case
// of the word after a sentence end it created or removed. Main thread only.
#pragma once

#include "model/QVOrderedSet.h"
#include "model/QVWord.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

class CaseCommands;
class DeleteJoinCommands;
class EditingEnvironment;
class WrapCommands;

class PunctuationCommands {
public:
    PunctuationCommands(EditingEnvironment& env, CaseCommands& caseCommands, WrapCommands& wrap, DeleteJoinCommands& join)
        : env_(env), case_(caseCommands), wrap_(wrap), join_(join)
    {
    }

    void editWordsWithPunctuation(const QVOrderedSet<QVWord>& words, const QString& mark);
    void deletePunctuationForWords(const QVOrderedSet<QVWord>& words);

private:
    // Returns false when the mark is refused (with a beep): the command then ends at once.
    bool putMarkOnWord(const QVOrderedSet<QVWord>& words, const QString& mark);
    void undoWordsWithPunctuation(const QVOrderedSet<QVWord>& words, const QString& mark,
                                  const std::shared_ptr<QVWord>& nextUnselectedWord, const QString& originalName,
                                  const QString& originalNextName);
    void undoDeletePunctuationForWords(const QVOrderedSet<QVWord>& words, const std::vector<std::optional<QString>>& originalNames,
                                       const std::shared_ptr<QVWord>& nextUnselectedWord, const QString& nextOriginalName);

    EditingEnvironment& env_;
    CaseCommands& case_;
    WrapCommands& wrap_;
    DeleteJoinCommands& join_;
};
