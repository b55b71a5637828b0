#include "ZETestSupport.h"
#include "ZEFakeTransport.h"

#include "sdk/telemetry/Internals/DelegateForwarder/ZEDelegateForwarder.h"
#include "sdk/telemetry/Internals/Http/ZEDependencyConfiguration.h"
#include "sdk/telemetry/Internals/Http/ZEHttpClient.h"
#include "sdk/telemetry/Internals/Ingestion/ZEHttpIngestion.h"
#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Service/ZEServiceAbstract.h"
#include "sdk/telemetry/Internals/Util/ZEDeviceTracker.h"
#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"
#include "sdk/telemetry/ZEZavEdurov.h"

#include <cstdlib>

namespace ze {
namespace {

using namespace std::chrono_literals;
using test::FakeTransport;
using test::SdkTest;

class TestService final : public ZEServiceAbstract {
public:
    TestService(std::string name, int priority, bool secretRequired)
        : name_(std::move(name))
        , priority_(priority)
        , secretRequired_(secretRequired)
    {
    }
    std::string serviceName() const override { return name_; }
    std::string logTag() const override { return "Test" + name_; }
    int initializationPriority() const override { return priority_; }
    bool isAppSecretRequired() const override { return secretRequired_; }
    std::optional<ZEChannelUnitConfiguration> channelUnitConfiguration() const override
    {
        return ZEChannelUnitConfiguration::defaultConfiguration(name_);
    }
    void applyEnabledState(bool enabled) override
    {
        applied.push_back(enabled);
        ZEServiceAbstract::applyEnabledState(enabled);
    }
    std::vector<bool> applied;

private:
    std::string name_;
    int priority_;
    bool secretRequired_;
};

class ZEZavEdurovTest : public SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        ::unsetenv("ZAV_EDUROV_DISABLE");
        ZEZavEdurov::resetSharedInstance();
        ZEDeviceTracker::resetSharedInstance();
        client = ZEHttpClient::make(std::nullopt, nullptr, transport);
        ZEDependencyConfiguration::setHttpClient(client);
        ZEZavEdurov::setLogUrl("http://127.0.0.1:9");
    }

    void TearDown() override
    {
        if (auto group = ZEZavEdurov::channelGroup()) {
            group->logsDispatchQueue()->drain();
        }
        ZEZavEdurov::resetSharedInstance();
        ZEDependencyConfiguration::setHttpClient(nullptr);
        ::unsetenv("ZAV_EDUROV_DISABLE");
        SdkTest::TearDown();
    }

    // The "services" of every start-service log sent so far.
    std::vector<std::vector<std::string>> startServiceLogs()
    {
        ZEZavEdurov::channelGroup()->logsDispatchQueue()->drain();
        clock->advance(6s);
        ZEZavEdurov::channelGroup()->logsDispatchQueue()->drain();
        std::dynamic_pointer_cast<ZEHttpIngestion>(ZEZavEdurov::channelGroup()->ingestion())->drainRequests();
        std::vector<std::vector<std::string>> found;
        for (std::size_t i = 0; i < transport->count(); ++i) {
            const auto body = ZEJson::parse(crypto::string(transport->request(i).body));
            for (const auto& log : body["logs"]) {
                if (log["type"] == "startService") {
                    found.push_back(log["services"].get<std::vector<std::string>>());
                }
            }
        }
        return found;
    }

    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    std::shared_ptr<ZEHttpClient> client;
    std::shared_ptr<TestService> crashes = std::make_shared<TestService>("Crashes", 999, true);
    std::shared_ptr<TestService> analytics = std::make_shared<TestService>("Analytics", 500, false);
};

TEST_F(ZEZavEdurovTest, StartsServicesByPriorityAndReportsThemInOneLog)
{
    EXPECT_FALSE(ZEZavEdurov::isEnabled());
    ZEZavEdurov::start("app-secret", {analytics, crashes});
    EXPECT_TRUE(ZEZavEdurov::isConfigured());
    EXPECT_TRUE(ZEZavEdurov::isEnabled());
    EXPECT_TRUE(crashes->isStarted());
    EXPECT_TRUE(analytics->isStarted());
    EXPECT_EQ(startServiceLogs(), (std::vector<std::vector<std::string>>{{"Crashes", "Analytics"}}));
    ASSERT_GE(transport->count(), 1u);
    EXPECT_EQ(transport->request(0).url, "http://127.0.0.1:9/logs?api-version=1.0.0");
    EXPECT_EQ(transport->request(0).headers.at("App-Secret"), "app-secret");
    EXPECT_EQ(transport->request(0).headers.at("Install-ID"), ZEZavEdurov::installId().UUIDString());

    // A second start from the application changes nothing.
    ZEZavEdurov::start("other-secret", {analytics});
    EXPECT_EQ(countLogs(ZELogLevelAssert, "Zav Edurov SDK has already been configured."), 1);
    EXPECT_EQ(countLogs(ZELogLevelAssert, "Zav Edurov SDK configuration failed."), 1);
    EXPECT_EQ(ZEZavEdurov::channelGroup()->appSecret(), "app-secret");
}

