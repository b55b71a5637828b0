#include "app/shell/ApplicationShell.h"

#include "sdk/host/ZEHostAdapter.h"
#include "sdk/telemetry/ZEZavEdurov.h"
#include "sdk/analytics/ZEAnalytics.h"
#include "sdk/crashes/ZECrashes.h"
#include "app/AccountNodes.h"
#include "app/shell/AccountLinks.h"
#include "app/shell/DisplayCheck.h"
#include "app/shell/LaunchDefaults.h"
#include "app/shell/LibraryClips.h"
#include "app/shell/SessionConnection.h"
#include "app/shell/ToolbarLayout.h"
#include "app/widgets/UserExistenceCheck.h"
#include "model/FileTypes.h"
#include "model/OpenFileQueries.h"
#include "model/SpeakerServices.h"
#include "model/ViewServices.h"
#include "platform/foundation/FileUtilities.h"
#include "platform/foundation/LocalizedString.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UndoManager.h"
#include "platform/media/AudioOutput.h"
#include "services/hub/EmbeddedService.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QFileDialog>
#include <QFrame>
#include <QVBoxLayout>
#include <QOperatingSystemVersion>
#include <QPainter>
#include <QLabel>
#include <QMimeData>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTcpSocket>
#include <QTimer>
#include <QToolButton>

#include <map>

namespace qv::shell {

namespace {

// The custom words and search tabs of the right-hand panel.
constexpr int kWordsTab = 0;
constexpr int kSearchTab = 1;
// Size of the database's disk cache when it is kept, bytes.
constexpr std::uint64_t kPersistenceCacheBytes = 100'000'000;
// How long reaching a configured service may take before it counts as unreachable, ms.
constexpr int kServiceProbeMilliseconds = 3000;
// Modifier flags as the account code reads them.
constexpr std::uint64_t kShiftFlag = 0x20000;
constexpr std::uint64_t kControlFlag = 0x40000;
constexpr std::uint64_t kOptionFlag = 0x80000;
constexpr std::uint64_t kCommandFlag = 0x100000;

// The navigation buttons' actions: the step and its direction.
const std::map<QString, std::pair<void (ViewServices::*)(std::int64_t), std::int64_t>> kNavigationSteps = {
    {QStringLiteral("previousSpeakerRange:"), {&ViewServices::moveToSpeakerRangeWithOffset, -1}},
    {QStringLiteral("previousSentence:"), {&ViewServices::moveToSentenceWithOffset, -1}},
    {QStringLiteral("previousWord:"), {&ViewServices::moveToWordWithOffset, -1}},
    {QStringLiteral("nextWord:"), {&ViewServices::moveToWordWithOffset, 1}},
    {QStringLiteral("nextSentence:"), {&ViewServices::moveToSentenceWithOffset, 1}},
    {QStringLiteral("nextSpeakerRange:"), {&ViewServices::moveToSpeakerRangeWithOffset, 1}},
};

// The File menu's exports.
const std::map<QString, void (ExportController::*)()> kExports = {
    {QStringLiteral("exportToSubRip:"), &ExportController::exportToSubRip},
    {QStringLiteral("exportToiTunesTimedText:"), &ExportController::exportToiTunesTimedText},
    {QStringLiteral("exportToAvidDS:"), &ExportController::exportToAvidDS},
    {QStringLiteral("exportToAvidScript:"), &ExportController::exportToAvidScript},
    {QStringLiteral("exportToPlainText:"), &ExportController::exportToPlainText},
    {QStringLiteral("exportToWord:"), &ExportController::exportToWord},
    {QStringLiteral("exportToPDF:"), &ExportController::exportToPDF},
    {QStringLiteral("printTranscript:"), &ExportController::printTranscript},
};

// The database keeps its cache on disk only for a home folder of the usual kind.
bool keepsDiskCache(const QString& homeFolder)
{
    const QStringList parts = homeFolder.split('/', Qt::SkipEmptyParts);
    return !parts.isEmpty() && (parts.first() == "Users" || parts.first() == "home");
}

// The pending list's picture of a file without video ("audio file icon"), or of a clip whose
// video cannot be had ("files-thumbnail-placeholder"): drawn, as no artwork ships.
QImage paintedIcon(bool placeholder)
{
    QImage image(160, 90, QImage::Format_RGB32);
    image.fill(QColor(38, 38, 38));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(placeholder ? QColor(110, 110, 110) : QColor(255, 65, 20), 4, Qt::SolidLine, Qt::RoundCap));
    // A few bars of a waveform, or a dash for a picture that is missing.
    const int heights[] = {14, 30, 46, 24, 38, 18, 8};
    for (int i = 0; i < 7; ++i) {
        const int h = placeholder ? 4 : heights[i];
        const int x = 44 + i * 12;
        painter.drawLine(x, 45 - h / 2, x, 45 + h / 2);
    }
    return image;
}

OSVersion operatingSystemVersion()
{
    const QVersionNumber version = QVersionNumber::fromString(QSysInfo::kernelVersion());
    return {version.majorVersion(), version.minorVersion(), version.microVersion()};
}

}  // namespace

