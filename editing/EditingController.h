// The transcript-editing subsystem as the rest of the application sees it: owns every word
// command and answers the editing services the other subsystems call. Main thread only.
#pragma once

#include "editing/CaseCommands.h"
#include "editing/DeleteJoinCommands.h"
#include "editing/EditedTextTokenizer.h"
#include "editing/EditingEnvironment.h"
#include "editing/FavoriteCommands.h"
#include "editing/ParagraphCommands.h"
#include "editing/PunctuationCommands.h"
#include "editing/SelectionCommands.h"
#include "editing/TextChangeFilter.h"
#include "editing/WordEditCommit.h"
#include "editing/WordEditingSession.h"
#include "editing/WrapCommands.h"
#include "model/EditingServices.h"

class QVEditingViewController;
namespace qv {
class Pasteboard;
}

class EditingController final : public EditingServices {
public:
    EditingController(AppDelegate& ad, qv::Dispatcher& mainQueue, qv::AlertPresenter& alerts, qv::Pasteboard& pasteboard);
    EditingController(const EditingController&) = delete;
    EditingController& operator=(const EditingController&) = delete;

    EditingEnvironment environment;
    WordEditCommit commit;
    EditedTextTokenizer tokenizer;
    SelectionCommands selection;
    CaseCommands caseCommands;
    DeleteJoinCommands deleteJoin;
    WrapCommands wrap;
    PunctuationCommands punctuation;
    ParagraphCommands paragraphs;
    FavoriteCommands favorites;
    TextChangeFilter filter;
    WordEditingSession session;

    // The text view model of the current row; the transcript view provides it.
    void setCurrentTextViewModel(const std::function<qv::TextViewModel*()>& accessor);

    QVOrderedSet<QVWord> getSelectedWords() override { return SelectionCommands::getSelectedWords(environment.ad); }
    void clearSelection() override { selection.clearSelection(); }
    bool hasMultipleWordsSelected() override { return SelectionCommands::hasMultipleWordsSelected(environment.ad); }

    bool finishEditingIfNecessary() override { return session.finishEditingIfNecessary(); }
    void willEditTextView(const qv::TextViewModel& textView, qv::TextRange range, const QString& replacement) override
    {
        filter.willEditTextView(textView, range, replacement);
    }
    void updateTypingAttributesForTextView(qv::TextViewModel& textView) override
    {
        filter.updateTypingAttributesForTextView(textView);
    }
    void editWordsCancel() override { session.editWordsCancel(); }
    void editWordsFinishWithResumePlayback(bool resume) override { session.editWordsFinishWithResumePlayback(resume); }
    void insertStringIntoTextView(const QString& text) override { selection.insertStringIntoTextView(text); }
    void editWords(const QVOrderedSet<QVWord>& words, const QString& text) override { tokenizer.editWords(words, text); }

    bool canUppercaseFirstWords(const QVOrderedSet<QVWord>& words) override { return caseCommands.canUppercaseFirstWords(words); }
    bool canLowercaseWord(const std::shared_ptr<QVWord>& word) override { return caseCommands.canLowercaseWord(word); }
    bool editWordsToUppercaseFirst(const QVOrderedSet<QVWord>& words, bool shouldReloadRow) override
    {
        return caseCommands.editWordsToUppercaseFirst(words, shouldReloadRow);
    }
    bool editWordsToLowercase(const QVOrderedSet<QVWord>& words, bool shouldReloadRow) override
    {
        return caseCommands.editWordsToLowercase(words, shouldReloadRow);
    }

    // The editing-controls panel, which registers itself here for its lifetime; none before the
    // window makes it.
    void setEditingViewController(QVEditingViewController* panel) { editingVC_ = panel; }
    QVEditingViewController* editingViewController() const { return editingVC_; }
    void configureUI() override;
    void refreshEditingOptions() override;
    // Told after an inline edit opened or closed and the panel followed: the window moves the
    // keyboard focus to the edited row's text view and back.
    void setEditStateChanged(std::function<void()> changed) { editStateChanged_ = std::move(changed); }

private:
    QVEditingViewController* editingVC_ = nullptr;
    std::function<void()> editStateChanged_;
};
