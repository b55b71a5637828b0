// The application object: it comes up with the program, owns the main window, the service line,
// the sign-in, the database client and every controller, and lives until the program ends. It
// runs the launch sequence, answers the windows' calls (ShellServices, WidgetsHost), decides menu items and
// carries out their actions, and ends the program. Main thread only.
#pragma once

#include "app/AccountShell.h"
#include "app/ShellServices.h"
#include "app/shell/AudioConfigurationMenu.h"
#include "app/shell/EditingControls.h"
#include "app/shell/LaunchConfiguration.h"
#include "app/shell/MainWindow.h"
#include "app/shell/QuitController.h"
#include "app/shell/ScreenController.h"
#include "app/shell/TranscriptScreen.h"
#include "app/widgets/AccountMessages.h"
#include "app/widgets/QVAccountPopoverViewController.h"
#include "app/widgets/QVKeyboardShortcutsWC.h"
#include "app/widgets/QVPreferencesWC.h"
#include "app/widgets/QVAuthViewController.h"
#include "app/widgets/QVStringPopover.h"
#include "app/widgets/QVFilesViewController.h"
#include "app/widgets/WidgetsHost.h"
#include "editing/EditingController.h"
#include "export/ExportController.h"
#include "fcpx/FCPXController.h"
#include "fcpx/FCPXLibraryDrop.h"
#include "fcpx/FCPXSendBack.h"
#include "fcpx/QVRelinkComplexClipsWC.h"
#include "intake/IntakeHooks.h"
#include "intake/QVFilesPendingViewController.h"
#include "model/AppDelegate.h"
#include "model/FileRecordController.h"
#include "model/LocalFileData.h"
#include "model/TranscriptLoader.h"
#include "search/QVCustomWordsViewController.h"
#include "platform/foundation/Dispatcher.h"
#include "platform/foundation/Preferences.h"
#include "platform/rtdb/Auth.h"
#include "platform/rtdb/DatabaseClient.h"
#include "platform/rtdb/RemoteAuthService.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/QtPresenters.h"
#include "transcript-view/QVVideoThumbnailManager.h"
#include "transcript-view/QVWaveformManager.h"
#include "transcript-view/WaveformGenerationQueue.h"

#include <QFileDialog>

#include <QNetworkAccessManager>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <thread>

class QTcpSocket;

namespace qv::hub {
class EmbeddedService;
}
namespace ze {
class ZEHostAdapter;
}

namespace qv::shell {

class SessionConnection;

class ApplicationShell final : public ShellServices, public WidgetsHost {
public:
    // What the launch reports to whoever watches it (the end-to-end test, the benchmarks).
    struct Observers {
        // The log-in screen is up with the sign-in form, the service reached.
        std::function<void()> signInReady;
        // The service could not be reached (or started); the message is on screen.
        std::function<void(const QString& message)> serviceProblem;
    };

    // The initialiser: defaults, upgrades, tables. Nothing is shown yet.
    ApplicationShell(Dispatcher& mainQueue, Preferences& preferences, LaunchConfiguration config);
    ~ApplicationShell() override;
    ApplicationShell(const ApplicationShell&) = delete;
    ApplicationShell& operator=(const ApplicationShell&) = delete;

    void setObservers(Observers observers) { observers_ = std::move(observers); }
    // The launch sequence: the window, the service, sign-in, the account's observers.
    void applicationDidFinishLaunching();
    // The quit request of every road out (menu, window, session end).
    void requestQuit();
    void applicationWillTerminate();

    // Reaching the service again after it could not be reached.
    void retryService();

    MainWindow& window() { return window_; }
    AppDelegate& ad() { return ad_; }
    ScreenController& screens() { return screens_; }
    Auth* auth() { return auth_.get(); }
    DatabaseClient* database() { return client_.get(); }
    AccountShell* account() { return account_.get(); }
    const LaunchConfiguration& configuration() const { return config_; }
    // The http address of the service in use once it is reached.
    QUrl serviceHttpUrl() const { return serviceHttpUrl_; }

    MenuItemState validateMenuItem(const QString& action, int tag);
    void performAction(const QString& action, int tag);
    // Shows the right panel's tab of `tag` (0 custom words, 1 search, 2 media) and remembers it.
    void selectRightPanelTab(int tag);
    // Reads the library at `path` as though it had been dropped on the pending list.
    void openLibraryFile(const QString& path);
    // The drop of partner-editor libraries and their send-back; none before the service is reached.
    FCPXLibraryDrop* libraryDrop() { return libraryDrop_.get(); }

