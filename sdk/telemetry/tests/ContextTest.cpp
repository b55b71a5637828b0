#include "ZETestSupport.h"

#include "sdk/telemetry/Internals/Context/Session/ZESessionContext.h"
#include "sdk/telemetry/Internals/Context/UserId/ZEUserIdContext.h"
#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/ZEZavEdurov.h"

#include <cstdio>
#include <cstdlib>

namespace ze {
namespace {

using namespace std::chrono_literals;
using test::SdkTest;

class ZEContextTest : public SdkTest {
};

class RecordingDelegate final : public ZEUserIdContextDelegate {
public:
    void userIdContextDidUpdateUserId(ZEUserIdContext&, const std::optional<std::string>& userId) override
    {
        received.push_back(userId);
    }
    std::vector<std::optional<std::string>> received;
};

TEST_F(ZEContextTest, UserIdInForceAtATimeIsTheNewestStrictlyEarlierEntry)
{
    const ZEDate launch = clock->now();
    {
        ZEUserIdContext first;
        clock->advance(10s);
        first.setUserId("alice");
    }
    clock->advance(100s);
    ZEUserIdContext second;
    const auto history = second.userIdHistory();
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].userId, "alice");
    EXPECT_EQ(history[0].timestamp, launch + 10s);

    EXPECT_EQ(second.userIdAt(launch + 10s + 1ms), "alice");
    EXPECT_FALSE(second.userIdAt(launch + 10s));
    EXPECT_FALSE(second.userIdAt(launch));
    EXPECT_FALSE(second.userIdAt(clock->now() + 1s));

    second.clearUserIdHistory();
    EXPECT_EQ(second.userIdHistory().size(), 1u);
    EXPECT_FALSE(second.userIdAt(launch + 20s));
}

TEST_F(ZEContextTest, SettingTheSameUserIdTwiceStoresAndNotifiesOnce)
{
    ZEUserIdContext context;
    auto delegate = std::make_shared<RecordingDelegate>();
    context.addDelegate(delegate);
    context.setUserId(std::nullopt);
    context.setUserId("bob");
    clock->advance(1s);
    context.setUserId("bob");
    EXPECT_EQ(delegate->received, (std::vector<std::optional<std::string>>{"bob"}));
    EXPECT_EQ(context.userIdHistory().back().timestamp, clock->now() - 1s);
    context.setUserId(std::nullopt);
    EXPECT_EQ(delegate->received.size(), 2u);
    context.removeDelegate(delegate);
    context.setUserId("carol");
    EXPECT_EQ(delegate->received.size(), 2u);
    EXPECT_EQ(context.userId(), "carol");
    EXPECT_EQ(context.userIdHistory().size(), 1u);
}

TEST_F(ZEContextTest, UserIdRules)
{
    EXPECT_TRUE(ZEUserIdContext::isUserIdValidForZavEdurov(std::string(256, 'u')));
    EXPECT_FALSE(ZEUserIdContext::isUserIdValidForZavEdurov(std::string(257, 'u')));
    EXPECT_TRUE(ZEUserIdContext::isUserIdValidForZavEdurov(std::nullopt));
    EXPECT_EQ(countLogs(ZELogLevelError, "userId is limited to 256 characters."), 1);

    const std::pair<std::optional<std::string>, bool> collector[] = {
        {std::nullopt, true}, {"plain", true}, {"c:abc", true}, {"", false}, {"c:", false}, {"x:abc", false}};
    for (const auto& [userId, valid] : collector) {
        EXPECT_EQ(ZEUserIdContext::isUserIdValidForCollector(userId), valid) << userId.value_or("(none)");
    }
    EXPECT_EQ(countLogs(ZELogLevelError, "userId prefix must be 'c', 'x' is not supported."), 1);
    EXPECT_EQ(countLogs(ZELogLevelError, "userId must not be empty."), 2);

    EXPECT_EQ(ZEUserIdContext::prefixedUserIdFromUserId("abc"), "c:abc");
    EXPECT_EQ(ZEUserIdContext::prefixedUserIdFromUserId("x:y"), "x:y");
    EXPECT_FALSE(ZEUserIdContext::prefixedUserIdFromUserId(std::nullopt));
}

