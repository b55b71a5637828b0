// What the screen transitions change in the main window: the selected page, the transcript
// screen's toolbar items, the View menu's check marks, focus, the files list's messages, the
// cover over the window while the transcript jumps to its last position, and the logo. The main
// window implements it; tests give a recording fake. Main thread only.
#pragma once

#include <QString>

#include <functional>
#include <memory>

class QVFile;

namespace qv::shell {

class ScreenView {
public:
    virtual ~ScreenView() = default;

    // Pages 0 log-in, 1 files list, 2 transcript.
    virtual void selectTab(int index) = 0;
    // The back button, time and selection displays, favourite and rate buttons, the right
    // panel's switch and the file name; the missing-media button only with `missingMedia`.
    virtual void setTranscriptToolbarItemsVisible(bool visible, bool missingMedia) = 0;
    virtual void setCurrentFileName(const QString& name) = 0;
    virtual void setViewMenuChecks(bool files, bool transcript) = 0;
    virtual void enableNavigationButtons(bool enabled) = 0;

    virtual void focusSignInEmail() = 0;
    // The files list: scrolled to the top, its table focused, its loading message shown.
    virtual void scrollFilesListToTop() = 0;
    virtual void focusFilesTable() = 0;
    virtual void showFilesLoadingMessage() = 0;
    // The file of the files list's first selected row; none without a selection.
    virtual std::shared_ptr<QVFile> selectedFile() = 0;
    // The content view takes the keyboard focus.
    virtual void resetFocus() = 0;
    virtual void closeAccountPopover() = 0;

    virtual void updateFilesLayout() = 0;
    virtual void updateToolbarItems() = 0;
    virtual void animateLogo() = 0;
    virtual void resetAnimatingLogo() = 0;

    // Covers the window with a picture of itself; false when none could be taken.
    virtual bool showCover() = 0;
    virtual bool isCoverShown() const = 0;
    virtual void hideCover() = 0;
    // `scrolled` runs once, at the transcript's next scroll; a second call replaces it, an empty
    // one stops watching.
    virtual void watchTranscriptScroll(std::function<void()> scrolled) = 0;

    // The critical sheet with a suppression box; `answer` gets whether the box was ticked.
    virtual void showMissingMediaWarning(std::function<void(bool suppress)> answer) = 0;
    // The Option (Alt) key is held in the event being handled.
    virtual bool isOptionKeyDown() const = 0;
};

}  // namespace qv::shell
