// Turns edited text into the words that replace the selection: the working words of a finished
// inline edit (dashes normalised, lone marks attached to their neighbours, the result checked
// against the whole edited text), or a plain string such as a paste or a custom word, which it
// then commits. Main thread only.
#pragma once

#include "model/QVOrderedSet.h"
#include "model/QVWord.h"

#include <QString>

#include <optional>

class EditingEnvironment;
class WordEditCommit;

namespace qv {
class TextViewModel;
}

// What processEditedWords found.
struct ProcessedEdit {
    enum class Shape {
        Failure,   // no edit window: "UnknownError"
        NoChange,  // the text is as it was: "NoChange"
        Success,
    };
    Shape shape = Shape::Failure;
    // The words to replace: the selection, possibly extended by the word before it.
    QVOrderedSet<QVWord> selectedWords;
    // The words carrying the new texts in `namePending`; empty when the text was deleted.
    QVOrderedSet<QVWord> editedWords;
    bool selectionExtendedToPreviousWord = false;
};

class EditedTextTokenizer {
public:
    EditedTextTokenizer(EditingEnvironment& env, WordEditCommit& commit) : env_(env), commit_(commit) {}

    // Reads the edit state of the state record and the edit window of `currentTextView`.
    // Nothing when the result does not match the edited text (the trace says why).
    std::optional<ProcessedEdit> processEditedWords(const qv::TextViewModel* currentTextView);
    // Replaces `words` by the tokens of `text` and commits the edit.
    void editWords(const QVOrderedSet<QVWord>& words, const QString& text);

private:
    EditingEnvironment& env_;
    WordEditCommit& commit_;
};