TEST_F(ZEZavEdurovTest, TheEnvironmentSwitchSkipsServicesByName)
{
    ::setenv("ZAV_EDUROV_DISABLE", " Crashes ,Other", 1);
    EXPECT_TRUE(ZEZavEdurov::shouldDisable("Crashes"));
    EXPECT_FALSE(ZEZavEdurov::shouldDisable("Analytics"));
    ZEZavEdurov::start("app-secret", {analytics, crashes});
    EXPECT_FALSE(crashes->isStarted());
    EXPECT_EQ(startServiceLogs(), (std::vector<std::vector<std::string>>{{"Analytics"}}));

    ::setenv("ZAV_EDUROV_DISABLE", "All", 1);
    EXPECT_TRUE(ZEZavEdurov::shouldDisable("Analytics"));
    EXPECT_TRUE(ZEZavEdurov::shouldDisable("Crashes"));
}

TEST_F(ZEZavEdurovTest, AServiceNeedingASecretIsRefusedWithoutOne)
{
    ZEZavEdurov::startWithServices({crashes, analytics});
    EXPECT_FALSE(crashes->isStarted());
    EXPECT_TRUE(analytics->isStarted());
    EXPECT_EQ(countLogs(ZELogLevelError,
                  "Cannot start service Crashes. Zav Edurov was started without app secret, but the service requires it."),
        1);
}

TEST_F(ZEZavEdurovTest, StartingWhileDisabledSendsTheNamesOnceReEnabled)
{
    ZEZavEdurovUserDefaults::shared().setObject(false, "ZavEdurovIsEnabled");
    ZEZavEdurov::start("app-secret", {analytics});
    EXPECT_FALSE(ZEZavEdurov::isEnabled());
    // A service started while the SDK is disabled is switched off with it.
    EXPECT_FALSE(analytics->isEnabled());
    EXPECT_TRUE(startServiceLogs().empty());

    ZEZavEdurov::setEnabled(true);
    EXPECT_TRUE(analytics->isEnabled());
    EXPECT_EQ(startServiceLogs(), (std::vector<std::vector<std::string>>{{"Analytics"}}));
}

TEST_F(ZEZavEdurovTest, DisablingAServiceDeletesItsLogsAndIsPersisted)
{
    ZEZavEdurov::start("app-secret", {analytics});
    analytics->setEnabledFromApplication(true);
    EXPECT_EQ(analytics->applied, std::vector<bool>{true});
    analytics->setEnabledFromApplication(false);
    EXPECT_EQ(analytics->applied, (std::vector<bool>{true, false}));
    const auto stored = ZEZavEdurovUserDefaults::shared().objectForKey("AnalyticsIsEnabled");
    ASSERT_TRUE(stored);
    EXPECT_FALSE(std::get<bool>(*stored));

    // The whole SDK disabled: the service switch is refused.
    ZEZavEdurov::setEnabled(false);
    analytics->setEnabledFromApplication(true);
    EXPECT_EQ(countLogs(ZELogLevelError,
                  "The SDK is disabled. Re-enable the whole SDK from ZavEdurov first before enabling Analytics service."),
        1);
    EXPECT_FALSE(analytics->isEnabled());
}

TEST_F(ZEZavEdurovTest, AServiceUsedBeforeStartRefuses)
{
    TestService idle("Idle", 500, false);
    EXPECT_FALSE(idle.isEnabledFromApplication());
    idle.setEnabledFromApplication(false);
    EXPECT_TRUE(idle.isEnabled());
    EXPECT_EQ(countLogs(ZELogLevelError,
                  "Idle service hasn't been started. You need to call [ZEZavEdurov start:YOUR_APP_SECRET withServices:LIST_OF_SERVICES] first."),
        2);
}

