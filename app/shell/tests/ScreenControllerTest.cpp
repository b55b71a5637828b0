// The screens and the road from a row of the files list to an open transcript.
#include "FakeScreenView.h"
#include "app/shell/ScreenController.h"
#include "app/tests/FakeShellServices.h"
#include "model/AppDelegate.h"
#include "platform/foundation/ManualDispatcher.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qv::shell {
namespace {

class ScreenControllerTest : public ::testing::Test {
protected:
    ScreenControllerTest()
    {
        preferences.registerDefaults({{"QVShowMissingMediaWarning", true}});
        ScreenController::Hooks hooks;
        hooks.loadFile = [this](const std::shared_ptr<QVFile>& file) {
            loaded.push_back(file);
            ad.currentFile = file;
        };
        hooks.trackEvent = [this](const QString& event) { events << event; };
        hooks.changeFileStatus = [this](const std::shared_ptr<QVFile>& file, std::int64_t status) {
            events << QString("status %1").arg(status);
            file->status = status;
        };
        hooks.highlightStart = [this] { events << "highlightStart"; };
        controller = std::make_unique<ScreenController>(ad, main, preferences, view, services, hooks);
    }

    std::shared_ptr<QVFile> file(const QString& uuid, std::int64_t lastMediaTime, bool missingMedia = false)
    {
        auto f = std::make_shared<QVFile>();
        f->uuid = uuid;
        f->name = "Interview " + uuid;
        f->lastMediaTime = lastMediaTime;
        f->hasMissingMediaFiles = missingMedia;
        f->hasTranscript = true;
        return f;
    }

    // Opens `f` from the files list and makes the three conditions of the transition true.
    void openAndBecomeReady(const std::shared_ptr<QVFile>& f)
    {
        ad.currentMode = 1;
        view.selected = f;
        controller->openSelectedFile();
        f->hasLoadedTranscript = true;
        ad.hasPreloadedRowsToLastMediaTime = true;
        ad.isReadyToPlay = true;
        controller->loadFileAttemptTransition();
        main.drain();
    }

