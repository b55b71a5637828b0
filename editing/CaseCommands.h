// Lowercase, Uppercase First and Uppercase All over words of the open transcript, each one undo
// step with its inverse, and the tests the panel and the other commands ask before changing
// case. Main thread only.
#pragma once

#include "model/QVOrderedSet.h"
#include "model/QVWord.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

class EditingEnvironment;

class CaseCommands {
public:
    explicit CaseCommands(EditingEnvironment& env) : env_(env) {}

    bool canLowercaseWords(const QVOrderedSet<QVWord>& words) const;
    bool canUppercaseFirstWords(const QVOrderedSet<QVWord>& words) const;
    bool canUppercaseAllWords(const QVOrderedSet<QVWord>& words) const;
    bool canDeletePunctuation(const QVOrderedSet<QVWord>& words) const;
    // Whether `word` may be lower-cased when the sentence stop before it goes: not "I" in an
    // English file, not a word whose second character is upper-case (USA).
    bool canLowercaseWord(const std::shared_ptr<QVWord>& word) const;

    // With `shouldReloadRow` false the command is a step of another one: it reloads nothing,
    // does not resume playback, and its inverse joins the caller's undo step.
    // Lowercase and Uppercase First answer whether a word changed.
    bool editWordsToLowercase(const QVOrderedSet<QVWord>& words, bool shouldReloadRow);
    bool editWordsToUppercaseFirst(const QVOrderedSet<QVWord>& words, bool shouldReloadRow);
    void editWordsToUppercaseAll(const QVOrderedSet<QVWord>& words, bool shouldReloadRow);

    // The Uppercase First text of `name`, or nothing when it would not change.
    static std::optional<QString> uppercaseFirst(const QString& name);

private:
    enum class Kind { Lowercase, UppercaseFirst, UppercaseAll };
    // Per word, its previous text, or nothing when it was left as it was.
    using PreviousTexts = std::vector<std::optional<QString>>;

    std::optional<QString> changedText(Kind kind, const QString& name) const;
    bool run(Kind kind, const QVOrderedSet<QVWord>& words, bool shouldReloadRow);
    void undo(Kind kind, const QVOrderedSet<QVWord>& words, const PreviousTexts& previous, bool shouldReloadRow);

    EditingEnvironment& env_;
};