ApplicationShell::ApplicationShell(Dispatcher& mainQueue, Preferences& preferences, LaunchConfiguration config)
    : mainQueue_(mainQueue), preferences_(preferences), config_(std::move(config)), window_(mainQueue),
      alerts_(&window_), savePanels_(&window_), printPanels_(&window_), editing_(ad_, mainQueue, alerts_, pasteboard_), localFileData_(ad_, preferences),
      fileRecords_(ad_, localFileData_, mainQueue),
      screens_(ad_, mainQueue, preferences, window_, *this, screenHooks()),
      quit_(ad_, preferences, alerts_, quitHooks()), files_(ad_, *this, mainQueue), messages_(*this, mainQueue),
      waveformManager_(mainQueue, preferences),
      videoThumbnailManager_(transcript::QVVideoThumbnailManager::defaultCacheFolder(), paintedIcon(false)),
      intakeHooks_(intakeHooks()),
      transcript_(ad_, mainQueue, preferences, alerts_, transcriptHooks()), loader_(ad_, localFileData_, preferences, &mainQueue),
      accountPopoverViewController_(*this)
{
    LaunchDefaults::registerDefaults(preferences_);
    LaunchDefaults::migrateLegacyKeys(preferences_);
    ad_.versionOS = operatingSystemVersion();
    LaunchDefaults::fillTables(ad_, preferences_);
    ad_.hasLoggedSessionStats = false;
    ad_.editingServices = &editing_;
    // Edits work on the row the transcript table made current.
    editing_.setCurrentTextViewModel([this] { return ad_.currentTextView ? &ad_.currentTextView->model() : nullptr; });

    window_.setCallbacks({
        [this](const QString& action, int tag) { performAction(action, tag); },
        [this](const QString& action, int tag) { return validateMenuItem(action, tag); },
        [this] {
            const bool close = quit_.windowShouldClose();
            if (close)
                mainQueue_.async([this, alive = std::weak_ptr<bool>(alive_)] {
                    if (!alive.expired())
                        requestQuit();
                });
            return close;
        },
        [this] { window_.updateFilesLayout(); },
        [this] { return files_.selectedFile(); },
        [this] { files_.setFocusOnTableView(); },
        [this] {
            if (signIn_)
                signIn_->emailTextField()->setFocus(Qt::OtherFocusReason);
        },
        [this] {
            files_.noFilesContainer()->show();
            files_.loadingMessage()->show();
            files_.noFilesMessage()->hide();
        },
        [this] { closeAccountPopover(); },
    });
    QVAudioConfigurationViewController::Services audioPanel;
    audioPanel.waveformManager = &waveformManager_;
    audioPanel.waveformGenerationQueue = &waveformGenerationQueue_;
    audioPanel.alerts = &alerts_;
    audioPanel.makeAudioOutput = [this] { return makeDefaultAudioOutput(mainQueue_); };
    audioPanel.preferences = &preferences_;
    audioPanel.createImageForAsset = [this](const Asset& asset, const MediaTime& time) {
        return videoThumbnailManager_.createImageForAsset(asset, time);
    };
    pending_ = std::make_unique<QVFilesPendingViewController>(ad_, mainQueue_, preferences_, intakeHooks_,
                                                              std::move(audioPanel), QVFileProcessor::defaultOutputFolder());
    audioConfigurationMenu_ = std::make_unique<AudioConfigurationMenu>(ad_, *pending_);
    pending_->setClipReader(makeLibraryClipReader(ad_, preferences_));
    acceptLibraryDrops(
        window_,
        [this](const QMimeData& data) {
            if (!libraryDrop_)
                return;
            MemoryPasteboard pasteboard = MemoryPasteboard::fromMimeData(data);
            // Every form the library may come in, its plain-text copies too, is read in the
            // encoding its bytes declare; one that cannot be read so is none, never misread.
            for (const QString& type : {kFCPXPasteboardType, kUTF8PlainTextPasteboardType, kStringPasteboardType})
                if (data.hasFormat(type))
                    pasteboard.addType(type, QVXMLDocument::decodedText(data.data(type)));
            libraryDrop_->dropFromFCPX(pasteboard);
        },
        [this](const QString& path) { openLibraryFile(path); });
    window_.setFilesContent(pending_->view(), files_.view());
    window_.setTranscriptContent(transcript_.speakersPanel(), transcript_.tableWidget(), transcript_.scrubBar());
    window_.setMediaPanel(transcript_.audioConfiguration().view());
    window_.addRightPanelTab(transcript_.search().view(), QStringLiteral("Search"), kSearchTab);
    search::QVCustomWordsViewController::Services words;
    words.resetFocus = [this] { window_.resetFocus(); };
    words.showMessage = [](QWidget* anchor, const QString& text) -> QWidget* {
        return QVStringPopover::showRelativeToRect(anchor->rect(), anchor, QVStringPopover::Edge::Bottom, text, 300.0f);
    };
    words_ = std::make_unique<search::QVCustomWordsViewController>(ad_, mainQueue_, preferences_, alerts_, std::move(words));
    window_.addRightPanelTab(words_->view(), QStringLiteral("Words"), kWordsTab);
    window_.selectRightPanelTab(static_cast<int>(preferences_.integerForKey("QVRightPanelTabView")));
    editingControls_ = std::make_unique<EditingControls>(ad_, editing_, window_, transcript_);
    QObject::connect(window_.retryButton(), &QPushButton::clicked, [this] { retryService(); });
}

ApplicationShell::~ApplicationShell()
{
    if (serviceStarter_.joinable())
        serviceStarter_.join();
    // The controllers hold references into the client; they go first, the line last.
    exports_.reset();
    account_.reset();
    client_.reset();
    auth_.reset();
}