TEST_F(ZEZavEdurovTest, TheStorageCapIsCheckedAndPassedOnOnce)
{
    std::vector<bool> answers;
    ZEZavEdurov::setMaxStorageSize(24'575, [&](bool ok) { answers.push_back(ok); });
    ZEZavEdurov::setMaxStorageSize(24'576 * 4, [&](bool ok) { answers.push_back(ok); });
    ZEZavEdurov::setMaxStorageSize(24'576 * 8, [&](bool ok) { answers.push_back(ok); });
    ZEZavEdurov::start("app-secret", {});
    ZEZavEdurov::channelGroup()->logsDispatchQueue()->drain();
    EXPECT_EQ(answers, (std::vector<bool>{false, false, true}));
}

TEST_F(ZEZavEdurovTest, AnInstallIdThatIsNoUuidIsReplaced)
{
    ZEZavEdurovUserDefaults::shared().setObject(std::string("not a uuid"), "InstallId");
    const auto id = ZEZavEdurov::installId();
    const auto stored = ZEZavEdurovUserDefaults::shared().objectForKey("InstallId");
    EXPECT_EQ(std::get<std::string>(*stored), id.UUIDString());
    EXPECT_EQ(ZEZavEdurov::installId(), id);
}

TEST_F(ZEZavEdurovTest, SetUserIdNeedsTheApplicationsConfiguration)
{
    ZEZavEdurov::setUserId("alice");
    EXPECT_EQ(countLogs(ZELogLevelError, "ZavEdurov must be configured from application, libraries cannot call setUserId."), 1);
    ZEZavEdurov::start("app-secret", {});
    ZEZavEdurov::setUserId("alice");
    EXPECT_EQ(ZEZavEdurov::userId(), "alice");
}

TEST(ZEDelegateForwarderTest, ChainsReturnedValuesAndBuffersTracesUntilTheLevelIsSet)
{
    class Adder final : public ZEForwardedDelegate {
    public:
        explicit Adder(int add)
            : add_(add)
        {
        }
        bool respondsToSelector(const std::string& selector) const override
        {
            return selector == "application:shouldOpen:returnedValue:";
        }
        std::any invoke(const std::string&, const std::vector<std::any>& arguments) override
        {
            seen = std::any_cast<int>(arguments.back());
            return seen + add_;
        }
        int seen = -1;

    private:
        int add_;
    };
    ZEDelegateForwarder::resetTraceBuffer();
    ZEAppDelegateForwarder::resetSharedInstance();
    auto forwarder = ZEAppDelegateForwarder::sharedInstance();
    EXPECT_TRUE(forwarder->isEnabled());
    const std::string selector = "application:shouldOpen:returnedValue:";
    EXPECT_EQ(std::any_cast<int>(forwarder->forwardInvocation(selector, {std::any(0), std::any(5)})), 5);

    auto first = std::make_shared<Adder>(1);
    auto second = std::make_shared<Adder>(10);
    forwarder->addDelegate(first);
    forwarder->addDelegate(second);
    EXPECT_EQ(std::any_cast<int>(forwarder->forwardInvocation(selector, {std::any(0), std::any(5)})), 16);
    EXPECT_EQ(second->seen, 6);

    forwarder->addDelegateSelectorToSwizzle(selector);
    forwarder->applicationDelegateDidChange("QVAppDelegate");
    EXPECT_TRUE(forwarder->isForwarding(selector));

    std::vector<std::string> lines;
    ZELogger::setLogHandler([&lines](const ZELogMessageProvider& message, ZELogLevel, const std::string&, const char*,
                                const char*, std::uint32_t) { lines.push_back(message()); });
    ZELogger::setCurrentLogLevel(ZELogLevelVerbose);
    ZEDelegateForwarder::addTraceBlock([] { ZELogDebug(kZELogTag, "before flush"); });
    ZEDelegateForwarder::flushTraceBuffer();
    ZEDelegateForwarder::addTraceBlock([] { ZELogDebug(kZELogTag, "after flush"); });
    ZELogger::flush();
    ZELogger::setLogHandler(nullptr);
    ZELogger::setCurrentLogLevel(ZELogLevelAssert);
    ZELogger::setIsUserDefinedLogLevel(false);
    const std::vector<std::string> expected{"Start buffering traces.",
        "Delegate forwarder for info.plist key 'ZavEdurovAppDelegateForwarderEnabled' enabled. It may use swizzling.",
        "Selector 'application:shouldOpen:returnedValue:' of class 'QVAppDelegate' is swizzled.", "before flush",
        "Stop buffering traces, flushed.", "after flush"};
    EXPECT_EQ(lines, expected);

    // Disabled from the application's information: delegates are refused.
    auto info = ZEPlatform::applicationInfo();
    info.infoFlags[ZEAppDelegateForwarder::kEnabledKey] = false;
    ZEPlatform::setApplicationInfo(info);
    ZEAppDelegateForwarder::resetSharedInstance();
    auto disabled = ZEAppDelegateForwarder::sharedInstance();
    EXPECT_FALSE(disabled->isEnabled());
    disabled->addDelegate(first);
    EXPECT_EQ(std::any_cast<int>(disabled->forwardInvocation(selector, {std::any(0), std::any(5)})), 5);
    ZEPlatform::setApplicationInfo(ZEApplicationInfo());
    ZEAppDelegateForwarder::resetSharedInstance();
}

} // namespace
} // namespace ze
