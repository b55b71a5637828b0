// What the other subsystems call of transcript editing: the selection, the inline edit, the case
// commands the speaker commands reuse, and the editing-controls panel. The editing subsystem
// implements it; tests give a recording fake. Main thread only.
#pragma once

#include "model/QVOrderedSet.h"
#include "model/QVWord.h"

#include "platform/foundation/RegularExpression.h"

#include <QString>

namespace qv {
class TextViewModel;
}

class EditingServices {
public:
    virtual ~EditingServices() = default;

    // Selection.
    // The selected words by start, or the current word alone, or none.
    virtual QVOrderedSet<QVWord> getSelectedWords() = 0;
    // Clears the selection's first and last word; blanks the duration display on a later turn.
    virtual void clearSelection() = 0;
    // The selection's first and last word are both set and differ.
    virtual bool hasMultipleWordsSelected() = 0;

    // The inline edit.
    // Ends an open edit without resuming playback and answers true; false and nothing otherwise.
    virtual bool finishEditingIfNecessary() = 0;
    // Maps a change the edited row's text view is about to make onto the words being edited.
    virtual void willEditTextView(const qv::TextViewModel& textView, qv::TextRange range, const QString& replacement) = 0;
    // Restores the words as they were and closes the edit.
    virtual void editWordsCancel() = 0;
    // Commits the edit (or deletes the words, or cancels when it cannot be processed).
    virtual void editWordsFinishWithResumePlayback(bool resume) = 0;
    // Chooses the attributes of text typed at the text view's selection, which just moved.
    // Without an editing subsystem typed text keeps the view's own attributes.
    virtual void updateTypingAttributesForTextView(qv::TextViewModel&) {}
    // Inserts `text` in place of the edit's selection while an edit is open; nothing otherwise.
    virtual void insertStringIntoTextView(const QString& text) = 0;
    // Replaces consecutive `words` by the words of `text`, fitted into their time, written and
    // undoable; nothing for an empty set or without a current speaker range.
    virtual void editWords(const QVOrderedSet<QVWord>& words, const QString& text) = 0;

    // Case commands; each registers its own inverse. Answer whether a word changed.
    virtual bool canUppercaseFirstWords(const QVOrderedSet<QVWord>& words) = 0;
    virtual bool canLowercaseWord(const std::shared_ptr<QVWord>& word) = 0;
    virtual bool editWordsToUppercaseFirst(const QVOrderedSet<QVWord>& words, bool shouldReloadRow) = 0;
    virtual bool editWordsToLowercase(const QVOrderedSet<QVWord>& words, bool shouldReloadRow) = 0;

    // The editing-controls panel.
    virtual void configureUI() = 0;
    virtual void refreshEditingOptions() = 0;
};