    QTemporaryDir folder;
    Preferences preferences{folder.path()};
    AppDelegate ad;
    ManualDispatcher main;
    FakeScreenView view;
    FakeShellServices services;
    std::unique_ptr<ScreenController> controller;
    std::vector<std::shared_ptr<QVFile>> loaded;
    QStringList events;
};

TEST_F(ScreenControllerTest, LogInAndFilesScreensSetModeTabAndMenus)
{
    ad.filesPending.push_back(std::make_shared<QVFilePending>());
    controller->transitionToLogIn();
    EXPECT_EQ(ad.currentMode, 0);
    EXPECT_EQ(view.tab, 0);
    EXPECT_FALSE(view.toolbarItemsVisible);
    EXPECT_TRUE(ad.filesPending.empty());
    EXPECT_EQ(ad.userFilesStillToLoad, std::numeric_limits<std::int64_t>::max());
    EXPECT_TRUE(view.calls.contains("focusSignInEmail"));
    EXPECT_TRUE(view.calls.contains("animateLogo"));
    main.advance(0.5);
    EXPECT_TRUE(view.calls.contains("closeAccountPopover"));

    view.calls.clear();
    controller->transitionToFiles();
    // The mode changes at once; the page after the current event.
    EXPECT_EQ(ad.currentMode, 1);
    EXPECT_EQ(view.tab, 0);
    EXPECT_TRUE(view.filesChecked);
    EXPECT_FALSE(view.transcriptChecked);
    main.drain();
    EXPECT_EQ(view.tab, 1);
    EXPECT_EQ(view.calls, QStringList({"scrollFilesListToTop", "updateFilesLayout", "focusFilesTable"}));
    main.advance(0.2);
    EXPECT_TRUE(view.calls.contains("resetAnimatingLogo"));
}

TEST_F(ScreenControllerTest, OpeningWaitsForAllThreeConditionsAndRunsOnce)
{
    auto f = file("A", 0);
    ad.currentMode = 1;
    view.selected = f;
    controller->openSelectedFile();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(events, QStringList{"Opened file"});

    f->hasLoadedTranscript = true;
    ad.hasPreloadedRowsToLastMediaTime = true;
    controller->loadFileAttemptTransition();
    EXPECT_FALSE(ad.loadFileDoTransitionInProgress);
    ad.isReadyToPlay = true;
    controller->loadFileAttemptTransition();
    EXPECT_TRUE(ad.loadFileDoTransitionInProgress);
    // A second attempt while the first is under way starts nothing.
    controller->loadFileAttemptTransition();
    main.drain();
    EXPECT_EQ(events.count("highlightStart"), 1);
    EXPECT_EQ(ad.currentMode, 2);
    EXPECT_EQ(view.tab, 2);
    EXPECT_FALSE(ad.loadFileDoTransitionInProgress);
    EXPECT_TRUE(view.toolbarItemsVisible);
    EXPECT_TRUE(view.transcriptChecked);
    EXPECT_EQ(view.fileName, "Interview A");
    EXPECT_TRUE(view.navigationEnabled);
    // A file at position 0 opens without the cover.
    EXPECT_FALSE(view.coverShown);
    EXPECT_GT(f->lastOpened, 0);
}

TEST_F(ScreenControllerTest, NothingOpensWithoutSelectionOrOutsideTheFilesScreen)
{
    ad.currentMode = 1;
    controller->openSelectedFile();
    view.selected = file("A", 0);
    ad.currentMode = 2;
    controller->openSelectedFile();
    ad.currentMode = 0;
    controller->openSelectedFile();
    EXPECT_TRUE(loaded.empty());
}

TEST_F(ScreenControllerTest, CoverWaitsForTheScrollAndTheWarningComesOnce)
{
    auto f = file("B", 5000, true);
    openAndBecomeReady(f);
    // Behind the cover the transcript page is selected but the mode is still the files list.
    EXPECT_TRUE(view.coverShown);
    EXPECT_EQ(view.tab, 2);
    EXPECT_EQ(ad.currentMode, 1);
    ASSERT_TRUE(view.scrollWatcher);
    view.scrollWatcher();
    main.drain();
    EXPECT_EQ(ad.currentMode, 2);
    EXPECT_FALSE(view.coverShown);
    EXPECT_TRUE(view.missingMediaVisible);
    main.advance(0.5);
    EXPECT_EQ(view.missingMediaWarnings, 1);

    // Back to the files and opening the same loaded file again: no loader, no cover, no warning.
    controller->viewFilesButtonPressed();
    main.drain();
    EXPECT_EQ(ad.currentMode, 1);
    controller->openSelectedFile();
    main.advance(1);
    EXPECT_EQ(loaded.size(), 1u);
    EXPECT_EQ(ad.currentMode, 2);
    EXPECT_EQ(view.missingMediaWarnings, 1);

    view.missingMediaAnswer(true);
    EXPECT_FALSE(preferences.boolForKey("QVShowMissingMediaWarning"));
}

TEST_F(ScreenControllerTest, CoverTimeoutFinishesOnceAndStopsWatchingTheScroll)
{
    auto f = file("C", 5000, true);
    openAndBecomeReady(f);
    ASSERT_TRUE(view.coverShown);
    main.advance(0.5);
    EXPECT_EQ(ad.currentMode, 2);
    EXPECT_FALSE(view.coverShown);
    // A later scroll must not run the finishing step (and its warning) again.
    EXPECT_FALSE(view.scrollWatcher);
    main.advance(1);
    EXPECT_EQ(view.missingMediaWarnings, 1);
}

TEST_F(ScreenControllerTest, NoPictureOfTheWindowMeansNoCover)
{
    view.coverPossible = false;
    openAndBecomeReady(file("D", 5000));
    EXPECT_EQ(ad.currentMode, 2);
    EXPECT_FALSE(view.coverShown);
}

TEST_F(ScreenControllerTest, OptionOnTheBackButtonMarksTheFileVerified)
{
    openAndBecomeReady(file("E", 0));
    view.optionDown = true;
    controller->viewFilesButtonPressed();
    EXPECT_EQ(ad.currentFile->status, kFileStatusVerified);
    EXPECT_EQ(ad.currentMode, 1);
}

TEST_F(ScreenControllerTest, EscapeDependsOnTheScreen)
{
    ad.currentMode = 0;
    controller->cancelOperation();
    EXPECT_TRUE(view.calls.isEmpty());
    ad.currentMode = 1;
    controller->cancelOperation();
    ad.currentMode = 2;
    controller->cancelOperation();
    EXPECT_EQ(view.calls, QStringList({"focusFilesTable", "resetFocus"}));
}

TEST_F(ScreenControllerTest, OpenedFileSortsFirstAfterTheTransition)
{
    auto older = file("F", 0);
    older->lastOpened = 100;
    auto opened = file("G", 0);
    opened->lastOpened = 50;
    ad.files = {older, opened};
    services.rows = {older, opened};
    openAndBecomeReady(opened);
    main.advance(0.3);
    EXPECT_EQ(ad.files.front(), opened);
    EXPECT_EQ(services.rows.front(), opened);
}

}  // namespace
}  // namespace qv::shell