    // ShellServices: the files list's calls go to the files list.
    std::vector<std::shared_ptr<QVFile>>& filesSearchResults() override { return files_.filesSearchResults(); }
    std::int64_t filesSearchStatus() const override { return files_.filesSearchStatus(); }
    void filesTableBeginUpdates() override { files_.filesTableBeginUpdates(); }
    void filesTableEndUpdates() override { files_.filesTableEndUpdates(); }
    void filesTableInsertRow(std::size_t row) override { files_.filesTableInsertRow(row); }
    void filesTableRemoveRow(std::size_t row) override { files_.filesTableRemoveRow(row); }
    void filesTableRemoveRowThenSearch(std::size_t row) override { files_.filesTableRemoveRowThenSearch(row); }
    void filesTableReloadRow(std::size_t row) override { files_.filesTableReloadRow(row); }
    void filesTableReloadData() override { files_.filesTableReloadData(); }
    void searchForFile() override { files_.searchForFile(); }
    void reloadFiles() override { files_.reloadFiles(); }
    void refreshFilesUI() override { files_.refreshFilesUI(); }
    void enableSearch(bool enabled) override { files_.enableSearch(enabled); }
    void refreshPendingView() override { pending_->refreshPendingView(); }
    void refreshBusyErrorStatus() override { pending_->refreshBusyErrorStatus(); }
    void setPendingTableEnabled(bool enabled) override;
    void addPendingFilesFromURLs(const std::vector<QUrl>& urls) override
    {
        pending_->addFilesData(QVFilesPendingViewController::createFileDataFromURLs(urls), -1);
    }
    void transitionToFiles() override { screens_.transitionToFiles(); }
    void transitionToLogIn() override { screens_.transitionToLogIn(); }
    void setAccountButtonVisible(bool visible) override;
    void resetAccountButton() override;
    void refreshAccountButton() override;
    void hideTranscriptToolbarItems() override { window_.setTranscriptToolbarItemsVisible(false, false); }
    void redrawBottomToolbar() override;
    void bringMainWindowToFront() override;
    void removeOnboardingPage() override {}
    void animateLogo() override { window_.animateLogo(); }
    void closeViewingOnlyPopover() override;
    void refreshEditingOptions() override { editing_.refreshEditingOptions(); }
    void refreshSpeakerRangeChangesAllowed() override;
    void finishEditingIfNecessary() override { editing_.finishEditingIfNecessary(); }
    bool customWordsPanelShowsFileWords() const override;
    bool customWordsPanelShowsAccountWords() const override;
    void refreshCustomWordsDisplay(bool animated) override;
    std::uint64_t currentModifierFlags() const override;
    void setTelemetryUserId(const QString& uid) override;
    void sendBackDroppedXML() override
    {
        if (sendBack_)
            sendBack_->sendBackDroppedXML();
    }
    void confirmLogOut(const QString& message, const QString& informativeText,
                       std::function<void(bool logOut)> answer) override;

    // WidgetsHost
    void openSelectedFile() override { screens_.openSelectedFile(); }
    void resetFocus() override { window_.resetFocus(); }
    void changeFileStatus(const std::shared_ptr<QVFile>& file, std::int64_t status) override;
    void deleteFile(const std::shared_ptr<QVFile>& file) override;
    void restoreFile(const std::shared_ptr<QVFile>& file) override;
    void showBuyMinutes() override { performAction(QStringLiteral("showBuyMinutes:"), 0); }
    void logOut() override;
    void openURL(const QUrl& url) override { openUrl(url); }
    QUrl webApplicationURL(const QString& path) const override;
    QUrl productSiteURL(const QString& path) const override;
    AlertPresenter& sheetAlerts() override { return alerts_; }
    AlertPresenter& applicationModalAlerts() override { return alerts_; }