TranscriptScreen::Hooks ApplicationShell::transcriptHooks()
{
    TranscriptScreen::Hooks hooks;
    hooks.loadFileAttemptTransition = [this] { screens_.loadFileAttemptTransition(); };
    hooks.createImageForAsset = [this](const Asset& asset, const MediaTime& time) {
        return videoThumbnailManager_.createImageForAsset(asset, time);
    };
    hooks.setTranscriptToolbarHeight = [this](double) { applyPanelPreferences(false); };
    hooks.wordsSearchMediaButtonShown = [this] { return !window_.wordsSearchMediaButton()->isHidden(); };
    hooks.showMissingMedia = [this](bool shown) { window_.missingMediaButton()->setVisible(shown); };
    hooks.showTime = [this](const QString& text) { window_.timeDisplay()->setText(text); };
    hooks.showNavigationStates = [this](const std::array<bool, 6>& enabled) { window_.setNavigationButtonStates(enabled); };
    hooks.currentFileUserOnlineAdd = [this] {
        if (account_)
            account_->presence.currentFileUserOnlineAdd();
    };
    hooks.currentFileUserOnlineRemove = [this] {
        if (account_)
            account_->presence.currentFileUserOnlineRemove();
    };
    hooks.updateCurrentFileTimestamp = [this] {
        if (account_)
            account_->cache.updateCurrentFileTimestamp();
    };
    hooks.addFileToSyncedTranscripts = [this](const std::shared_ptr<QVFile>& file) {
        if (account_)
            account_->cache.addFileToSyncedTranscripts(file);
    };
    hooks.setupCustomWordsObserverForFile = [this](const std::shared_ptr<QVFile>& file) {
        if (account_)
            account_->observers.setupCustomWordsObserverForFile(file);
    };
    return hooks;
}

ScreenController::Hooks ApplicationShell::screenHooks()
{
    ScreenController::Hooks hooks;
    hooks.updateViewingOnlyStatus = [this] {
        if (account_)
            account_->presence.updateViewingOnlyStatus();
    };
    hooks.trackEvent = [](const QString& event) { ze::ZEAnalytics::trackEvent(event.toStdString()); };
    hooks.changeFileStatus = [this](const std::shared_ptr<QVFile>& file, std::int64_t status) {
        if (account_)
            account_->fileStatus.changeFile(file, status, true);
    };
    hooks.loadFile = [this](const std::shared_ptr<QVFile>& file) { loader_.loadFile(file); };
    hooks.recordLastOpened = [this](const QVFile& file) {
        localFileData_.saveLocalDataForFileUUID(file.uuid, false, false, -1, file.lastOpened, {}, -1);
    };
    return hooks;
}

IntakeHooks ApplicationShell::intakeHooks()
{
    IntakeHooks hooks;
    hooks.sheetAlerts = &alerts_;
    hooks.modalAlerts = &alerts_;
    hooks.chooseMediaFiles = [this](std::function<void(const std::vector<QUrl>&)> done) {
        chooseMediaFiles(std::move(done));
    };
    hooks.videoThumbnail = [this](const QUrl& url) {
        return videoThumbnailManager_.createImageForURL(url.toLocalFile(), MediaTime::zero());
    };
    hooks.namedImage = [](const QString& name) { return paintedIcon(name != QStringLiteral("audio file icon")); };
    hooks.webApplicationURL = [this](const QString& path) { return webApplicationURL(path); };
    hooks.accountToken = [this] { return auth_ ? QString::fromStdString(auth_->token()) : QString(); };
    hooks.saveLocalData = [this](const QString& uuid, const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles) {
        localFileData_.saveLocalDataForFileUUID(uuid, true, true, 0, -1, mediaFiles, -1);
    };
    hooks.saveThumbnail = [this](const QImage& image, const QString& uuid) {
        videoThumbnailManager_.saveThumbnail(image, uuid);
    };
    hooks.trackEvent = [](const QString& event) { ze::ZEAnalytics::trackEvent(event.toStdString()); };
    hooks.linkToken = [](const QString& uid) { return scrambleUserUUID(uid); };
    hooks.showPopover = [](QWidget* anchor, const QString& text) -> QWidget* {
        return QVStringPopover::showRelativeToRect(anchor->rect(), anchor, QVStringPopover::Edge::Top, text, true, 300);
    };
    hooks.filesListShowsNoFiles = [this] { return !files_.noFilesContainer()->isHidden(); };
    hooks.showFilesTable = [this] { files_.showTableView(); };
    hooks.scrollFilesListToTop = [this] { files_.tableView()->scrollToPoint(QPointF(0, 0)); };
    hooks.resetFilesSearch = [this] { files_.resetSearch(); };
    hooks.enableFilesSearch = [this](bool enabled) { files_.enableSearch(enabled); };
    hooks.updateCurrentFileTimestamp = [this] {
        if (account_)
            account_->cache.updateCurrentFileTimestamp();
    };
    return hooks;
}

