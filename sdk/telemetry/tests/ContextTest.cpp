#include "ZETestSupport.h"

#include "sdk/telemetry/Internals/Context/Session/ZESessionContext.h"
#include "sdk/telemetry/Internals/Context/UserId/ZEUserIdContext.h"
#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"

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
