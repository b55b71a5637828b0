#include "platform/ui/ScriptedPresenters.h"

#include <QPageSize>
#include <QPdfWriter>

namespace qv {

void ScriptedSavePanelPresenter::beginSheet(const SavePanel& panel, SavePanelCompletion completion) {
    shown_.push_back(panel);
    if (answers_.empty()) {
        open_ = std::move(completion);
        return;
    }
    const Answer answer = answers_.front();
    answers_.pop_front();
    apply(answer, completion);
}

void ScriptedSavePanelPresenter::answerOpenSheet(const Answer& answer) {
    if (!open_) return;
    const SavePanelCompletion completion = std::move(*open_);
    open_.reset();
    apply(answer, completion);
}

void ScriptedSavePanelPresenter::apply(const Answer& answer, const SavePanelCompletion& completion) {
    for (const auto& [popUp, title] : answer.picks) {
        const auto& items = popUp->items();
        for (int i = 0; i < int(items.size()); ++i) {
            if (items[i].title == title) {
                popUp->userSelectItemAtIndex(i);
                break;
            }
        }
    }
    completion(answer.response, answer.response == ModalResponse::OK ? answer.path : QString());
}

void ScriptedAlertPresenter::beginSheet(const Alert& alert, std::function<void(int)> completion) {
    shown_.push_back(alert);
    if (!answers_.empty()) {
        const int code = answers_.front();
        answers_.pop_front();
        if (completion) completion(code);
    } else if (holdUnscripted_) {
        open_ = std::move(completion);
    } else if (completion) {
        completion(kAlertFirstButtonReturn);
    }
}

void ScriptedAlertPresenter::answerOpenAlert(int returnCode) {
    if (!open_) return;
    auto completion = std::move(open_);
    open_ = nullptr;
    completion(returnCode);
}

bool ScriptedPrintPanelPresenter::runModal(const QSizeF& paper, const PrintJob& job) {
    proposed_.push_back(paper);
    if (answers_.empty()) return false;
    const Answer answer = answers_.front();
    answers_.pop_front();
    if (!answer.send) return false;
    const QSizeF chosen = answer.paper.isEmpty() ? paper : answer.paper;
    QPdfWriter printer(answer.path);
    printer.setResolution(72);
    printer.setPageSize(QPageSize(chosen, QPageSize::Point, QString(), QPageSize::FuzzyMatch));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0));
    return job(printer, chosen);
}

}  // namespace qv