void ApplicationShell::chooseMediaFiles(std::function<void(const std::vector<QUrl>&)> done)
{
    auto* panel = new QFileDialog(&window_);
    panel->setObjectName(QStringLiteral("addFilesPanel"));
    // Our own dialog, the same on every desktop (and one the tests can drive).
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setFileMode(QFileDialog::ExistingFiles);
    panel->setNameFilters({localizedString(QStringLiteral("Audio and video files (%1)"))
                               .arg(QStringLiteral("*.wav *.wave *.bwf *.aif *.aiff *.aifc *.caf *.mp3 *.m4a *.aac *.flac "
                                                   "*.ogg *.opus *.wma *.mov *.mp4 *.m4v *.mxf *.avi *.mkv *.webm *.mpg "
                                                   "*.mpeg *.mts *.m2ts *.3gp *.dv")),
                           localizedString(QStringLiteral("All files (*)"))});
    panel->setWindowModality(Qt::WindowModal);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(panel, &QFileDialog::finished, panel, [panel, done = std::move(done)](int result) {
        std::vector<QUrl> urls;
        if (result == QDialog::Accepted)
            for (const QString& path : panel->selectedFiles())
                urls.push_back(QUrl::fromLocalFile(path));
        done(urls);
    });
    panel->open();
}

QuitController::Hooks ApplicationShell::quitHooks()
{
    QuitController::Hooks hooks;
    hooks.bringMainWindowToFront = [this] { bringMainWindowToFront(); };
    hooks.saveLocalDataBeforeQuit = [this] { localFileData_.saveLocalDataAndThumbnailBeforeQuit(); };
    hooks.finishEditingIfNecessary = [this] { editing_.finishEditingIfNecessary(); };
    hooks.refreshPendingView = [this] { refreshPendingView(); };
    hooks.replyToTerminate = [this](bool terminate) {
        if (terminate) {
            quitting_ = true;
            QApplication::quit();
        }
    };
    hooks.terminateSoon = [this] {
        mainQueue_.async([this, alive = std::weak_ptr<bool>(alive_)] {
            if (!alive.expired())
                requestQuit();
        });
    };
    hooks.resetUserData = [this] {
        if (account_)
            account_->observers.resetUserData();
    };
    hooks.removeAuthStateListener = [this] {
        if (auth_)
            auth_->removeAuthStateListener(ad_.authStateListenerHandle);
        ad_.authStateListenerHandle = 0;
    };
    hooks.signOut = [this] {
        if (auth_)
            auth_->signOut();
    };
    hooks.deleteUserDataFromPrefs = [this] {
        if (account_)
            account_->logOut.deleteUserDataFromPrefs();
    };
    return hooks;
}

void ApplicationShell::applicationDidFinishLaunching()
{
    for (const QString& problem : config_.problems)
        logWarning(problem.toStdString());
    ad_.systemID = LaunchDefaults::systemID(preferences_);
    ad_.currentMode = 0;
    ad_.debugCharacterEditing.clear();
    ad_.filesPending.clear();
    ad_.mouseDownPendingSpeakerRangeIndex = -1;
    ad_.mouseDownPendingPoint.reset();
    ad_.selectionExtensionDirection = 0;
    ad_.undoManager = std::make_shared<UndoManager>(mainQueue_);
    ad_.undoManagerEmpty = std::make_shared<UndoManager>(mainQueue_);
    ad_.userFilesStillToLoad = std::numeric_limits<std::int64_t>::max();
    applyPanelPreferences(false);
    ad_.unverifiedAccountMessage = localizedString(QStringLiteral(
        "Please verify your e-mail address.\nBefore your first file can be transcribed,\nthe e-mail address of "
        "your account must be verified.\nLook for the welcome e-mail we sent you\nand follow its verification link."));
    ad_.isConnected = false;
    ad_.userIsOnline = false;
    refreshAccountButton();
    keyboardShortcutsWindow_.window();
    window_.show();
    screens_.transitionToLogIn();
    if (!config_.mediaFiles.isEmpty())
        pending_->openFiles(config_.mediaFiles);
    waitingLibrary_ = config_.libraryFile;
    checkDisplay();
    startTelemetry();
    reachService();
}

void ApplicationShell::checkDisplay()
{
    QScreen* screen = window_.screen();
    std::optional<QSize> size;
    if (screen)
        size = screen->geometry().size();
    if (!needsDisplayWarning(size))
        return;
    mainQueue_.after(0.5, [this, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.expired())
            return;
        // Modal for the whole program, but without a nested event loop: the service and the
        // sign-in go on behind it.
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Quorvantelle"), displayWarningMessage(),
                                    QMessageBox::Ok, &window_);
        box->setInformativeText(displayWarningInformativeText());
        box->setObjectName(QStringLiteral("displayWarning"));
        box->setWindowModality(Qt::ApplicationModal);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
}

void ApplicationShell::startTelemetry()
{
    telemetry_ = std::make_unique<ze::ZEHostAdapter>(mainQueue_, preferences_);
    if (config_.telemetryUrl.isEmpty())
        return;
    telemetry_->startTelemetry(config_.telemetrySecret.toStdString(), config_.telemetryUrl.toString().toStdString(),
                               {QV_VERSION, QV_BUILD},
                               {ze::ZEAnalytics::sharedInstance(), ze::ZECrashes::sharedInstance()});
}