    QVFilesViewController& filesList() { return files_; }
    QVFilesPendingViewController& pendingList() { return *pending_; }
    // Media files opened with the program while it runs (or given on its command line).
    void openFiles(const QStringList& paths) { pending_->openFiles(paths); }
    TranscriptScreen& transcriptScreen() { return transcript_; }
    search::QVCustomWordsViewController& customWords() { return *words_; }
    QVAuthViewController* signIn() { return signIn_.get(); }
    QtSavePanelPresenter& savePanels() { return savePanels_; }
    EditingControls& editingControls() { return *editingControls_; }

private:
    void reachService();
    // The drop of partner-editor libraries and their send-back, made with the account.
    void makeLibraryRoad();
    void probeService(const QUrl& url);
    void serviceReached(const QUrl& httpUrl);
    void reportServiceProblem(const QString& message);
    void startTelemetry();
    void checkDisplay();
    void applyPanelPreferences(bool animated);
    void togglePreference(const char* key);
    void openUrl(const QUrl& url);
    // The account popover under the account button; made on first use, closed by a click
    // outside it.
    void showAccountPopover();
    // Says why the transcript can only be viewed; a second press closes it.
    void viewingOnlyPressed();
    void closeAccountPopover();
    ScreenController::Hooks screenHooks();
    IntakeHooks intakeHooks();
    // The open panel of media files, as a sheet on the main window.
    void chooseMediaFiles(std::function<void(const std::vector<QUrl>&)> done);
    TranscriptScreen::Hooks transcriptHooks();
    QuitController::Hooks quitHooks();

    Dispatcher& mainQueue_;
    Preferences& preferences_;
    LaunchConfiguration config_;
    Observers observers_;
    AppDelegate ad_;
    MainWindow window_;
    QtAlertPresenter alerts_;
    QtSavePanelPresenter savePanels_;
    QtPrintPanelPresenter printPanels_;
    ClipboardPasteboard pasteboard_;
    EditingController editing_;
    LocalFileData localFileData_;
    FileRecordController fileRecords_;
    ScreenController screens_;
    QuitController quit_;
    QVFilesViewController files_;
    AccountMessages messages_;
    QVWaveformManager waveformManager_;
    WaveformGenerationQueue waveformGenerationQueue_;
    transcript::QVVideoThumbnailManager videoThumbnailManager_;
    IntakeHooks intakeHooks_;
    // The pending list's half of the files screen; the window holds its view.
    std::unique_ptr<QVFilesPendingViewController> pending_;
    // The Edit menu's copy and paste of the pending panel's channel configuration.
    std::unique_ptr<AudioConfigurationMenu> audioConfigurationMenu_;
    // Gone before the editing controller and the window, after the transcript table it takes
    // the keys of.
    std::unique_ptr<EditingControls> editingControls_;
    // Declared after the window: its widgets leave the window before the window goes.
    TranscriptScreen transcript_;
    // The custom words tab of the right panel.
    std::unique_ptr<search::QVCustomWordsViewController> words_;
    TranscriptLoader loader_;
    QNetworkAccessManager network_;

    std::shared_ptr<hub::EmbeddedService> embedded_;
    // Starts the embedded service off the main thread; joined once it reports.
    std::thread serviceStarter_;
    QPointer<QTcpSocket> probe_;
    QUrl serviceHttpUrl_;
    std::unique_ptr<RemoteAuthService> authService_;
    std::unique_ptr<Auth> auth_;
    SessionConnection* connection_ = nullptr;  // owned by client_
    std::unique_ptr<DatabaseClient> client_;
    std::unique_ptr<AccountShell> account_;
    // The File menu's exports; made with the account, whose file-status controller marks and counts them.
    std::unique_ptr<ExportController> exports_;
    std::unique_ptr<FCPXController> fcpx_;
    std::unique_ptr<FCPXSendBack> sendBack_;
    std::unique_ptr<FCPXLibraryDrop> libraryDrop_;
    // The relink sheet while it is shown.
    std::unique_ptr<QVRelinkComplexClipsWC> relinkSheet_;
    // The library of the command line, opened once the account may import.
    QString waitingLibrary_;
    std::unique_ptr<QVAuthViewController> signIn_;
    QVAccountPopoverViewController accountPopoverViewController_;
    QPointer<QWidget> accountPopover_;
    QPointer<QVStringPopover> viewingOnlyPopover_;
    std::unique_ptr<QVPreferencesWC> preferencesWindow_;
    QVKeyboardShortcutsWC keyboardShortcutsWindow_;
    std::unique_ptr<ze::ZEHostAdapter> telemetry_;
    bool quitting_ = false;
    // Work queued on the main queue is dropped once the application object is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qv::shell