TEST_F(ZEContextTest, SessionHistoryKeepsOneEntryPerLaunch)
{
    const ZEDate launch = clock->now();
    {
        ZESessionContext first;
        first.setSessionId("s1");
        clock->advance(5s);
        first.setSessionId("s2");
        EXPECT_EQ(first.sessionId(), "s2");
        EXPECT_EQ(first.sessionHistory().size(), 1u);
    }
    clock->advance(5s);
    ZESessionContext second;
    EXPECT_EQ(second.sessionHistory().size(), 2u);
    EXPECT_EQ(second.sessionIdAt(launch + 5s + 1ms), "s2");
    EXPECT_FALSE(second.sessionIdAt(launch + 5s));
    second.setSessionId("s3");
    second.clearSessionHistoryAndKeepCurrentSession(true);
    EXPECT_EQ(second.sessionHistory().size(), 1u);
    second.clearSessionHistoryAndKeepCurrentSession(false);
    EXPECT_TRUE(second.sessionHistory().empty());
    EXPECT_TRUE(ZESessionContext().sessionHistory().size() == 1u);
}

TEST_F(ZEContextTest, AnUnreadableHistoryStartsEmpty)
{
    ZEZavEdurovUserDefaults::shared().setObject(ZEData{1, 2, 3}, "SessionIdHistory");
    ZESessionContext context;
    EXPECT_EQ(context.sessionHistory().size(), 1u);
    EXPECT_EQ(logs().front().level, ZELogLevelError);
}

TEST_F(ZEContextTest, SharedInstancesAreMadeOnceUntilReset)
{
    const auto first = ZEUserIdContext::sharedInstance();
    EXPECT_EQ(ZEUserIdContext::sharedInstance(), first);
    ZEUserIdContext::resetSharedInstance();
    EXPECT_NE(ZEUserIdContext::sharedInstance(), first);
    ZEUserIdContext::resetSharedInstance();
    const auto session = ZESessionContext::sharedInstance();
    EXPECT_EQ(ZESessionContext::sharedInstance(), session);
    ZESessionContext::resetSharedInstance();
}

// A host may make the services, and with them the contexts, before it first touches the SDK
// (the arguments of its start call are made before the call). The stored histories cannot be
// read before the SDK registers their classes; they must still reach the contexts, and not be
// written over with this launch alone. Runs in a process of its own, where nothing has
// registered the classes yet.
class ZEContextBeforeTheSdkTest : public SdkTest {
protected:
    bool registersArchiveClasses() const override { return false; }
};