void ApplicationShell::reachService()
{
    window_.hideServiceProblem();
    if (!config_.serviceUrl.isEmpty()) {
        probeService(config_.serviceUrl);
        return;
    }
    if (embedded_) {
        serviceReached(embedded_->httpUrl());
        return;
    }
    if (serviceStarter_.joinable())
        return;
    // The service takes a while to open its stores and its speech model; the window stays
    // responsive meanwhile.
    auto service = std::make_shared<hub::EmbeddedService>();
    const std::string folder = config_.serviceDataFolder.toStdString();
    serviceStarter_ = std::thread([this, service, folder, alive = std::weak_ptr<bool>(alive_)] {
        QString error;
        const bool started = folder.empty() ? service->start(error) : service->start(error, folder);
        mainQueue_.async([this, service, started, error, alive] {
            if (alive.expired())
                return;
            serviceStarter_.join();
            if (!started) {
                reportServiceProblem(
                    localizedString(QStringLiteral("The transcription service could not be started: %1")).arg(error));
                return;
            }
            embedded_ = service;
            serviceReached(embedded_->httpUrl());
        });
    });
}

void ApplicationShell::probeService(const QUrl& url)
{
    if (probe_)
        probe_->deleteLater();
    auto* socket = new QTcpSocket(&window_);
    probe_ = socket;
    auto* timer = new QTimer(socket);
    timer->setSingleShot(true);
    auto fail = [this, socket, url] {
        socket->abort();
        socket->deleteLater();
        reportServiceProblem(localizedString(QStringLiteral("The service at %1 cannot be reached."))
                                 .arg(url.toDisplayString(QUrl::RemoveUserInfo)));
    };
    QObject::connect(timer, &QTimer::timeout, socket, fail);
    QObject::connect(socket, &QTcpSocket::errorOccurred, socket, fail);
    QObject::connect(socket, &QTcpSocket::connected, socket, [this, socket, url] {
        socket->disconnectFromHost();
        socket->deleteLater();
        serviceReached(url);
    });
    timer->start(kServiceProbeMilliseconds);
    socket->connectToHost(url.host(), static_cast<quint16>(url.port(url.scheme() == "https" ? 443 : 80)));
}

void ApplicationShell::reportServiceProblem(const QString& message)
{
    logWarning(message.toStdString());
    window_.showServiceProblem(message, true);
    if (observers_.serviceProblem)
        observers_.serviceProblem(message);
}

void ApplicationShell::retryService()
{
    if (client_) {
        client_->goOffline();
        client_->goOnline();
        window_.hideServiceProblem();
        return;
    }
    reachService();
}

void ApplicationShell::serviceReached(const QUrl& httpUrl)
{
    if (auth_)
        return;
    serviceHttpUrl_ = httpUrl;
    LaunchConfiguration reached = config_;
    reached.serviceUrl = httpUrl;
    authService_ = std::make_unique<RemoteAuthService>(RemoteAuthService::Options{httpUrl, {}, 15});
    auth_ = std::make_unique<Auth>(*authService_, mainQueue_, Auth::Options{Auth::defaultStateFile()});

    AccountShell::Options accountOptions{
        {QStringLiteral(QV_VERSION), QStringLiteral(QV_BUILD)},
        config_.homeFolder,
        [this](const DataSnapshot& snapshot, const QString& uuid, const DatabaseReference& ref) {
            return fileRecords_.createFileFromSnapshot(snapshot, uuid, ref);
        },
        {}};
    account_ = std::make_unique<AccountShell>(ad_, *this, mainQueue_, preferences_, *auth_, std::move(accountOptions));
    exports_ = std::make_unique<ExportController>(ad_, preferences_, savePanels_, alerts_, printPanels_,
                                                  account_->fileStatus);
    fcpx_ = std::make_unique<FCPXController>(ad_, preferences_, savePanels_, alerts_, account_->fileStatus,
                                             FCPXController::Options{});
    makeLibraryRoad();

    RemoteConnection::Options line{reached.databaseUrl(), {}, {}};
    // The program's own service holds the same values: the client shares its copy of them.
    if (embedded_)
        line.serviceTree = embedded_->treeReader();
    auto connection = std::make_unique<SessionConnection>(std::move(line));
    connection_ = connection.get();
    DatabaseClient::Options options;
    if (keepsDiskCache(config_.homeFolder)) {
        // Where log-out removes it from.
        options.persistenceFolder = account_->logOut.firebaseCachePath().toStdString();
        options.cacheSizeBytes = kPersistenceCacheBytes;
    }
    connection_->setToken(auth_->token());
    client_ = std::make_unique<DatabaseClient>(std::move(connection), mainQueue_, std::move(options));
    setupDatabaseReferences(ad_, client_->root());

    QVAuthViewController::Services signInServices{
        ad_, *this, messages_, mainQueue_, preferences_, *auth_,
        [this](const QString& email, UserExistenceCompletion completion) {
            checkExistingUser(network_, webApplicationURL(QStringLiteral("check-existing-user")), email,
                              std::move(completion));
        },
        // No mailing list is configured for this program: the wish is only noted.
        [](const QString&, const QString&, const QString&) {
            logInfo("newsletter: no mailing list is configured; the subscription is not sent");
        },
        {QStringLiteral(QV_VERSION), QStringLiteral(QV_BUILD)}};
    signIn_ = std::make_unique<QVAuthViewController>(signInServices);
    window_.setLogInContent(signIn_->view());
    screens_.transitionToLogIn();
    account_->presence.updateViewingOnlyStatus();
    editing_.refreshEditingOptions();
    refreshSpeakerRangeChangesAllowed();
    // The line follows the sign-in; this listener comes before the account's.
    auth_->addAuthStateListener([this](const std::optional<User>&) { connection_->setToken(auth_->token()); });
    auth_->setTokenListener([this](const std::string& token) { connection_->renewToken(token); });
    account_->start(*auth_);
    if (observers_.signInReady)
        observers_.signInReady();
}

