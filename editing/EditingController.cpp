#include "editing/EditingController.h"

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
}

void EditingController::setCurrentTextViewModel(const std::function<qv::TextViewModel*()>& accessor)
{
    selection.setCurrentTextViewModel(accessor);
    session.setCurrentTextViewModel(accessor);
}
