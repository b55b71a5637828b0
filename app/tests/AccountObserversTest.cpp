#include "ShellFixture.h"

namespace {

using qv::DatabaseValue;

class AccountObserversTest : public ShellFixture {};

TEST_F(AccountObserversTest, SignInWritesTheLaunchRecordOncePerRunAndAgainAfterLogOut)
{
    Computer& mac = addComputer("SYS1");
    const DatabaseValue record = backend.value("stats/os_version/14_2_1/UID1/SYS1");
    EXPECT_EQ(record.child("app_type").toString(), "Direct");
    EXPECT_EQ(record.child("app_version").toString(), "2.4");
    EXPECT_EQ(record.child("build_version").toString(), "240");
    EXPECT_EQ(record.child("date_ms").toInt(), kTestNow);
    EXPECT_EQ(record.child("date").toString().size(), 10u);
    EXPECT_EQ(backend.value("users/UID1/os_version/14_2_1/SYS1"), record);
    EXPECT_EQ(mac.services.telemetryUserId, "UID1");
    EXPECT_EQ(mac.services.count("transitionToFiles"), 1);

    // The listener reporting the same user again writes nothing and, off the log-in screen,
    // stays where it is.
    backend.setValue("stats/os_version/14_2_1/UID1/SYS1", nullptr);
    mac.shell.observers.authStateChanged(user);
    queue.drain();
    EXPECT_TRUE(backend.value("stats/os_version/14_2_1/UID1/SYS1").isNull());
    EXPECT_EQ(mac.services.count("transitionToFiles"), 1);

    mac.shell.logOut.logOut();
    mac.shell.observers.authStateChanged(std::nullopt);
    queue.drain();
    EXPECT_TRUE(backend.value("users_online/UID1").isNull());
    // Signing in again on a line that stays up announces the computer at once.
    mac.shell.observers.authStateChanged(user);
    queue.drain();
    EXPECT_FALSE(backend.value("stats/os_version/14_2_1/UID1/SYS1").isNull());
    EXPECT_EQ(backend.value("users_online/UID1").childCount(), 1u);
}

TEST_F(AccountObserversTest, ShiftAloneAtSignInLogsOut)
{
    const struct {
        std::uint64_t flags;
        bool logsOut;
    } cases[] = {
        {0x20000, true},
        {0x20000 | 0x100, true},        // device-dependent bits below 16 do not count
        {0x20000 | 0x80000, false},     // Option
        {0x20000 | 0x100000, false},    // Command
        {0x20000 | 0x40000, false},     // Control
        {0x20000 | 0x10000, false},     // Caps Lock
        {0, false},
    };
    for (const auto& test : cases) {
        Computer& mac = addComputer(QStringLiteral("SYS%1").arg(test.flags));
        mac.services.modifierFlags = test.flags;
        mac.services.calls.clear();
        mac.ad.currentMode = 0;
        mac.shell.observers.authStateChanged(user);
        queue.drain();
        EXPECT_EQ(mac.services.count("transitionToLogIn"), test.logsOut ? 1 : 0) << std::hex << test.flags;
        EXPECT_EQ(mac.services.count("transitionToFiles"), test.logsOut ? 0 : 1) << std::hex << test.flags;
    }
}

TEST_F(AccountObserversTest, ServiceStatusWords)
{
    Computer& mac = addComputer("SYS1");
    const struct {
        DatabaseValue value;
        std::int64_t status;
    } cases[] = {{"delayed", 0}, {"unavailable", -1}, {"normal", 1}, {"busy", 1}, {42, 1}, {nullptr, 1}};
    for (const auto& test : cases) {
        const int refreshes = mac.services.count("refreshPendingView");
        backend.setValue("status", test.value);
        queue.drain();
        EXPECT_EQ(mac.ad.externalServiceStatus, test.status);
        // Every value but null refreshes the pending view, even one that changes nothing.
        EXPECT_EQ(mac.services.count("refreshPendingView"), refreshes + (test.value.isNull() ? 0 : 1));
    }
}

TEST_F(AccountObserversTest, AccountFieldsFollowTheStatusWithoutPilingUpObservers)
{
    backend.setValue("users/UID1", DatabaseValue::object({{"first_name", "Ada"}, {"last_name", "Byron"},
                                                          {"email", "ada@example.com"}, {"mins_bal", 90}}));
    Computer& mac = addComputer("SYS1");
    mac.ad.droppedFilesBeforeLaunch = {QUrl::fromLocalFile("/media/a.wav")};
    mac.preferences.setObject("QVHasViewedOnboarding", true);
    for (int status : {10, 20, 30}) {
        backend.setValue("users/UID1/status", status);
        queue.drain();
        EXPECT_EQ(mac.ad.userStatus, status);
        EXPECT_EQ(mac.services.pendingTableEnabled, status >= 30);
    }
    EXPECT_EQ(mac.ad.userFirstName, "Ada");
    EXPECT_EQ(mac.ad.userEmailAddress, "ada@example.com");
    EXPECT_EQ(mac.ad.userBalance, 90);
    EXPECT_EQ(mac.services.pendingAdded, std::vector<QUrl>{QUrl::fromLocalFile("/media/a.wav")});
    EXPECT_TRUE(mac.ad.droppedFilesBeforeLaunch.empty());

    // After three status reports one balance change still raises the window once.
    const int raised = mac.services.count("bringMainWindowToFront");
    backend.setValue("users/UID1/mins_bal", 30);
    queue.drain();
    EXPECT_EQ(mac.ad.userBalance, 30);
    EXPECT_EQ(mac.services.count("bringMainWindowToFront"), raised + 1);

    // A status an older client wrote as text reads as not verified; a removed one changes nothing.
    backend.setValue("users/UID1/status", "verified");
    queue.drain();
    EXPECT_EQ(mac.ad.userStatus, 0);
    EXPECT_FALSE(mac.services.pendingTableEnabled);
    backend.setValue("users/UID1/status", nullptr);
    queue.drain();
    EXPECT_EQ(mac.ad.userStatus, 0);
}

TEST_F(AccountObserversTest, CustomWordsOfTheAccountAndOfTheOpenFile)
{
    backend.setValue("files/F1", fileRecord("UID1", 30, 1));
    backend.setValue("users/UID1/status", 30);
    backend.setValue("users/UID1/custom_words/-a", "Quorum");
    Computer& mac = addComputer("SYS1");
    EXPECT_EQ(mac.ad.userCustomWords.value("-a"), "Quorum");

    auto file = fileFromRecord({}, "F1", mac.ad.filesMetadataRef.child("F1"));
    open(mac, file);
    mac.ad.currentMode = 2;
    mac.services.customWordRefreshes.clear();
    backend.setValue("files/F1/custom_words/-b", "Lumen");
    queue.drain();
    EXPECT_EQ(file->customWords.value("-b"), "Lumen");
    EXPECT_EQ(mac.services.customWordRefreshes, std::vector<bool>{true});

    // The panel showing only the account's words is not refreshed for the file's.
    mac.services.showsFileWords = false;
    backend.setValue("files/F1/custom_words/-b", nullptr);
    backend.setValue("users/UID1/custom_words/-a", nullptr);
    queue.drain();
    EXPECT_TRUE(file->customWords.isEmpty());
    EXPECT_TRUE(mac.ad.userCustomWords.isEmpty());
    EXPECT_EQ(mac.services.customWordRefreshes, (std::vector<bool>{true, true}));
}

TEST_F(AccountObserversTest, ConnectionLostAndRegainedAddsAFreshPresenceEntry)
{
    Computer& mac = addComputer("SYS1");
    ASSERT_TRUE(mac.ad.isConnected);
    const DatabaseValue first = backend.value("users_online/UID1");
    ASSERT_EQ(first.childCount(), 1u);
    EXPECT_EQ((*first.children().begin()).value.toString(), "Mac App (2.4) [SYS1]");

    mac.client->goOffline();
    queue.drain();
    EXPECT_FALSE(mac.ad.isConnected);
    EXPECT_TRUE(mac.ad.isViewingOnly);
    EXPECT_TRUE(backend.value("users_online/UID1").isNull());
    EXPECT_GE(mac.services.count("refreshBusyErrorStatus"), 2);

    mac.client->goOnline();
    queue.drain();
    EXPECT_TRUE(mac.ad.isConnected);
    EXPECT_FALSE(mac.ad.isViewingOnly);
    const DatabaseValue second = backend.value("users_online/UID1");
    ASSERT_EQ(second.childCount(), 1u);
    EXPECT_NE((*second.children().begin()).key, (*first.children().begin()).key);
}

TEST_F(AccountObserversTest, SignOutDetachesTheAccountAndClearsItsState)
{
    backend.setValue("users/UID1", DatabaseValue::object({{"status", 30}, {"first_name", "Ada"}, {"mins_bal", 5},
                                                          {"files", DatabaseValue::object({{"F1", true}})}}));
    backend.setValue("files/F1", fileRecord("UID1", 20, 1));
    Computer& mac = addComputer("SYS1");
    ASSERT_EQ(mac.ad.files.size(), 1u);
    mac.services.rows = mac.ad.files;
    open(mac, mac.ad.files.front());

    mac.services.calls.clear();
    mac.shell.observers.authStateChanged(std::nullopt);
    EXPECT_EQ(mac.services.count("reloadData"), 0);
    queue.drain();
    EXPECT_EQ(mac.services.count("reloadData"), 1);
    EXPECT_GE(mac.services.calls.indexOf("refreshFilesUI"), mac.services.calls.indexOf("reloadData"));
    EXPECT_FALSE(mac.ad.currentUser);
    EXPECT_FALSE(mac.ad.isLoggedIn);
    EXPECT_TRUE(mac.ad.files.empty());
    EXPECT_TRUE(mac.services.rows.empty());
    EXPECT_TRUE(mac.ad.syncedTranscripts.empty());
    EXPECT_EQ(mac.ad.userBalance, 0);
    EXPECT_TRUE(mac.ad.userFirstName.isEmpty());
    EXPECT_FALSE(mac.ad.userStatusRef.isValid());
    EXPECT_FALSE(mac.ad.userFilesMetadataRef.isValid());
    EXPECT_TRUE(backend.value("users_online/UID1").isNull());
    EXPECT_TRUE(backend.value("files/F1/users_online").isNull());

    // Later changes of the former account reach nothing.
    backend.setValue("users/UID1/mins_bal", 500);
    backend.setValue("users/UID1/files/F2", true);
    backend.setValue("files/F2", fileRecord("UID1", 30, 2));
    queue.advance(1);
    EXPECT_EQ(mac.ad.userBalance, 0);
    EXPECT_TRUE(mac.ad.files.empty());
}

TEST_F(AccountObserversTest, AnAccountDeletedOnAnotherComputerEmptiesTheListAndKeepsTheRest)
{
    backend.setValue("users/UID1", DatabaseValue::object({{"status", 30}, {"first_name", "Ada"}, {"mins_bal", 5},
                                                          {"files", DatabaseValue::object({{"F1", true}})}}));
    backend.setValue("files/F1", fileRecord("UID1", 30, 1));
    Computer& mac = addComputer("SYS1");
    mac.services.rows = mac.ad.files;
    ASSERT_EQ(mac.ad.files.size(), 1u);

    backend.setValue("users/UID1", nullptr);
    queue.advance(0.2);
    EXPECT_TRUE(mac.ad.files.empty());
    EXPECT_TRUE(mac.services.rows.empty());
    // The fields keep their last values until the sign-in service says the user is gone.
    EXPECT_EQ(mac.ad.userStatus, 30);
    EXPECT_EQ(mac.ad.userFirstName, "Ada");
    EXPECT_TRUE(mac.ad.currentUser);
}

}  // namespace
