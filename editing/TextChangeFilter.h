// Keeps the working words of an open inline edit in step with the text, keystroke by keystroke:
// every change the row's text view is about to make is applied to the edited text and mapped
// onto the words (a blank typed into a word splits it, a deleted blank joins two, new text makes
// new words, deleted text drops words), then the words' ranges are renumbered from the text.
// Main thread only.
#pragma once

#include "platform/foundation/RegularExpression.h"

#include <QString>

#include <functional>

class EditingEnvironment;

namespace qv {
class TextViewModel;
}

class TextChangeFilter {
public:
    explicit TextChangeFilter(EditingEnvironment& env) : env_(env) {}

    // Cancels the open edit; the filter calls it when its own arithmetic would corrupt a word.
    void setEditWordsCancel(std::function<void()> cancel) { editWordsCancel_ = std::move(cancel); }

    // `replacement` is about to take the place of `range` (row-text indexes) in `textView`.
    void willEditTextView(const qv::TextViewModel& textView, qv::TextRange range, const QString& replacement);
    // Typing attributes for the text view's selection: text typed next to highlighted text is
    // highlighted too.
    void updateTypingAttributesForTextView(qv::TextViewModel& textView) const;

private:
    // Gives every working word the range of its run of non-separator characters.
    void renumber(qsizetype lower);
    void fail(const QString& originalPending, qsizetype u, qsizetype n, const QString& replacement, qsizetype loc,
              qsizetype e, qsizetype start, qsizetype end);

    EditingEnvironment& env_;
    std::function<void()> editWordsCancel_;
};
