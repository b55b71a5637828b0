#include "ZETestSupport.h"
#include "ZEFakeTransport.h"

#include "sdk/analytics/Model/ZEAnalyticsLogs.h"
#include "sdk/analytics/TransmissionTarget/ZEAnalyticsTransmissionTarget.h"
#include "sdk/analytics/ZEAnalytics.h"
#include "sdk/analytics/ZEAnalyticsCategory.h"
#include "sdk/telemetry/Internals/Http/ZEDependencyConfiguration.h"
#include "sdk/telemetry/Internals/Http/ZEHttpClient.h"
#include "sdk/telemetry/Internals/Ingestion/ZEHttpIngestion.h"
#include "sdk/telemetry/Internals/Storage/ZELogDBStorage.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZEMetadataExtension.h"
#include "sdk/telemetry/Internals/Util/ZEDeviceTracker.h"
#include "sdk/telemetry/Internals/Util/ZETicketCache.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/ZEZavEdurov.h"

#include <sqlite3.h>

#include <future>
#include <mutex>
#include <thread>

namespace ze {
namespace {

using namespace std::chrono_literals;
using test::FakeTransport;
using test::SdkTest;

class ZEAnalyticsTest : public SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        static std::once_flag registered;
        std::call_once(registered, [] { ZEAnalyticsCategory::addAllowedAnalyitcsModuleClasses(); });
        ZEZavEdurov::resetSharedInstance();
        ZEAnalytics::resetSharedInstance();
        ZEDeviceTracker::resetSharedInstance();
        ZEDependencyConfiguration::setHttpClient(ZEHttpClient::make(std::nullopt, nullptr, transport));
        ZEZavEdurov::setLogUrl("http://127.0.0.1:9");
    }

    void TearDown() override
    {
        if (auto group = ZEZavEdurov::channelGroup()) {
            group->logsDispatchQueue()->drain();
        }
        ZEAnalytics::resetSharedInstance();
        ZEZavEdurov::resetSharedInstance();
        ZEDependencyConfiguration::setHttpClient(nullptr);
        SdkTest::TearDown();
    }

    void start() { ZEZavEdurov::start("app-secret", {ZEAnalytics::sharedInstance()}); }

    // Every log sent so far, by unit, after the flush interval.
    std::vector<ZEJson> sentLogs()
    {
        ZEZavEdurov::channelGroup()->logsDispatchQueue()->drain();
        clock->advance(6s);
        ZEZavEdurov::channelGroup()->logsDispatchQueue()->drain();
        std::dynamic_pointer_cast<ZEHttpIngestion>(ZEZavEdurov::channelGroup()->ingestion())->drainRequests();
        std::vector<ZEJson> logs;
        for (std::size_t i = 0; i < transport->count(); ++i) {
            const auto body = ZEJson::parse(test::bodyText(transport->request(i)));
            for (const auto& log : body["logs"]) {
                logs.push_back(log);
            }
        }
        return logs;
    }

    std::vector<ZEJson> sentEvents()
    {
        std::vector<ZEJson> events;
        for (const auto& log : sentLogs()) {
            if (log["type"] == "event") {
                events.push_back(log);
            }
        }
        return events;
    }

    std::size_t storedIn(const std::string& group)
    {
        std::size_t count = 0;
        ZEZavEdurov::channelGroup()->logsDispatchQueue()->sync([&] {
            ZEZavEdurov::channelGroup()->storage()->loadLogsWithGroupId(group, 1000, {},
                [&](const ZELogArray& logs, const auto&) { count = logs.size(); });
        });
        return count;
    }

    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
};

TEST_F(ZEAnalyticsTest, AnEventBeforeStartIsRefusedAndAfterItSentWithItsNameAndId)
{
    ZEAnalytics::trackEvent("Opened file");
    EXPECT_EQ(countLogs(ZELogLevelError,
                  "Analytics service hasn't been started. You need to call [ZEZavEdurov start:YOUR_APP_SECRET withServices:LIST_OF_SERVICES] first."),
        1);
    start();
    ZEAnalytics::trackEvent("Opened file");
    const auto events = sentEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["name"], "Opened file");
    EXPECT_EQ(events[0]["id"].get<std::string>().size(), 36u);
    EXPECT_FALSE(events[0].contains("typedProperties"));
    EXPECT_FALSE(events[0].contains("userId"));
    EXPECT_FALSE(events[0].contains("properties"));
}

