// The quit request, closing the main window and the termination steps.
#include "app/shell/QuitController.h"
#include "model/AppDelegate.h"
#include "platform/ui/ScriptedPresenters.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qv::shell {
namespace {

class QuitControllerTest : public ::testing::Test {
protected:
    QuitControllerTest()
    {
        preferences.registerDefaults({{"QVRememberMe", true}, {"QVBetaLegacyFilesMigrationComplete", false}});
        QuitController::Hooks hooks;
        auto record = [this](const char* name) { return [this, name] { calls << name; }; };
        hooks.bringMainWindowToFront = record("front");
        hooks.saveLocalDataBeforeQuit = record("save");
        hooks.finishEditingIfNecessary = record("finishEditing");
        hooks.refreshPendingView = record("refreshPending");
        hooks.replyToTerminate = [this](bool terminate) { replies.push_back(terminate); };
        hooks.terminateSoon = record("terminateSoon");
        hooks.resetUserData = record("resetUserData");
        hooks.removeAuthStateListener = record("removeListener");
        hooks.signOut = record("signOut");
        hooks.deleteUserDataFromPrefs = record("deleteUserData");
        quit = std::make_unique<QuitController>(ad, preferences, alerts, hooks);
        ad.isLoggedIn = true;
        ad.userFilesStillToLoad = 0;
    }

    void pending(int count)
    {
        for (int i = 0; i < count; ++i)
            ad.filesPending.push_back(std::make_shared<QVFilePending>());
    }

    QTemporaryDir folder;
    Preferences preferences{folder.path()};
    AppDelegate ad;
    ScriptedAlertPresenter alerts;
    std::unique_ptr<QuitController> quit;
    QStringList calls;
    std::vector<bool> replies;
};

TEST_F(QuitControllerTest, SignedOutQuitsWithoutAsking)
{
    ad.isLoggedIn = false;
    ad.userFilesStillToLoad = 5;
    pending(2);
    EXPECT_EQ(quit->applicationShouldTerminate(), TerminateReply::Now);
    EXPECT_TRUE(alerts.shownAlerts().empty());
}

TEST_F(QuitControllerTest, RefusedWhileTheFirstFilesListLoads)
{
    ad.userFilesStillToLoad = 3;
    alerts.script(kAlertFirstButtonReturn);
    EXPECT_EQ(quit->applicationShouldTerminate(), TerminateReply::Cancel);
    ASSERT_EQ(alerts.shownAlerts().size(), 1u);
    EXPECT_EQ(alerts.shownAlerts()[0].style, AlertStyle::Critical);
    EXPECT_EQ(alerts.shownAlerts()[0].messageText, QuitController::filesLoadingMessage());
    // Once the migration has run, loading files no longer holds the quit.
    preferences.setObject("QVBetaLegacyFilesMigrationComplete", true);
    EXPECT_EQ(quit->applicationShouldTerminate(), TerminateReply::Now);
}

TEST_F(QuitControllerTest, NothingPendingSavesFinishesTheEditAndQuits)
{
    EXPECT_EQ(quit->applicationShouldTerminate(), TerminateReply::Now);
    EXPECT_EQ(calls, QStringList({"front", "save", "finishEditing"}));
}

TEST_F(QuitControllerTest, PendingFilesAskAndTheAnswerDecides)
{
    EXPECT_EQ(QuitController::pendingFilesMessage(1), "You have 1 imported file.\nAre you sure you want to quit?");
    EXPECT_EQ(QuitController::pendingFilesMessage(3), "You have 3 imported files.\nAre you sure you want to quit?");

    pending(2);
    alerts.script(kAlertFirstButtonReturn + 1);
    EXPECT_EQ(quit->applicationShouldTerminate(), TerminateReply::Later);
    EXPECT_EQ(replies, std::vector<bool>{false});
    EXPECT_EQ(ad.filesPending.size(), 2u);
    EXPECT_TRUE(calls.contains("save"));
    EXPECT_EQ(alerts.shownAlerts().back().buttons, QStringList({"Quit", "Cancel"}));

    calls.clear();
    alerts.script(kAlertFirstButtonReturn);
    EXPECT_EQ(quit->applicationShouldTerminate(), TerminateReply::Later);
    EXPECT_EQ(replies, std::vector<bool>({false, true}));
    EXPECT_TRUE(ad.filesPending.empty());
    // An edit still open is finished on this road too, not lost with the process.
    EXPECT_TRUE(calls.contains("finishEditing"));
}

TEST_F(QuitControllerTest, ClosingTheWindow)
{
    EXPECT_TRUE(quit->windowShouldClose());

    pending(1);
    alerts.script(kAlertFirstButtonReturn);
    EXPECT_FALSE(quit->windowShouldClose());
    EXPECT_TRUE(calls.contains("terminateSoon"));
    EXPECT_TRUE(ad.filesPending.empty());

    // While the first files list loads the window stays, with the same refusal as the quit.
    ad.userFilesStillToLoad = 7;
    calls.clear();
    EXPECT_FALSE(quit->windowShouldClose());
    EXPECT_EQ(alerts.shownAlerts().back().messageText, QuitController::filesLoadingMessage());
    EXPECT_FALSE(calls.contains("terminateSoon"));
}

TEST_F(QuitControllerTest, TerminationSignsOutOnlyWithoutRememberMe)
{
    ad.authStateListenerHandle = 4;
    quit->applicationWillTerminate();
    EXPECT_EQ(calls, QStringList({"resetUserData", "removeListener"}));
    calls.clear();
    preferences.setObject("QVRememberMe", false);
    ad.authStateListenerHandle = 0;
    quit->applicationWillTerminate();
    EXPECT_EQ(calls, QStringList({"resetUserData", "signOut", "deleteUserData"}));
}

}  // namespace
}  // namespace qv::shell
