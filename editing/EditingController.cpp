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
      favorites(environment)
{
}