TEST_F(ZEAnalyticsTest, FlagsChooseTheUnitAndUnknownOnesFallBackToNormal)
{
    start();
    struct Case {
        std::uint64_t flags;
        const char* group;
        bool warned;
    };
    for (const auto& c : {Case{0, "Analytics", true}, Case{3, "Analytics", true}, Case{0x102, "Analytics_critical", false},
             Case{1, "Analytics", false}}) {
        const auto before = storedIn(c.group);
        const int warnings = countLogs(ZELogLevelWarning, "Invalid flags (" + std::to_string(c.flags & 0xFF)
                + ") received, using normal as a default.");
        ZEAnalytics::trackEvent("event", std::optional<ZEStringMap>(), c.flags);
        EXPECT_EQ(storedIn(c.group), before + 1) << c.flags;
        EXPECT_EQ(countLogs(ZELogLevelWarning, "Invalid flags (" + std::to_string(c.flags & 0xFF)
                          + ") received, using normal as a default."),
            warnings + (c.warned ? 1 : 0))
            << c.flags;
    }
}

TEST_F(ZEAnalyticsTest, TheTransmissionIntervalIsCheckedAndFixedAtStart)
{
    for (const std::uint64_t refused : {5u, 86'401u}) {
        ZEAnalytics::setTransmissionInterval(refused);
        EXPECT_EQ(ZEAnalytics::transmissionInterval(), 6u);
    }
    ZEAnalytics::setTransmissionInterval(86'400);
    EXPECT_EQ(ZEAnalytics::transmissionInterval(), 86'400u);
    ZEAnalytics::setTransmissionInterval(6);
    start();
    ZEAnalytics::setTransmissionInterval(60);
    EXPECT_EQ(ZEAnalytics::transmissionInterval(), 6u);
    EXPECT_EQ(countLogs(ZELogLevelError, "The transmission interval should be set before the ZEAnalytics service is started."), 1);
}

TEST_F(ZEAnalyticsTest, NamesAndTypedPropertiesAreCutToTheirLimits)
{
    EXPECT_EQ(ZEAnalytics::validateEventName(std::string(256, 'n'), "event")->size(), 256u);
    EXPECT_EQ(ZEAnalytics::validateEventName(std::string(257, 'n'), "event")->size(), 256u);
    EXPECT_FALSE(ZEAnalytics::validateEventName(std::string(), "event"));
    // A cut never leaves half of a surrogate pair: "😀" is two UTF-16 units.
    EXPECT_EQ(ZEAnalytics::validateEventName(std::string(255, 'n') + "\xF0\x9F\x98\x80", "event"), std::string(255, 'n'));

    auto properties = std::make_shared<ZEEventProperties>();
    for (int i = 0; i < 21; ++i) {
        properties->setInt64(i, "key" + std::string(i < 10 ? "0" : "") + std::to_string(i));
    }
    EXPECT_EQ(ZEAnalytics::validateZavEdurovEventProperties(properties)->properties().size(), 20u);
    EXPECT_EQ(countLogs(ZELogLevelWarning, "Typed properties cannot contain more than 20 items. Skipping other properties."), 1);

    ZEEventProperties strings;
    strings.setString(std::string(126, 'v'), std::string(126, 'k')).setString(std::string(125, 'w'), "short");
    strings.setDouble(std::numeric_limits<double>::infinity(), "infinite").setString(std::nullopt, "none");
    const auto checked = ZEAnalytics::validateZavEdurovEventProperties(std::make_shared<ZEEventProperties>(strings));
    const auto all = checked->properties();
    ASSERT_EQ(all.size(), 2u);
    const auto* cut = dynamic_cast<const ZEStringTypedProperty*>(all.at(std::string(125, 'k')).get());
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->value->size(), 125u);
    EXPECT_EQ(countLogs(ZELogLevelError, "Double value for property 'infinite' must be finite (cannot be INFINITY or NAN)."), 1);
}

TEST_F(ZEAnalyticsTest, WhatIsStoredAndSentIsWhatTheLimitsLeave)
{
    start();
    ZEAnalytics::trackEvent(std::string(300, 'e'));
    ZEStringMap wide;
    for (int i = 0; i < 26; ++i) {
        wide[std::to_string(i + 10) + std::string(128, 'k')] = std::string(130, 'v');
    }
    ZEAnalytics::trackPage(std::string(300, 'p'), wide);

    std::optional<ZEJson> event;
    std::optional<ZEJson> page;
    for (const auto& log : sentLogs()) {
        if (log["type"] == "event") {
            event = log;
        } else if (log["type"] == "page") {
            page = log;
        }
    }
    ASSERT_TRUE(event && page);
    EXPECT_EQ((*event)["name"], std::string(256, 'e'));
    EXPECT_EQ((*page)["name"], std::string(256, 'p'));
    ASSERT_EQ((*page)["properties"].size(), 20u);
    for (const auto& [key, value] : (*page)["properties"].items()) {
        EXPECT_EQ(key.substr(2), std::string(123, 'k'));
        EXPECT_EQ(value, std::string(125, 'v'));
    }
}

TEST_F(ZEAnalyticsTest, ATrackingCallWaitingForTheStoreHoldsUpNoOtherCall)
{
    // Says when a log has been prepared on the tracking thread, the last step before the store.
    class PreparedProbe final : public ZEChannelDelegate {
    public:
        void channelDidPrepareLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>&, const std::string&, std::uint64_t) override
        {
            std::call_once(first, [this] { prepared.set_value(); });
        }
        std::once_flag first;
        std::promise<void> prepared;
    };
    start();
    auto probe = std::make_shared<PreparedProbe>();
    auto preparedSeen = probe->prepared.get_future();
    ZEZavEdurov::channelGroup()->addDelegate(probe);
    const auto queue = ZEZavEdurov::channelGroup()->logsDispatchQueue();
    queue->drain();
    // A store that takes its time: the group's queue is busy until the test lets it go.
    std::promise<void> release;
    queue->async([released = release.get_future().share()] { released.wait(); });

    auto tracking = std::async(std::launch::async, [] { ZEAnalytics::trackEvent("Waits for the store"); });
    ASSERT_EQ(preparedSeen.wait_for(5s), std::future_status::ready);
    auto pausing = std::async(std::launch::async, [] { ZEAnalytics::pause(); });
    const auto pausedInTime = pausing.wait_for(5s);
    release.set_value();
    tracking.get();
    pausing.get();
    EXPECT_EQ(pausedInTime, std::future_status::ready) << "pausing waited for another thread's store";
    ZEZavEdurov::channelGroup()->removeDelegate(probe);
}

// An event the store refuses (here another connection holds the file's write lock past the
// store's wait) is never sent: each caller of trackEvent hears of it before the call returns, and
// the SDK's log says so. Once the lock is let go, events are stored again.
TEST_F(ZEAnalyticsTest, AnEventTheStoreRefusesIsReportedFailedBeforeTrackEventReturns)
{
    class Failures final : public ZEAnalyticsDelegate {
    public:
        void didFailSendingEventLog(const std::shared_ptr<ZEEventLog>& event, const std::optional<ZEError>& error) override
        {
            std::lock_guard lock(mutex);
            failed[event->name.value_or("")] = error ? error->code : 0;
        }
        std::map<std::string, long> snapshot()
        {
            std::lock_guard lock(mutex);
            return failed;
        }
        std::mutex mutex;
        std::map<std::string, long> failed;
    };
    start();
    auto failures = std::make_shared<Failures>();
    ZEAnalytics::setDelegate(failures);
    ZEZavEdurov::channelGroup()->logsDispatchQueue()->drain();

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((ZEUtility::zavEdurovDirectoryURL() / kZELogDatabaseFileName).c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::map<std::string, long> toldOnReturn;
    std::mutex toldMutex;
    std::vector<std::thread> callers;
    for (const std::string name : {"Refused one", "Refused two"}) {
        callers.emplace_back([&, name] {
            ZEAnalytics::trackEvent(name);
            const auto failed = failures->snapshot();
            std::lock_guard lock(toldMutex);
            if (failed.count(name) > 0) {
                toldOnReturn[name] = failed.at(name);
            }
        });
    }
    for (auto& caller : callers) {
        caller.join();
    }
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(toldOnReturn, (std::map<std::string, long>{{"Refused one", kZELogNotStoredErrorCode}, {"Refused two", kZELogNotStoredErrorCode}}));
    int logged = 0;
    for (const auto& line : logs()) {
        logged += line.level == ZELogLevelError && line.message == "Log of type 'event' could not be stored in group Analytics; it is not sent." ? 1 : 0;
    }
    EXPECT_EQ(logged, 2);

    ZEAnalytics::trackEvent("Stored");
    EXPECT_EQ(storedIn("Analytics"), 1u);
    EXPECT_EQ(failures->snapshot().count("Stored"), 0u);
    ZEAnalytics::setDelegate(nullptr);
}

TEST_F(ZEAnalyticsTest, AnEventConvertsToDataAndMetadataTrees)
{
    ZEEventLog event;
    event.name = "event.name";
    event.eventId = "ID";
    event.timestamp = ZEUtility::now();
    event.typedProperties = std::make_shared<ZEEventProperties>();
    event.typedProperties->setInt64(1, "a.b").setString(std::string("x"), "a.c").setDate(ZEUtility::now(), "d");
    event.typedProperties->setString(std::string("clash"), "a");
    auto log = event.toCommonSchemaLogForTargetToken("key-token", 1);
    ASSERT_TRUE(log);
    EXPECT_EQ(log->name, "event.name");
    const auto data = *log->data->properties();
    // "a" is placed first (name order) and keeps its value; a.b and a.c are dropped.
    EXPECT_EQ(data["a"], "clash");
    EXPECT_TRUE(data["d"].is_string());
    EXPECT_EQ(*log->ext->metadataExt->metadata(), (ZEJson{{"f", {{"d", 9}}}}));

    ZEEventLog tree;
    tree.typedProperties = std::make_shared<ZEEventProperties>();
    tree.typedProperties->setInt64(1, "a.b").setString(std::string("x"), "a.c");
    auto nested = tree.toCommonSchemaLogForTargetToken("key-token", 1);
    EXPECT_EQ(*nested->data->properties(), (ZEJson{{"a", {{"b", 1}, {"c", "x"}}}}));
    EXPECT_EQ(*nested->ext->metadataExt->metadata(), (ZEJson{{"f", {{"a", {{"f", {{"b", 4}}}}}}}}));

    ZEEventLog empty;
    auto bare = empty.toCommonSchemaLogForTargetToken("key-token", 1);
    EXPECT_FALSE(bare->data);
    EXPECT_FALSE(bare->ext->metadataExt);
}

// Stored events must read back whatever build wrote them: an event's archive text is pinned to
// the byte, with every kind of typed property and strings that need escaping.
TEST_F(ZEAnalyticsTest, AnEventArchivesToTheSameTextAsBefore)
{
    auto event = std::make_shared<ZEEventLog>();
    event->name = "Transcribe \"file\"\n";
    event->eventId = "00112233-4455-6677-8899-AABBCCDDEEFF";
    event->sid = "FFEEDDCC-BBAA-4988-B766-554433221100";
    event->userId = "caf\xc3\xa9";
    event->timestamp = ZEDateFromSeconds(1700000000.125);
    event->device = test::validDevice();
    event->properties = ZEStringMap{{"b", "2"}, {"a", "\x01\\"}};
    event->typedProperties = std::make_shared<ZEEventProperties>();
    event->typedProperties->setString(std::string("\xe6\x97\xa5"), "language")
        .setInt64(-42, "count")
        .setDouble(0.1, "ratio")
        .setBool(true, "labels")
        .setDate(ZEDateFromSeconds(86400), "when");
    const auto archive = ZEUtility::archiveKeyedData(event);
    ASSERT_TRUE(archive);
    EXPECT_EQ(std::string(archive->begin(), archive->end()),
        R"({"$archiver":"ZEKeyedArchive","$version":1,"$top":{"root":{"$class":"ZEEventLog","$fields":{"type":{"$class":"NSString",)"
        R"("$value":"event"},"timestamp":{"$class":"NSDate","$value":1700000000124999936},"sid":{"$class":"NSString",)"
        R"("$value":"FFEEDDCC-BBAA-4988-B766-554433221100"},"userId":{"$class":"NSString","$value":"caf)"
        "\xc3\xa9"
        R"("},"device":{"$class":"ZEDevice","$fields":{"sdkName":{"$class":"NSString","$value":"zavedurov.macos"},)"
        R"("sdkVersion":{"$class":"NSString","$value":"5.0.2"},"osName":{"$class":"NSString","$value":"Debian GNU/Linux"},)"
        R"("osVersion":{"$class":"NSString","$value":"12.4.0"},"locale":{"$class":"NSString","$value":"en_US"},)"
        R"("timeZoneOffset":{"$class":"NSNumber","$value":120},"appVersion":{"$class":"NSString","$value":"1.0"},)"
        R"("appBuild":{"$class":"NSString","$value":"7"}}},"properties":{"$class":"NSDictionary","$entries":{"a":{"$class":"NSString",)"
        R"("$value":"\u0001\\"},"b":{"$class":"NSString","$value":"2"}}},"name":{"$class":"NSString","$value":"Transcribe \"file\"\n"},)"
        R"("id":{"$class":"NSString","$value":"00112233-4455-6677-8899-AABBCCDDEEFF"},"typedProperties":{"$class":"ZEEventProperties",)"
        R"("$fields":{"properties":{"$class":"NSArray","$items":[{"$class":"ZELongTypedProperty","$fields":{"type":{"$class":"NSString",)"
        R"("$value":"long"},"name":{"$class":"NSString","$value":"count"},"value":{"$int64":-42}}},{"$class":"ZEBooleanTypedProperty",)"
        R"("$fields":{"type":{"$class":"NSString","$value":"boolean"},"name":{"$class":"NSString","$value":"labels"},)"
        R"("value":{"$bool":true}}},{"$class":"ZEStringTypedProperty","$fields":{"type":{"$class":"NSString",)"
        R"("$value":"string"},"name":{"$class":"NSString","$value":"language"},"value":{"$class":"NSString",)"
        R"("$value":")"
        "\xe6\x97\xa5"
        R"("}}},{"$class":"ZEDoubleTypedProperty","$fields":{"type":{"$class":"NSString","$value":"double"},)"
        R"("name":{"$class":"NSString","$value":"ratio"},"value":{"$double":"3fb999999999999a"}}},{"$class":"ZEDateTimeTypedProperty",)"
        R"("$fields":{"type":{"$class":"NSString","$value":"dateTime"},"name":{"$class":"NSString","$value":"when"},)"
        R"("value":{"$class":"NSDate","$value":86400000000000}}}]}}}}}}})");
}