TEST_F(ZEContextBeforeTheSdkTest, ContextsMadeBeforeTheSdkIsConfiguredKeepTheEarlierLaunches)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const ZEDate earlier = clock->now();
            ZESaveHistory<ZESessionHistoryInfo>("SessionIdHistory", {std::make_shared<ZESessionHistoryInfo>(earlier, "crashed-session")});
            ZESaveHistory<ZEUserIdHistoryInfo>("UserIdHistory", {std::make_shared<ZEUserIdHistoryInfo>(earlier, "crashed-user")});
            clock->advance(5s);
            ZESessionContext::resetSharedInstance();
            ZEUserIdContext::resetSharedInstance();
            const auto sessions = ZESessionContext::sharedInstance();
            const auto userIds = ZEUserIdContext::sharedInstance();
            ZEZavEdurov::setLogUrl("http://127.0.0.1:1");
            ZEZavEdurov::start("app-secret", {});
            const auto sid = sessions->sessionIdAt(earlier + 1s);
            const auto uid = userIds->userIdAt(earlier + 1s);
            const auto stored = ZEZavEdurovUserDefaults::shared().objectForKey("SessionIdHistory");
            const std::size_t persisted = stored && std::holds_alternative<ZEData>(*stored)
                ? ZEUtility::unarchiveKeyedArray<ZESessionHistoryInfo>(std::get<ZEData>(*stored)).value_or(
                      std::vector<std::shared_ptr<ZESessionHistoryInfo>>()).size()
                : 0;
            std::fprintf(stderr, "sid=%s userId=%s persisted sessions=%zu\n", sid.value_or("(none)").c_str(),
                uid.value_or("(none)").c_str(), persisted);
            std::exit(sid == "crashed-session" && uid == "crashed-user" && persisted == 2 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

class ZEUserDefaultsTest : public SdkTest {
};

TEST_F(ZEUserDefaultsTest, KeysArePrefixed)
{
    auto& store = ZEZavEdurovUserDefaults::shared();
    store.setObject(std::string("id"), "InstallId");
    EXPECT_EQ(settings->objectForKey("ZEZavEdurovInstallId"), ZESettingValue(std::string("id")));
    EXPECT_EQ(store.objectForKey("InstallId"), ZESettingValue(std::string("id")));
    store.removeObjectForKey("InstallId");
    EXPECT_FALSE(store.objectForKey("InstallId"));
}

TEST_F(ZEUserDefaultsTest, MigrationMovesOldKeysOncePerService)
{
    settings->setObject("pastDevicesKey", ZEData{1});
    settings->setObject("ZEChannelStartTimer:Analytics", std::string("a"));
    settings->setObject("ZEChannelStartTimer:Crashes", std::string("c"));
    settings->setObject("SessionIdHistory", ZEData{2});
    auto& store = ZEZavEdurovUserDefaults::shared();
    store.migrateKeys(ZEZavEdurovUserDefaults::coreMigrationKeys(), "ZavEdurov");

    EXPECT_EQ(store.objectForKey("PastDevices"), ZESettingValue(ZEData{1}));
    EXPECT_EQ(store.objectForKey("SessionIdHistory"), ZESettingValue(ZEData{2}));
    EXPECT_EQ(store.objectForKey("ChannelStartTimer:Analytics"), ZESettingValue(std::string("a")));
    EXPECT_EQ(store.objectForKey("ChannelStartTimer:Crashes"), ZESettingValue(std::string("c")));
    EXPECT_FALSE(settings->objectForKey("pastDevicesKey"));
    EXPECT_FALSE(settings->objectForKey("ZEChannelStartTimer:Crashes"));
    // An old key without a value leaves its new key untouched and is not mentioned.
    EXPECT_FALSE(store.objectForKey("InstallId"));
    EXPECT_EQ(countLogs(ZELogLevelVerbose, "Migrating key ZEInstallId -> ZEZavEdurovInstallId"), 0);
    EXPECT_EQ(countLogs(ZELogLevelVerbose, "Migrating key pastDevicesKey -> ZEZavEdurovPastDevices"), 1);
    EXPECT_EQ(store.objectForKey("310ZavEdurovUserDefaultsMigratedKey"), ZESettingValue(true));

    settings->setObject("pastDevicesKey", ZEData{9});
    store.migrateKeys(ZEZavEdurovUserDefaults::coreMigrationKeys(), "ZavEdurov");
    EXPECT_EQ(store.objectForKey("PastDevices"), ZESettingValue(ZEData{1}));
    EXPECT_TRUE(settings->objectForKey("pastDevicesKey"));

    // Another service has its own marker.
    settings->setObject("kZECrashesIsEnabledKey", false);
    store.migrateKeys({{"ZEZavEdurovCrashesIsEnabled", std::string("kZECrashesIsEnabledKey")}}, "Crashes");
    EXPECT_EQ(store.objectForKey("CrashesIsEnabled"), ZESettingValue(false));
}

} // namespace
} // namespace ze
