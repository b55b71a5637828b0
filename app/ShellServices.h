// What the account side of the application calls of its windows: the files list, the pending
// (imported) files view, the toolbar and account button, the custom-words panel, the editing
// and speaker panels, the screens and the keyboard. The application's windows implement it;
// tests give a recording fake. Main thread only.
#pragma once

#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QVFile;

class ShellServices {
public:
    virtual ~ShellServices() = default;

    // Files list. Its visible rows, in table order; the shell inserts and removes entries and
    // tells the table through the row calls below.
    virtual std::vector<std::shared_ptr<QVFile>>& filesSearchResults() = 0;
    // The list's status filter: 0 all, -1 deleted, otherwise one file status.
    virtual std::int64_t filesSearchStatus() const = 0;
    virtual void filesTableBeginUpdates() = 0;
    virtual void filesTableEndUpdates() = 0;
    // Inserts (slide-down) or removes (slide-up) one row of the files table.
    virtual void filesTableInsertRow(std::size_t row) = 0;
    virtual void filesTableRemoveRow(std::size_t row) = 0;
    // Removes the row with the slide-up animation and rebuilds the rows when it has finished.
    virtual void filesTableRemoveRowThenSearch(std::size_t row) = 0;
    virtual void filesTableReloadRow(std::size_t row) = 0;
    virtual void filesTableReloadData() = 0;
    // Rebuilds filesSearchResults from the files, the search text and the status filter.
    virtual void searchForFile() = 0;
    virtual void reloadFiles() = 0;
    // Loading message while files load, else the no-files view when nothing matches.
    virtual void refreshFilesUI() = 0;
    virtual void enableSearch(bool enabled) = 0;

    // Pending (imported) files view.
    virtual void refreshPendingView() = 0;
    virtual void refreshBusyErrorStatus() = 0;
    virtual void setPendingTableEnabled(bool enabled) = 0;
    // Turns dropped media into pending files and adds them at the end of the pending list.
    virtual void addPendingFilesFromURLs(const std::vector<QUrl>& urls) = 0;

    // Screens, toolbar and account button.
    virtual void transitionToFiles() = 0;
    virtual void transitionToLogIn() = 0;
    virtual void setAccountButtonVisible(bool visible) = 0;
    // Hides the account button's title and tool tip back to the signed-out "Loading… ▼".
    virtual void resetAccountButton() = 0;
    virtual void refreshAccountButton() = 0;
    // Hides the transcript screen's files button, time and selection displays and file name.
    virtual void hideTranscriptToolbarItems() = 0;
    virtual void redrawBottomToolbar() = 0;
    virtual void bringMainWindowToFront() = 0;
    virtual void removeOnboardingPage() = 0;
    virtual void animateLogo() = 0;
    // Closes the popover that says the file is open on another computer, when one is shown.
    virtual void closeViewingOnlyPopover() = 0;

    // Editing and speakers: re-read whether changes are allowed.
    virtual void refreshEditingOptions() = 0;
    virtual void refreshSpeakerRangeChangesAllowed() = 0;
    virtual void finishEditingIfNecessary() = 0;

    // Custom-words panel.
    virtual bool customWordsPanelShowsFileWords() const = 0;
    virtual bool customWordsPanelShowsAccountWords() const = 0;
    virtual void refreshCustomWordsDisplay(bool animated) = 0;

    // The keyboard's modifier flags at this moment (bits 16 to 31 as the desktop reports them).
    virtual std::uint64_t currentModifierFlags() const = 0;
    virtual void setTelemetryUserId(const QString& uid) = 0;

    // A library drop waiting for transcripts: sends it back to the editing application.
    virtual void sendBackDroppedXML() = 0;

    // Asks, as a critical sheet on the main window, whether to log out; `answer` gets true
    // for "Log Out".
    virtual void confirmLogOut(const QString& message, const QString& informativeText,
                               std::function<void(bool logOut)> answer) = 0;
};
