// The inline word edit: opens the row's text view inside a window over the selected words with
// a working list of those words (optionally applying the key that began it), cancels by
// restoring the words, and finishes by tokenising the edited text and committing or deleting.
// Keeps the editing trace and uploads it when an edit cannot be processed. Main thread only.
#pragma once

#include "model/QVOrderedSet.h"
#include "model/QVWord.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class DeleteJoinCommands;
class EditedTextTokenizer;
class EditingEnvironment;
class TextChangeFilter;
class WordEditCommit;

namespace qv {
class TextViewModel;
}

class WordEditingSession {
public:
    // How an edit begins: with the selected words (a character, when given, replaces them), by
    // deleting the last character (Delete) or the first one (Forward Delete).
    enum Mode : std::int64_t {
        kQVEditWordSelectAll = 0,
        kQVEditWordDeleteLast = 1,
        kQVEditWordDeleteFirst = -1,
    };

    WordEditingSession(EditingEnvironment& env, TextChangeFilter& filter, EditedTextTokenizer& tokenizer,
                       WordEditCommit& commit, DeleteJoinCommands& deleteJoin)
        : env_(env), filter_(filter), tokenizer_(tokenizer), commit_(commit), deleteJoin_(deleteJoin)
    {
    }

    // The text view model of the current row (none without one); the transcript view provides it.
    void setCurrentTextViewModel(std::function<qv::TextViewModel*()> accessor) { currentTextView_ = std::move(accessor); }
    // Told whenever the edit opens or closes, so the editing controls follow.
    void setEditStateChanged(std::function<void()> changed) { editStateChanged_ = std::move(changed); }

    void editWordsStartWithMode(std::int64_t mode, const QString& character = {});
    void createWordsEditing(const QVOrderedSet<QVWord>& selectedWords);
    void editWordsCancel();
    void editWordsFinishWithResumePlayback(bool resume);
    bool finishEditingIfNecessary();

private:
    qv::TextViewModel* textView() const { return currentTextView_ ? currentTextView_() : nullptr; }
    // The edit opens in the row of the words it edits, as the transcript now stands. A click or a
    // step makes a word current at once but its row current only once the player has reached the
    // word: a key typed in between would otherwise open the edit in the row left behind, or in none.
    void makeRowOfSelectionCurrent();
    // Appends `reason` while an edit is open, then cancels.
    void cancelBecause(const QString& reason);
    // Back to the read-only view: locks released, flags cleared, panels enabled.
    void closeEdit(const QString& method);
    void seekThenResume(std::int64_t milliseconds, bool resume);
    void notifyEditState();

    EditingEnvironment& env_;
    TextChangeFilter& filter_;
    EditedTextTokenizer& tokenizer_;
    WordEditCommit& commit_;
    DeleteJoinCommands& deleteJoin_;
    std::function<qv::TextViewModel*()> currentTextView_;
    std::function<void()> editStateChanged_;
    // The selected words' statuses when the edit began: the filter marks words it changes as
    // edited, and both undo and cancel must bring the old status back.
    std::vector<std::pair<std::shared_ptr<QVWord>, std::int64_t>> statusesBeforeEdit_;
};
