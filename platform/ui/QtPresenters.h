#pragma once
// The presenters of the running application: a file dialog with the accessory pop-ups below
// it, message boxes, both window-modal on the main window, and the print dialog.
#include "platform/ui/Alert.h"
#include "platform/ui/PrintPanel.h"
#include "platform/ui/SavePanel.h"

#include <QPointer>
#include <QString>
#include <memory>

class QFileDialog;
class QWidget;

namespace qv {

class QtSavePanelPresenter : public SavePanelPresenter {
public:
    explicit QtSavePanelPresenter(QWidget* window) : window_(window) {}
    void beginSheet(const SavePanel& panel, SavePanelCompletion completion) override;
    void orderOut() override;

    // The dialog on screen, if any (for tests of the widget layer).
    QFileDialog* currentDialog() const { return dialog_; }

private:
    QWidget* window_;
    QPointer<QFileDialog> dialog_;
    // Where the last accepted save went; the next dialog opens there. Shared with the open
    // dialog, which may outlive the presenter.
    std::shared_ptr<QString> folder_ = std::make_shared<QString>();
};

class QtAlertPresenter : public AlertPresenter {
public:
    explicit QtAlertPresenter(QWidget* window) : window_(window) {}
    void beginSheet(const Alert& alert, std::function<void(int)> completion) override;
    void beep() override;

private:
    QWidget* window_;
};

class QtPrintPanelPresenter : public PrintPanelPresenter {
public:
    explicit QtPrintPanelPresenter(QWidget* window) : window_(window) {}
    bool runModal(const QSizeF& paper, const PrintJob& job) override;

private:
    QWidget* window_;
};

}  // namespace qv