void ApplicationShell::applyPanelPreferences(bool animated)
{
    window_.applyTranscriptToolbar(preferences_.boolForKey("QVShowEditingControls"),
                                   preferences_.boolForKey("QVShowNavigationControls"), animated);
}

void ApplicationShell::togglePreference(const char* key)
{
    preferences_.setObject(key, !preferences_.boolForKey(key));
    applyPanelPreferences(true);
}

void ApplicationShell::requestQuit()
{
    if (quitting_)
        return;
    switch (quit_.applicationShouldTerminate()) {
    case TerminateReply::Now:
        quitting_ = true;
        QApplication::quit();
        break;
    case TerminateReply::Cancel:
    case TerminateReply::Later:
        break;
    }
}

void ApplicationShell::applicationWillTerminate() { quit_.applicationWillTerminate(); }

MenuItemState ApplicationShell::validateMenuItem(const QString& action, int tag)
{
    // On the transcript screen the search panel answers for Find Next and Find Previous.
    if (action == "performFindPanelAction:" && (tag == kFindNextTag || tag == kFindPreviousTag) && ad_.currentMode == 2)
        return {transcript_.search().validateFindPanelAction(tag), {}};
    MenuState state;
    state.mode = ad_.currentMode;
    state.hasTranscript = ad_.currentFile && ad_.currentFile->hasTranscript;
    state.isEditing = ad_.isEditing;
    state.hasSelectedWords = state.mode == 2 && !editing_.getSelectedWords().empty();
    state.isSimpleFile = ad_.currentFile && isSimpleFile(ad_.currentFile->fileType);
    state.hasFavoriteWord = std::any_of(ad_.words.begin(), ad_.words.end(),
                                        [](const std::shared_ptr<QVWord>& word) { return word->favorite; });
    state.speakerRangeCount = ad_.speakerRanges.size();
    state.userStatus = ad_.userStatus;
    state.droppedLibraryInProgress = ad_.droppedXMLDoc != nullptr;
    state.externalServiceStatus = ad_.externalServiceStatus;
    audioConfigurationMenu_->fillMenuState(state);
    state.filesTableHasSelection = window_.selectedFile() != nullptr;
    state.showEditingControls = preferences_.boolForKey("QVShowEditingControls");
    state.showNavigationControls = preferences_.boolForKey("QVShowNavigationControls");
    if (const std::shared_ptr<UndoManager> undo = editing_.selection.windowWillReturnUndoManager()) {
        state.canUndo = undo->canUndo();
        state.canRedo = undo->canRedo();
        state.undoActionName = undo->undoActionName();
        state.redoActionName = undo->redoActionName();
    }
    return qv::shell::validateMenuItem(action, tag, state);
}

void ApplicationShell::performAction(const QString& action, int tag)
{
    if (audioConfigurationMenu_->perform(action))
        return;
    const LinkHosts hosts{serviceHttpUrl_, serviceHttpUrl_.resolved(QUrl(QStringLiteral("support/")))};
    if (action == "viewFilesButtonPressed:" || action == "showFiles:") {
        screens_.viewFilesButtonPressed();
    } else if (action == "showTranscript:") {
        screens_.openSelectedFile();
    } else if (action == "toggleEditingControls:") {
        togglePreference("QVShowEditingControls");
    } else if (action == "toggleNavigationControls:") {
        togglePreference("QVShowNavigationControls");
    } else if (action == "terminate:") {
        requestQuit();
    } else if (action == "performClose:") {
        window_.close();
    } else if (action == "undo:" || action == "redo:") {
        std::shared_ptr<UndoManager> undo = editing_.selection.windowWillReturnUndoManager();
        if (undo && action == "undo:" && undo->canUndo())
            undo->undo();
        else if (undo && action == "redo:" && undo->canRedo())
            undo->redo();
    } else if (const auto exportTo = kExports.find(action); exportTo != kExports.end()) {
        if (exports_)
            ((*exports_).*exportTo->second)();
    } else if (action == "exportToFinalCutProXXML:") {
        if (fcpx_)
            fcpx_->exportToFinalCutProXXML();
    } else if (action == "sendToFinalCutProX:") {
        if (fcpx_)
            fcpx_->sendToFinalCutProX();
    } else if (const auto step = kNavigationSteps.find(action); step != kNavigationSteps.end()) {
        if (ad_.viewServices && ad_.currentMode == 2)
            (ad_.viewServices->*step->second.first)(step->second.second);
    } else if (action == "showBuyMinutes:") {
        if (ad_.currentUser)
            openUrl(buyMinutesUrl(hosts, QString::fromStdString(ad_.currentUser->uid)));
    } else if (action == "showSupportArticles:") {
        openUrl(supportArticlesUrl(hosts));
    } else if (action == "showVideoTutorials:") {
        openUrl(videoTutorialsUrl(hosts));
    } else if (action == "submitNewTicket:") {
        openUrl(submitTicketUrl(hosts, ad_.currentUser.has_value(), ad_.userFirstName, ad_.userLastName,
                                ad_.userEmailAddress));
    } else if (action == "performFindPanelAction:") {
        if (ad_.currentMode == 2) {
            if (tag != kFindNextTag && tag != kFindPreviousTag)
                selectRightPanelTab(kSearchTab);
            transcript_.search().performFindPanelAction(tag);
        }
    } else if (action == "viewingOnlyPressed:") {
        viewingOnlyPressed();
    } else if (action == "selectRightPanelTab:") {
        selectRightPanelTab(tag);
    } else if (action == "showAccountPopover:") {
        showAccountPopover();
    } else if (action == "showPreferences:") {
        if (!preferencesWindow_)
            preferencesWindow_ = std::make_unique<QVPreferencesWC>(ad_, *this, preferences_, &alerts_);
        preferencesWindow_->showWindow();
    } else if (action == "importMenuPressed:") {
        pending_->addFilesButtonPressed();
    } else if (action == "importFinalCutProXLibrary:") {
        auto* panel = new QFileDialog(&window_, localizedString(QStringLiteral("Import Final Cut Pro X Library")));
        panel->setObjectName(QStringLiteral("libraryPanel"));
        panel->setOption(QFileDialog::DontUseNativeDialog);
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->setFileMode(QFileDialog::ExistingFile);
        panel->setNameFilter(localizedString(QStringLiteral("Final Cut Pro X XML (*.fcpxml)")));
        QObject::connect(panel, &QFileDialog::fileSelected, [this](const QString& path) { openLibraryFile(path); });
        panel->open();
    } else if (action == "showKeyboardShortcuts:") {
        keyboardShortcutsWindow_.showWindow();
    } else if (action == "checkForUpdates:") {
        QMessageBox::information(&window_, QStringLiteral("Quorvantelle"),
                                 localizedString(QStringLiteral("Updates come with your distribution's packages.")));
    }
}

