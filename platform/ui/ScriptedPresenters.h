#pragma once
// Presenters for tests: they record what would have been shown and answer from a script, at
// once and on the caller's thread, so that a test drives a whole panel or alert exchange
// without a window.
#include "platform/ui/Alert.h"
#include "platform/ui/PrintPanel.h"
#include "platform/ui/SavePanel.h"

#include <deque>
#include <optional>
#include <vector>

#include <QString>

namespace qv {

class ScriptedSavePanelPresenter : public SavePanelPresenter {
public:
    struct Answer {
        // Items the user picks before ending the sheet: a pop-up and the title of its item.
        std::vector<std::pair<PopUpButton*, QString>> picks;
        ModalResponse response = ModalResponse::OK;
        QString path;
    };

    // Queues the answer to the next sheet. A sheet that finds no answer stays open.
    void script(Answer answer) { answers_.push_back(std::move(answer)); }

    void beginSheet(const SavePanel& panel, SavePanelCompletion completion) override;
    void orderOut() override { ++orderOutCount_; }

    // Answers the sheet left open.
    void answerOpenSheet(const Answer& answer);
    bool hasOpenSheet() const { return open_.has_value(); }

    const std::vector<SavePanel>& shownPanels() const { return shown_; }
    int orderOutCount() const { return orderOutCount_; }

private:
    void apply(const Answer& answer, const SavePanelCompletion& completion);

    std::deque<Answer> answers_;
    std::vector<SavePanel> shown_;
    std::optional<SavePanelCompletion> open_;
    int orderOutCount_ = 0;
};

class ScriptedAlertPresenter : public AlertPresenter {
public:
    // Queues the return code of the next alert. An alert that finds none is answered with the
    // first button, unless holdUnscripted is set: then it stays open.
    void script(int returnCode) { answers_.push_back(returnCode); }
    void setHoldUnscripted(bool hold) { holdUnscripted_ = hold; }

    void beginSheet(const Alert& alert, std::function<void(int)> completion) override;
    void beep() override { ++beepCount_; }

    void answerOpenAlert(int returnCode);
    bool hasOpenAlert() const { return static_cast<bool>(open_); }

    const std::vector<Alert>& shownAlerts() const { return shown_; }
    int beepCount() const { return beepCount_; }

private:
    std::deque<int> answers_;
    bool holdUnscripted_ = false;
    std::vector<Alert> shown_;
    std::function<void(int)> open_;
    int beepCount_ = 0;
};

class ScriptedPrintPanelPresenter : public PrintPanelPresenter {
public:
    // Whether the user sends the next job; a sent job is painted into a PDF file at `path`, on
    // `paper` (points) when given, else on the paper proposed. Unscripted panels are cancelled.
    void script(bool send, QString path = {}, QSizeF paper = {}) {
        answers_.push_back({send, std::move(path), paper});
    }

    bool runModal(const QSizeF& paper, const PrintJob& job) override;

    const std::vector<QSizeF>& proposedPapers() const { return proposed_; }

private:
    struct Answer {
        bool send = false;
        QString path;
        QSizeF paper;
    };
    std::deque<Answer> answers_;
    std::vector<QSizeF> proposed_;
};

}  // namespace qv
