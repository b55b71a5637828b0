// The word selection of the open transcript and what is built on it: the selected words,
// keyboard growing and shrinking, Copy, Copy with Metadata, Paste with its five-word limit, the
// insertion of a custom word into an open inline edit, and which undo manager the Edit menu
// uses. Main thread only.
#pragma once

#include "model/QVOrderedSet.h"
#include "model/QVWord.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class AppDelegate;
class EditedTextTokenizer;
class EditingEnvironment;

namespace qv {
class Pasteboard;
class TextViewModel;
class UndoManager;
}  // namespace qv

class SelectionCommands {
public:
    // Most words a plain-text paste may hold.
    static constexpr int kPasteWordLimit = 5;

    SelectionCommands(EditingEnvironment& env, EditedTextTokenizer& tokenizer, qv::Pasteboard& pasteboard)
        : env_(env), tokenizer_(tokenizer), pasteboard_(pasteboard)
    {
    }

    // With a selection, the words from its first to its last word by start; otherwise the
    // current word alone, or nothing.
    static QVOrderedSet<QVWord> getSelectedWords(const AppDelegate& ad);
    // The selection's first and last words are both set and differ.
    static bool hasMultipleWordsSelected(const AppDelegate& ad);

    void clearSelection();
    void changeSelectionStartWordWithOffset(std::int64_t offset);
    void changeSelectionEndWordWithOffset(std::int64_t offset);

    void copy();
    void copyWithMetadata();
    void paste();
    void showPasteLimitErrorMessage();

    // The text view model of the row that holds the open inline edit (none without one); the
    // transcript view provides it.
    void setCurrentTextViewModel(std::function<qv::TextViewModel*()> accessor) { currentTextViewModel_ = std::move(accessor); }
    void insertStringIntoTextView(const QString& text);

    // The transcript's undo manager on the transcript screen outside an inline edit; the empty
    // one everywhere else.
    std::shared_ptr<qv::UndoManager> windowWillReturnUndoManager() const;

private:
    void moveSelectionEnd(std::shared_ptr<QVWord>& moved, std::int64_t offset);
    QString selectedWordsText(const QVOrderedSet<QVWord>& words) const;

    EditingEnvironment& env_;
    EditedTextTokenizer& tokenizer_;
    qv::Pasteboard& pasteboard_;
    std::function<qv::TextViewModel*()> currentTextViewModel_;
};