TEST_F(ZEAnalyticsTest, ASessionRenewsOnlyAfterTwentyQuietSecondsAway)
{
    struct Case {
        std::chrono::seconds away;
        std::optional<std::chrono::seconds> logBeforeReturn;
        bool renewed;
    };
    for (const auto& c : {Case{25s, std::nullopt, true}, Case{15s, std::nullopt, false}, Case{25s, 10s, false}}) {
        auto tracker = std::make_shared<ZESessionTracker>();
        tracker->start();
        ZESessionContext::sharedInstance()->setSessionId(std::string("FIRST"));
        tracker->applicationDidEnterBackground();
        if (c.logBeforeReturn) {
            clock->advance(c.away - *c.logBeforeReturn);
            auto log = std::make_shared<ZEEventLog>();
            ZEChannelGroupDefault group(nullptr, nullptr);
            tracker->channelPrepareLog(group, log);
            clock->advance(*c.logBeforeReturn);
        } else {
            clock->advance(c.away);
        }
        tracker->applicationWillEnterForeground();
        EXPECT_EQ(ZESessionContext::sharedInstance()->sessionId() != "FIRST", c.renewed) << c.away.count();
        tracker->stop();
    }
}

TEST_F(ZEAnalyticsTest, TargetsInheritTheirParentsSwitchAndDefaultProperties)
{
    start();
    auto parent = ZEAnalytics::transmissionTargetForToken("parent-token");
    EXPECT_EQ(ZEAnalytics::transmissionTargetForToken("parent-token"), parent);
    parent->setEnabled(false);
    auto child = parent->transmissionTargetForToken("child-token");
    EXPECT_FALSE(child->isEnabled());
    child->setEnabled(true);
    EXPECT_FALSE(child->isEnabled());
    EXPECT_EQ(countLogs(ZELogLevelWarning, "Can't enable; parent transmission target and/or Analytics service is disabled."), 1);
    parent->setEnabled(true);
    EXPECT_TRUE(child->isEnabled());

    parent->propertyConfigurator()->setEventPropertyString(std::string("parent"), "a");
    child->propertyConfigurator()->setEventPropertyString(std::string("child"), "a");
    child->propertyConfigurator()->setEventPropertyString(std::string("child"), "b");
    ZEEventProperties merged;
    merged.setString(std::string("event"), "b");
    for (auto target = child; target; target = target->parentTarget()) {
        target->propertyConfigurator()->mergeTypedPropertiesWith(merged);
    }
    const auto all = merged.properties();
    EXPECT_EQ(dynamic_cast<const ZEStringTypedProperty&>(*all.at("a")).value, "child");
    EXPECT_EQ(dynamic_cast<const ZEStringTypedProperty&>(*all.at("b")).value, "event");

    child->propertyConfigurator()->setUserId("alice");
    EXPECT_EQ(child->propertyConfigurator()->userId, "c:alice");
    child->propertyConfigurator()->setUserId("x:bob");
    EXPECT_EQ(child->propertyConfigurator()->userId, "c:alice");
}

