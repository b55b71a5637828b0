#include "app/shell/EditingControls.h"

#include "app/shell/MainWindow.h"
#include "app/shell/TranscriptScreen.h"
#include "editing/EditingController.h"
#include "editing/QVEditingViewController.h"
#include "editing/QVKeyHandler.h"
#include "transcript-view/QVTextView.h"

namespace qv::shell {

EditingControls::EditingControls(AppDelegate& ad, EditingController& editing, MainWindow& window,
                                 TranscriptScreen& transcript)
    : keyHandler_(std::make_unique<QVKeyHandler>(editing)),
      panel_(std::make_unique<QVEditingViewController>(ad, editing))
{
    keyHandler_->setObjectName(QStringLiteral("keyHandler"));
    keyHandler_->setSpeakerRangeButtonsVisible(
        [&transcript] { return !transcript.speakers().rangeButtonsHidden().current; },
        [&transcript] { return !transcript.speakers().rangeButtonsHidden().next; });
    window.setTranscriptKeyFocus(keyHandler_.get());
    // A click in the transcript gives the table the focus; its keys go to the key handler.
    transcript.tableWidget()->setFocusProxy(keyHandler_.get());
    keyHandler_->setPageKeysTarget(transcript.tableWidget());
    panel_->setObjectName(QStringLiteral("editingControls"));
    window.setEditingPanel(panel_.get());
    editing.setEditStateChanged([&ad, handler = keyHandler_.get()] {
        if (ad.isEditing && ad.currentTextView)
            ad.currentTextView->setFocus(Qt::OtherFocusReason);
        else if (ad.currentMode == 2)
            handler->setFocus(Qt::OtherFocusReason);
    });
}

EditingControls::~EditingControls() = default;

QWidget* EditingControls::keyHandler() const { return keyHandler_.get(); }

QWidget* EditingControls::panel() const { return panel_.get(); }

}  // namespace qv::shell
