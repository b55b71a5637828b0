// The transcript's editing in the window: the editing-controls panel in the transcript toolbar,
// and the key handler as the transcript's keyboard focus while no text view holds it. The focus
// moves to the edited row's text view when an inline edit opens and back when it closes.
#pragma once

#include <memory>

class AppDelegate;
class EditingController;
class QVEditingViewController;
class QVKeyHandler;
class QWidget;

namespace qv::shell {

class MainWindow;
class TranscriptScreen;

class EditingControls {
public:
    // Everything handed in must outlive this object.
    EditingControls(AppDelegate& ad, EditingController& editing, MainWindow& window, TranscriptScreen& transcript);
    ~EditingControls();
    EditingControls(const EditingControls&) = delete;
    EditingControls& operator=(const EditingControls&) = delete;

    QWidget* keyHandler() const;
    QWidget* panel() const;

private:
    std::unique_ptr<QVKeyHandler> keyHandler_;
    std::unique_ptr<QVEditingViewController> panel_;
};

}  // namespace qv::shell