TEST_F(ZEAnalyticsTest, TheProviderAsksOnceNearExpiryAndStoresOnlyCompleteAnswers)
{
    class Host final : public ZEAnalyticsAuthenticationProviderDelegate {
    public:
        void acquireToken(ZEAnalyticsAuthenticationProvider&, ZEAcquireTokenCompletion completion) override
        {
            completions.push_back(std::move(completion));
        }
        std::vector<ZEAcquireTokenCompletion> completions;
    };
    auto host = std::make_shared<Host>();
    auto provider = std::make_shared<ZEAnalyticsAuthenticationProvider>(ZEAnalyticsAuthenticationProvider::Msa, "ticket-key", host);
    provider->acquireTokenAsync();
    ASSERT_EQ(host->completions.size(), 1u);
    host->completions[0](std::string("token"), ZEUtility::now() + 300s);
    EXPECT_EQ(ZETicketCache::sharedInstance().ticketFor(ZEUtility::sha256("ticket-key")), "p:token");

    provider->checkTokenExpiry();
    provider->checkTokenExpiry();
    ASSERT_EQ(host->completions.size(), 2u);
    host->completions[1](std::string("newer"), std::nullopt);
    EXPECT_EQ(countLogs(ZELogLevelError, "Date must not be null"), 1);
    EXPECT_EQ(ZETicketCache::sharedInstance().ticketFor(ZEUtility::sha256("ticket-key")), "p:token");
    ZETicketCache::sharedInstance().clearCache();
}