void ApplicationShell::selectRightPanelTab(int tag)
{
    preferences_.setObject("QVRightPanelTabView", tag);
    window_.selectRightPanelTab(tag);
}

void ApplicationShell::showAccountPopover()
{
    if (!accountPopover_) {
        auto* popover = new QFrame(&window_, Qt::Popup);
        popover->setObjectName(QStringLiteral("accountPopover"));
        popover->setFrameShape(QFrame::StyledPanel);
        auto* layout = new QVBoxLayout(popover);
        layout->setContentsMargins(8, 8, 8, 8);
        layout->addWidget(accountPopoverViewController_.view());
        accountPopover_ = popover;
    }
    QPushButton* button = window_.accountButton();
    accountPopover_->adjustSize();
    accountPopover_->move(button->mapToGlobal(QPoint(button->width() - accountPopover_->width(), button->height())));
    accountPopover_->show();
}

void ApplicationShell::viewingOnlyPressed()
{
    if (viewingOnlyPopover_ && viewingOnlyPopover_->isShown()) {
        closeViewingOnlyPopover();
        return;
    }
    closeViewingOnlyPopover();
    const QString text = viewingOnlyReason(ad_);
    QToolButton* button = window_.viewingOnlyButton();
    viewingOnlyPopover_ =
        QVStringPopover::showRelativeToRect(button->rect(), button, QVStringPopover::Edge::Bottom, text, true, 300);
    viewingOnlyPopover_->setObjectName(QStringLiteral("viewingOnlyPopover"));
}

void ApplicationShell::closeViewingOnlyPopover()
{
    if (!viewingOnlyPopover_)
        return;
    viewingOnlyPopover_->closePopover();
    viewingOnlyPopover_->deleteLater();
    viewingOnlyPopover_ = nullptr;
}

void ApplicationShell::redrawBottomToolbar()
{
    window_.setViewingOnly(ad_.isViewingOnly);
    if (!ad_.isViewingOnly)
        closeViewingOnlyPopover();
    window_.update();
}

void ApplicationShell::closeAccountPopover()
{
    if (accountPopover_)
        accountPopover_->hide();
}

void ApplicationShell::openUrl(const QUrl& url)
{
    if (!url.isEmpty())
        QDesktopServices::openUrl(url);
}

void ApplicationShell::setAccountButtonVisible(bool visible) { window_.accountButton()->setVisible(visible); }

void ApplicationShell::resetAccountButton()
{
    window_.accountButton()->setText(accountButtonTitle({}, {}, 0, false));
    window_.accountButton()->setToolTip({});
}

void ApplicationShell::refreshAccountButton()
{
    QPushButton* button = window_.accountButton();
    QString known;
    if (ad_.userDetailsRead && ad_.currentUser)
        known = knownAccountName(ad_.userFirstName, ad_.userLastName,
                                 ad_.userEmailAddress.isEmpty() ? QString::fromStdString(ad_.currentUser->email)
                                                                : ad_.userEmailAddress);
    button->setText(accountButtonTitle(ad_.userFirstName, ad_.userLastName, ad_.userBalance, ad_.userBalanceUnlimited, known));
    button->adjustSize();
    if (!ad_.userEmailAddress.isEmpty())
        button->setToolTip(ad_.userEmailAddress);
    window_.buyMinutesButton()->setVisible(ad_.currentUser.has_value());
}

