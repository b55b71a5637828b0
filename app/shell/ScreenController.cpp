#include "app/shell/ScreenController.h"

#include "app/ShellServices.h"
#include "model/AppDelegate.h"
#include "model/EditingServices.h"
#include "model/EditingTrace.h"
#include "model/ModelServices.h"
#include "model/SearchServices.h"
#include "model/SpeakerServices.h"
#include "model/ViewServices.h"
#include "platform/foundation/Timestamp.h"

#include <algorithm>
#include <limits>

namespace qv::shell {

namespace {

// How long the cover may stay up waiting for the transcript's first scroll, seconds.
constexpr double kCoverTimeout = 0.5;

bool byLastOpenedDescending(const std::shared_ptr<QVFile>& a, const std::shared_ptr<QVFile>& b)
{
    return a->lastOpened > b->lastOpened;
}

}  // namespace

ScreenController::ScreenController(AppDelegate& ad, Dispatcher& mainQueue, Preferences& preferences, ScreenView& view,
                                   ShellServices& services, Hooks hooks)
    : ad_(ad), mainQueue_(mainQueue), preferences_(preferences), view_(view), services_(services),
      hooks_(std::move(hooks))
{
}

void ScreenController::soon(std::function<void()> task)
{
    mainQueue_.async([alive = std::weak_ptr<bool>(alive_), task = std::move(task)] {
        if (!alive.expired())
            task();
    });
}

void ScreenController::after(double seconds, std::function<void()> task)
{
    mainQueue_.after(seconds, [alive = std::weak_ptr<bool>(alive_), task = std::move(task)] {
        if (!alive.expired())
            task();
    });
}

void ScreenController::finishEditingIfNecessary()
{
    if (ad_.editingServices)
        ad_.editingServices->finishEditingIfNecessary();
}

void ScreenController::transitionToLogIn()
{
    if (ad_.currentMode == 2)
        finishEditingIfNecessary();
    after(0.5, [this] { view_.closeAccountPopover(); });
    ad_.currentMode = 0;
    if (hooks_.updateViewingOnlyStatus)
        hooks_.updateViewingOnlyStatus();
    view_.selectTab(0);
    view_.setTranscriptToolbarItemsVisible(false, false);
    view_.setViewMenuChecks(false, false);
    ad_.filesPending.clear();
    services_.refreshPendingView();
    ad_.userFilesStillToLoad = std::numeric_limits<std::int64_t>::max();
    view_.showFilesLoadingMessage();
    view_.focusSignInEmail();
    view_.animateLogo();
}

void ScreenController::transitionToFiles()
{
    finishEditingIfNecessary();
    view_.scrollFilesListToTop();
    soon([this] {
        view_.selectTab(1);
        view_.updateFilesLayout();
        view_.focusFilesTable();
    });
    ad_.currentMode = 1;
    if (hooks_.updateViewingOnlyStatus)
        hooks_.updateViewingOnlyStatus();
    view_.setTranscriptToolbarItemsVisible(false, false);
    view_.setViewMenuChecks(true, false);
    after(0.2, [this] { view_.resetAnimatingLogo(); });
}

void ScreenController::viewFilesButtonPressed()
{
    if (ad_.viewServices && ad_.viewServices->playerRate() != 0)
        ad_.viewServices->stopPlayback();
    if (ad_.currentFile && view_.isOptionKeyDown() && hooks_.changeFileStatus)
        hooks_.changeFileStatus(ad_.currentFile, kFileStatusVerified);
    if (ad_.currentFile && ad_.currentFile->hasVideo && hooks_.refreshOpenFileThumbnail) {
        hooks_.refreshOpenFileThumbnail();
        soon([this] {
            if (!services_.filesSearchResults().empty())
                services_.filesTableReloadRow(0);
        });
    }
    transitionToFiles();
}

void ScreenController::openSelectedFile()
{
    if (ad_.currentMode != 1)
        return;
    std::shared_ptr<QVFile> file = view_.selectedFile();
    if (!file)
        return;
    if (ad_.currentFile && ad_.currentFile->uuid == file->uuid) {
        transitionToTranscriptWithCoverHack(false);
        return;
    }
    if (hooks_.loadFile)
        hooks_.loadFile(file);
    if (hooks_.trackEvent)
        hooks_.trackEvent(QStringLiteral("Opened file"));
}

void ScreenController::loadFileAttemptTransition()
{
    if (ad_.currentMode == 2 || ad_.loadFileDoTransitionInProgress || !ad_.currentFile)
        return;
    if (!ad_.currentFile->hasLoadedTranscript || !ad_.hasPreloadedRowsToLastMediaTime || !ad_.isReadyToPlay)
        return;
    ad_.loadFileDoTransitionInProgress = true;
    loadFileDoTransition();
}

void ScreenController::loadFileDoTransition()
{
    std::shared_ptr<QVFile> file = ad_.currentFile;
    file->lastOpened = timestampNow();
    if (hooks_.recordLastOpened)
        hooks_.recordLastOpened(*file);
    const double playerSeconds = ad_.modelServices ? ad_.modelServices->playerCurrentTime().seconds() : 0;
    ad_.isBeforeFirstWord = static_cast<std::int64_t>(playerSeconds * 1000) < ad_.firstWordStartTime;
    soon([this, file] {
        if (ad_.speakerServices) {
            ad_.speakerServices->buildSpeakersList();
            ad_.speakerServices->refreshSpeakersWithAnimation();
        }
        if (ad_.searchServices)
            ad_.searchServices->buildSpeakerMenu();
        if (ad_.editingServices)
            ad_.editingServices->configureUI();
        ad_.currentTextView = nullptr;
        qv::appendToEditingTrace(
            ad_.debugCharacterEditing,
            QStringLiteral("*****\nin loadFileDoTransition self.currentTextView assigned to nil\n"));
        if (file->lastMediaTime == 0 && hooks_.highlightStart)
            hooks_.highlightStart();
        if (ad_.viewServices)
            ad_.viewServices->reloadTranscriptTable();
        if (ad_.searchServices) {
            ad_.searchServices->clearSearchField();
            ad_.searchServices->searchForString();
        }
        if (!file->hasTranscript && ad_.editingServices)
            ad_.editingServices->refreshEditingOptions();
        view_.enableNavigationButtons(file->hasTranscript);
        transitionToTranscriptWithCoverHack(true);
        after(0.3, [this] { sortFilesByLastOpened(); });
    });
}

void ScreenController::transitionToTranscriptWithCoverHack(bool withCover)
{
    if (withCover)
        takeScreenshotHack();
    view_.setCurrentFileName(ad_.currentFile ? ad_.currentFile->name : QString());
    if (hooks_.updateViewingOnlyStatus)
        hooks_.updateViewingOnlyStatus();
    view_.updateToolbarItems();
    qv::appendToEditingTrace(ad_.debugCharacterEditing,
                             QStringLiteral("\nself.isEditing set to NO in transitionToTranscriptWithCoverHack:\n"));
    ad_.isEditing = false;
    view_.selectTab(2);
    if (!withCover)
        loadFileFinishTransitionIsInitial(false);
}

void ScreenController::takeScreenshotHack()
{
    if (!ad_.currentFile || ad_.currentFile->lastMediaTime == 0 || !view_.showCover()) {
        loadFileFinishTransitionIsInitial(true);
        return;
    }
    view_.watchTranscriptScroll([this] { loadFileFinishTransitionIsInitial(true); });
    after(kCoverTimeout, [this] {
        if (!view_.isCoverShown())
            return;
        // The scroll may never come; stop waiting for it, or a later scroll would finish
        // the transition a second time.
        view_.watchTranscriptScroll({});
        loadFileFinishTransitionIsInitial(true);
        view_.hideCover();
    });
}

void ScreenController::loadFileFinishTransitionIsInitial(bool initial)
{
    view_.watchTranscriptScroll({});
    ad_.currentMode = 2;
    ad_.loadFileDoTransitionInProgress = false;
    std::shared_ptr<QVFile> file = ad_.currentFile;
    const bool missingMedia = file && file->hasMissingMediaFiles;
    if (initial && missingMedia && preferences_.boolForKey("QVShowMissingMediaWarning")) {
        after(0.3, [this] {
            view_.showMissingMediaWarning([this](bool suppress) {
                if (suppress)
                    preferences_.setObject("QVShowMissingMediaWarning", false);
            });
        });
    }
    soon([this, missingMedia] {
        view_.setTranscriptToolbarItemsVisible(true, missingMedia);
        view_.setViewMenuChecks(false, true);
        if (view_.isCoverShown())
            view_.hideCover();
    });
}

void ScreenController::sortFilesByLastOpened()
{
    std::stable_sort(ad_.files.begin(), ad_.files.end(), byLastOpenedDescending);
    auto& results = services_.filesSearchResults();
    std::stable_sort(results.begin(), results.end(), byLastOpenedDescending);
    services_.reloadFiles();
    services_.refreshFilesUI();
}

void ScreenController::cancelOperation()
{
    if (ad_.currentMode == 1)
        view_.focusFilesTable();
    else if (ad_.currentMode == 2)
        view_.resetFocus();
}

}  // namespace qv::shell
