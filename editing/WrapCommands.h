// Putting a pair of marks around the selected words: quotes by the file's language
// (guillemets in French and German), parentheses, square brackets, and the Spanish inverted
// exclamation and question marks. Each changes only the first and last word's text and is one
// undo step. Callers resume playback themselves. Main thread only.
#pragma once

#include "model/QVOrderedSet.h"
#include "model/QVWord.h"

#include <QString>
#include <QStringList>

#include <memory>

class CaseCommands;
class EditingEnvironment;

class WrapCommands {
public:
    enum class Kind { DoubleQuotes, SingleQuotes, Parentheses, SquareBrackets, ExclamationMarks, QuestionMarks };

    WrapCommands(EditingEnvironment& env, CaseCommands& caseCommands) : env_(env), case_(caseCommands) {}

    void wrapWords(Kind kind, const QVOrderedSet<QVWord>& words);

private:
    void unwrapWords(Kind kind, const QVOrderedSet<QVWord>& words, const QStringList& originalFirstLast,
                     const std::shared_ptr<QVWord>& nextUnselectedWord, const QString& originalNextUnselectedWordName);
    QString lastWordText(Kind kind, const QString& name, const QString& closing, bool& capitaliseNext) const;

    EditingEnvironment& env_;
    CaseCommands& case_;
};