void ApplicationShell::makeLibraryRoad()
{
    FCPXSendBack::Services back;
    back.alerts = &alerts_;
    back.shell = &account_->fileStatus;
    back.preferences = &preferences_;
    back.transcriptRef = [this](const QString& uuid) { return ad_.transcriptsMetadataRef.child(uuid.toStdString()); };
    back.reloadFiles = [this] {
        files_.reloadFiles();
        files_.refreshFilesUI();
    };
    back.dataFolder = qv::dataHome();
    back.openInApplication = partnerCommandsFromPreferences(preferences_);
    sendBack_ = std::make_unique<FCPXSendBack>(ad_, std::move(back));

    FCPXLibraryDrop::Services drop;
    drop.sheetAlerts = &alerts_;
    drop.modalAlerts = &alerts_;
    drop.bringMainWindowToFront = [this] { bringMainWindowToFront(); };
    drop.transitionToFiles = [this] { screens_.transitionToFiles(); };
    drop.addClipsToPendingList = [this](const std::vector<std::shared_ptr<QVXMLElement>>& clips) {
        FilesData batch;
        for (const auto& clip : clips)
            batch.push_back({QUrl(), clip});
        pending_->addFilesData(batch, -1);
    };
    drop.sendBackDroppedXML = [this] { sendBack_->sendBackDroppedXML(); };
    drop.showRelinkSynchronizedClipsWindow = [this] {
        relinkSheet_ = std::make_unique<QVRelinkComplexClipsWC>(
            ad_, mainQueue_, QVRelinkComplexClipsWC::Services{[this] { sendBack_->sendBackDroppedXML(); }}, &window_);
        relinkSheet_->showRelinkSynchronizedClipsWindow();
    };
    drop.writeDiagnosticTrace = [this](const QString& trace) {
        if (ad_.currentUser)
            ad_.fbRef.child("debug_character_editing").child(ad_.currentUser->uid).childByAutoId().setValue(trace.toStdString());
    };
    drop.appVersion = QStringLiteral(QV_VERSION);
    libraryDrop_ = std::make_unique<FCPXLibraryDrop>(ad_, std::move(drop));
}

// The text is read up to just past the largest library the drop takes, so that a huge file is
// refused without being read whole; a file that cannot be read, or not in the encoding it
// declares, carries no text.
void ApplicationShell::openLibraryFile(const QString& path)
{
    if (!libraryDrop_)
        return;
    MemoryPasteboard pasteboard;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        pasteboard.addType(kFCPXPasteboardType, QVXMLDocument::decodedText(file.read(QVXMLDocument::kMaximumTextBytes + 1)));
    else
        pasteboard.addType(kFCPXPasteboardType, std::nullopt);
    libraryDrop_->dropFromFCPX(pasteboard);
}

void ApplicationShell::setPendingTableEnabled(bool enabled)
{
    pending_->setTableEnabled(enabled);
    if (enabled && !waitingLibrary_.isEmpty())
        openLibraryFile(std::exchange(waitingLibrary_, QString()));
}

void ApplicationShell::bringMainWindowToFront()
{
    window_.raise();
    window_.activateWindow();
}

void ApplicationShell::refreshSpeakerRangeChangesAllowed()
{
    if (ad_.speakerServices)
        ad_.speakerServices->refreshSpeakerRangeChangesAllowed();
}

bool ApplicationShell::customWordsPanelShowsFileWords() const { return words_->viewFileWords(); }

bool ApplicationShell::customWordsPanelShowsAccountWords() const { return words_->viewAccountWords(); }

void ApplicationShell::refreshCustomWordsDisplay(bool animated)
{
    if (words_)
        words_->refreshCustomWordsDisplayWithAnimation(animated);
}

std::uint64_t ApplicationShell::currentModifierFlags() const
{
    const Qt::KeyboardModifiers modifiers = QApplication::queryKeyboardModifiers();
    std::uint64_t flags = 0;
    if (modifiers & Qt::ShiftModifier)
        flags |= kShiftFlag;
    if (modifiers & Qt::MetaModifier)
        flags |= kControlFlag;
    if (modifiers & Qt::AltModifier)
        flags |= kOptionFlag;
    if (modifiers & Qt::ControlModifier)
        flags |= kCommandFlag;
    return flags;
}

void ApplicationShell::setTelemetryUserId(const QString& uid)
{
    ze::ZEZavEdurov::setUserId(uid.isEmpty() ? std::nullopt : std::optional<std::string>(uid.toStdString()));
}

void ApplicationShell::confirmLogOut(const QString& message, const QString& informativeText,
                                     std::function<void(bool logOut)> answer)
{
    Alert alert{message, informativeText, AlertStyle::Critical,
                {localizedString(QStringLiteral("Log Out")), localizedString(QStringLiteral("Cancel"))}};
    alerts_.beginSheet(alert, [answer = std::move(answer)](int code) { answer(code == kAlertFirstButtonReturn); });
}

}  // namespace qv::shell

namespace qv::shell {

void ApplicationShell::changeFileStatus(const std::shared_ptr<QVFile>& file, std::int64_t status)
{
    if (account_)
        account_->fileStatus.changeFile(file, status, false);
}

void ApplicationShell::deleteFile(const std::shared_ptr<QVFile>& file)
{
    if (account_)
        account_->fileStatus.deleteFile(file);
}

void ApplicationShell::restoreFile(const std::shared_ptr<QVFile>& file)
{
    if (account_)
        account_->fileStatus.restoreFile(file);
}

void ApplicationShell::logOut()
{
    if (account_)
        account_->logOut.logOut();
}

QUrl ApplicationShell::webApplicationURL(const QString& path) const { return serviceHttpUrl_.resolved(QUrl(path)); }

QUrl ApplicationShell::productSiteURL(const QString& path) const
{
    return serviceHttpUrl_.resolved(QUrl(QStringLiteral("site/") + path));
}

}  // namespace qv::shell
