#include "editing/EditingController.h"

#include "editing/QVEditingViewController.h"

EditingController::EditingController(AppDelegate& ad, qv::Dispatcher& mainQueue, qv::AlertPresenter& alerts,
                                     qv::Pasteboard& pasteboard)
    : environment(ad, mainQueue, alerts),
      commit(environment),
      tokenizer(environment, commit),
      selection(environment, tokenizer, pasteboard),
      caseCommands(environment),
      deleteJoin(environment, caseCommands),
      wrap(environment, caseCommands),
      punctuation(environment, caseCommands, wrap, deleteJoin),
      paragraphs(environment),
      favorites(environment),
      filter(environment),
      session(environment, filter, tokenizer, commit, deleteJoin)
{
    commit.setEditWordsCancel([this] { session.editWordsCancel(); });
    filter.setEditWordsCancel([this] { session.editWordsCancel(); });
    session.setEditStateChanged([this] {
        refreshEditingOptions();
        if (editStateChanged_)
            editStateChanged_();
    });
}

void EditingController::configureUI()
{
    if (editingVC_)
        editingVC_->configureUI();
}

void EditingController::refreshEditingOptions()
{
    if (editingVC_)
        editingVC_->refreshEditingOptions();
}

void EditingController::setCurrentTextViewModel(const std::function<qv::TextViewModel*()>& accessor)
{
    selection.setCurrentTextViewModel(accessor);
    session.setCurrentTextViewModel(accessor);
}