TEST_F(ZEAnalyticsTest, PagesAreNamedAfterTheirControllerAndRememberedUntilTheServiceRuns)
{
    struct Case {
        const char* className;
        std::optional<std::string> page;
    };
    for (const auto& c : {Case{"HomeViewController", "Home"}, Case{"ViewController", "ViewController"},
             Case{"Module.SettingsViewController", "Settings"}, Case{"NSTabViewController", std::nullopt}}) {
        EXPECT_EQ(ZEAnalyticsCategory::pageNameForClassName(c.className), c.page) << c.className;
    }
    ZEAnalyticsCategory::reset();
    ZEAnalyticsCategory::activateCategory();
    ZEAnalytics::setAutoPageTrackingEnabled(true);
    ZEAnalyticsCategory::viewWillAppear("FirstViewController");
    ZEAnalyticsCategory::viewWillAppear("FilesViewController");
    EXPECT_EQ(ZEAnalyticsCategory::missedPageViewName(), "Files");
    start();
    main->queue.drain();
    std::vector<std::string> pages;
    for (const auto& log : sentLogs()) {
        if (log["type"] == "page") {
            pages.push_back(log["name"]);
        }
    }
    EXPECT_EQ(pages, std::vector<std::string>{"Files"});
    ZEAnalyticsCategory::reset();
}

} // namespace
} // namespace ze
