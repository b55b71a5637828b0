#include "ZETestSupport.h"

#include "sdk/telemetry/Internals/Util/ZEDispatcherUtil.h"
#include "sdk/telemetry/Internals/Util/ZEOrderedDictionary.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/Internals/Util/ZE_Reachability.h"

#include <fstream>
#include <latch>
#include <limits>
#include <thread>

namespace ze {
namespace {

using namespace std::chrono_literals;
using test::SdkTest;

class ZEUtilityTest : public SdkTest {
};

TEST_F(ZEUtilityTest, DatesAreUtcWithMillisecondsAndReadBackExactly)
{
    EXPECT_EQ(ZEUtility::dateToISO8601(ZEDateFromSeconds(1.5)), "1970-01-01T00:00:01.500Z");
    EXPECT_EQ(ZEUtility::dateToISO8601(ZEDateFromSeconds(-0.001)), "1969-12-31T23:59:59.999Z");
    const ZEDate date = ZEDate(std::chrono::milliseconds(1'488'697'689'012));
    EXPECT_EQ(ZEUtility::dateToISO8601(date), "2017-03-05T07:08:09.012Z");
    EXPECT_EQ(ZEUtility::dateFromISO8601("2017-03-05T07:08:09.012Z"), date);
    for (const char* bad : {"2017-03-05T07:08:09Z", "2017-03-05 07:08:09.012Z", "2017-02-30T07:08:09.012Z",
             "2017-03-05T07:08:09.012+01:00", "2017-13-05T07:08:09.012Z", ""}) {
        EXPECT_FALSE(ZEUtility::dateFromISO8601(bad)) << bad;
    }
    EXPECT_DOUBLE_EQ(ZEUtility::nowInMilliseconds(), 1'600'000'000'000.0);
}

TEST_F(ZEUtilityTest, StartStringGivesSecretAndToken)
{
    const struct {
        std::optional<std::string> start;
        std::optional<std::string> secret;
        std::optional<std::string> token;
    } cases[] = {
        {"bare-secret", "bare-secret", std::nullopt},
        {"appsecret=s1;target=t1", "s1", "t1"},
        {"target=t1", std::nullopt, "t1"},
        {"ios=other;macos=mine", "mine", std::nullopt},
        {"macos=", std::nullopt, std::nullopt},
        {"ios=other", "ios=other", std::nullopt},
        {"s1;;", "s1", std::nullopt},
        {";target=;target=t2", std::nullopt, "t2"},
        {std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ZEUtility::appSecretFrom(c.start), c.secret) << c.start.value_or("(none)");
        EXPECT_EQ(ZEUtility::transmissionTargetTokenFrom(c.start), c.token) << c.start.value_or("(none)");
    }
}

TEST_F(ZEUtilityTest, TokenKeysHashesAndJsonForLogs)
{
    EXPECT_EQ(ZEUtility::targetKeyFromTargetToken("abc-def-1"), "abc");
    EXPECT_EQ(ZEUtility::iKeyFromTargetToken("abc-def-1"), "o:abc");
    EXPECT_EQ(ZEUtility::iKeyFromTargetToken("whole"), "o:whole");
    EXPECT_FALSE(ZEUtility::targetKeyFromTargetToken("-def"));
    EXPECT_FALSE(ZEUtility::iKeyFromTargetToken("-def"));
    EXPECT_EQ(ZEUtility::sha256("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(ZEUtility::prettyPrintJson(std::string(R"({"u":"a\/b"})")), "{\n  \"u\": \"a/b\"\n}");
    EXPECT_EQ(ZEUtility::prettyPrintJson(std::string("not json")), "not json");
    EXPECT_FALSE(ZEUtility::prettyPrintJson(std::nullopt));
}

TEST_F(ZEUtilityTest, ObfuscationMasksTokensAndReportsABadPattern)
{
    const std::string pattern = R"("token"\s*:\s*"[^"]+")";
    EXPECT_EQ(ZEUtility::obfuscateString(std::string(R"({"TOKEN" : "abc", "x":"y"})"), pattern, R"("token" : "***")"),
        R"({"token" : "***", "x":"y"})");
    EXPECT_FALSE(ZEUtility::obfuscateString(std::string("x"), "(", "y"));
    EXPECT_EQ(logs().back().level, ZELogLevelError);
    EXPECT_EQ(logs().back().message.rfind("Couldn't create regular expression with pattern\"(\": ", 0), 0u);
    // A token far longer than any stack allows to match recursively.
    EXPECT_EQ(ZEUtility::obfuscateString(R"({"token" : ")" + std::string(1'000'000, 'a') + R"("})", pattern,
                  R"("token" : "***")"),
        R"({"token" : "***"})");
    EXPECT_EQ(ZEUtility::obfuscateString(std::string("key=abc"), "key=(\\w+)", "$1 hidden"), "abc hidden");
}

TEST_F(ZEUtilityTest, PropertyValidationKeepsTwentyAndWarnsOnceAboutTheRest)
{
    ZEJson twentyFive = ZEJson::object();
    for (int i = 0; i < 25; ++i) {
        twentyFive[ZEFormat("k%d", 10 + i)] = "v";
    }
    EXPECT_EQ(ZEUtility::validateProperties(twentyFive, "name", "event").size(), 20u);
    EXPECT_EQ(countLogs(ZELogLevelWarning, "event 'name' : properties cannot contain more than 20 items. Skipping other properties."), 1);

    ZEJson twenty = ZEJson::object();
    for (int i = 0; i < 20; ++i) {
        twenty[ZEFormat("k%d", 10 + i)] = "v";
    }
    // An empty key examined first is skipped with its own warning, leaving room for the 21st.
    ZEJson withEmpty = ZEJson::object();
    withEmpty[""] = "v";
    withEmpty.update(twenty);
    EXPECT_EQ(ZEUtility::validateProperties(withEmpty, "n", "t").size(), 20u);
    EXPECT_EQ(ZEUtility::validateProperties(twenty, "n", "t").size(), 20u);
    EXPECT_EQ(countLogs(ZELogLevelWarning, "t 'n' : properties cannot contain more than 20 items. Skipping other properties."), 0);
    EXPECT_EQ(countLogs(ZELogLevelWarning, "t 'n' : a property key cannot be null or empty. Property will be skipped."), 1);
}

TEST_F(ZEUtilityTest, PropertyValidationCutsKeysAndValuesAt125Units)
{
    const std::string key130(130, 'k');
    const std::string key125(125, 'q');
    const ZEJson properties = {{key130, "v"}, {key125, std::string(126, 'v')}, {"number", 5}, {"ok", "fine"}};
    const ZEStringMap result = ZEUtility::validateProperties(properties, "n", "t");
    EXPECT_EQ(result, (ZEStringMap{{std::string(125, 'k'), "v"}, {key125, std::string(125, 'v')}, {"ok", "fine"}}));
    EXPECT_EQ(countLogs(ZELogLevelWarning, "t 'n' : property " + key130
                  + " : property key length cannot be longer than 125 characters. Property key will be truncated."),
        1);
    EXPECT_EQ(countLogs(ZELogLevelWarning, "t 'n' : property '" + key125
                  + "' : property value cannot be longer than 125 characters. Property value will be truncated."),
        1);
    EXPECT_TRUE(ZEUtility::validateProperties(ZEJson(), "n", "t").empty());
}

TEST_F(ZEUtilityTest, CuttingNeverSplitsASurrogatePair)
{
    // 124 ASCII units, then U+1F600 (two UTF-16 units): the cut at 125 drops the whole character.
    const std::string emoji = "\xF0\x9F\x98\x80";
    const std::string value = std::string(124, 'a') + emoji + "b";
    EXPECT_EQ(ZEUtility::utf16Length(value), 127u);
    const ZEStringMap result = ZEUtility::validateProperties(ZEJson{{"k", value}}, "n", "t");
    EXPECT_EQ(result.at("k"), std::string(124, 'a'));
    EXPECT_TRUE(ZEUtility::isValidUTF8(result.at("k")));
    // With room for both units the character stays whole; "é" is one unit of two bytes.
    EXPECT_EQ(ZEUtility::utf16Prefix("a" + emoji + "\xC3\xA9", 3), "a" + emoji);
    EXPECT_EQ(ZEUtility::utf16Prefix("\xC3\xA9\xC3\xA9", 1), "\xC3\xA9");
}

TEST(ZEUtf8Test, OnlyWellFormedTextCountsAsUtf8)
{
    // Everything refused here makes the JSON writer fail, and with it a whole batch of logs.
    const struct {
        std::string text;
        bool valid;
    } cases[] = {
        {"", true},
        {"plain", true},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", true},
        {"\xED\x9F\xBF", true},             // U+D7FF, just below the surrogates
        {"\xEE\x80\x80", true},             // U+E000, just above them
        {"\xF4\x8F\xBF\xBF", true},         // U+10FFFF
        {"\xED\xA0\x80", false},            // an encoded high surrogate
        {"\xED\xB0\x80", false},            // an encoded low surrogate
        {"\xC0\xAF", false},                 // overlong "/"
        {"\xE0\x80\xAF", false},            // overlong "/" in three bytes
        {"\xF0\x80\x80\xAF", false},        // overlong "/" in four bytes
        {"\xF4\x90\x80\x80", false},        // above U+10FFFF
        {"\xF5\x80\x80\x80", false},
        {"\x80", false},
        {"\xC3", false},                      // cut short
        {"a\xE2\x82", false},
    };
    for (const auto& [text, valid] : cases) {
        EXPECT_EQ(ZEUtility::isValidUTF8(text), valid) << ::testing::PrintToString(text);
        EXPECT_EQ(ZEJson(text).dump(-1, ' ', false, ZEJson::error_handler_t::ignore) == ZEJson(text).dump(-1, ' ', false,
                      ZEJson::error_handler_t::replace),
            valid)
            << ::testing::PrintToString(text);
    }
    // A malformed byte counts as one unit and is never merged with its neighbours.
    EXPECT_EQ(ZEUtility::utf16Length("a\xED\xA0\x80" "b"), 5u);
    EXPECT_EQ(ZEUtility::utf16Prefix("\xF4\x90\x80\x80", 2), "\xF4\x90");
}

TEST_F(ZEUtilityTest, FilesUnderTheSdkFolder)
{
    const auto folder = ZEUtility::zavEdurovDirectoryURL();
    EXPECT_EQ(folder, home / "data" / "com.harrowfenlake.quorvantelle" / "com.doridorir.zavedurov");
    EXPECT_TRUE(std::filesystem::is_directory(folder));

    EXPECT_FALSE(ZEUtility::createFileAtPathComponent(std::nullopt, ZEData{1}, false, true));
    EXPECT_FALSE(ZEUtility::loadDataForPathComponent(std::nullopt));
    EXPECT_FALSE(ZEUtility::deleteItemForPathComponent(std::nullopt));
    EXPECT_FALSE(ZEUtility::createDirectoryForPathComponent(std::nullopt));
    EXPECT_FALSE(ZEUtility::fileExistsForPathComponent(std::nullopt));

    const auto url = ZEUtility::createFileAtPathComponent("sub/file", ZEData{1, 2}, true, false);
    ASSERT_TRUE(url);
    EXPECT_EQ(*url, folder / "sub" / "file");
    EXPECT_TRUE(ZEUtility::createFileAtPathComponent("sub/file", ZEData{9}, false, false));
    EXPECT_EQ(ZEUtility::loadDataForPathComponent("sub/file"), (ZEData{1, 2}));
    ZEUtility::createFileAtPathComponent("sub/file", ZEData{9}, false, true);
    EXPECT_EQ(ZEUtility::loadDataForPathComponent("sub/file"), (ZEData{9}));
    ZEUtility::createFileAtPathComponent("sub/file", std::nullopt, true, true);
    EXPECT_EQ(ZEUtility::loadDataForPathComponent("sub/file"), ZEData());

    EXPECT_EQ(ZEUtility::contentsOfDirectory("sub"), (std::vector<std::filesystem::path>{folder / "sub" / "file"}));
    // A component with a leading "/" still names a path inside the folder.
    EXPECT_EQ(ZEUtility::fullURLForPathComponent("/sub/file"), folder / "sub" / "file");
    EXPECT_EQ(ZEUtility::createFileAtPathComponent("/sub/other", ZEData{7}, false, false), folder / "sub" / "other");
    EXPECT_EQ(ZEUtility::loadDataForPathComponent("sub/other"), (ZEData{7}));
    EXPECT_TRUE(ZEUtility::deleteItemForPathComponent("/sub/other"));
    EXPECT_FALSE(ZEUtility::contentsOfDirectory(""));
    EXPECT_FALSE(ZEUtility::contentsOfDirectory("missing"));

    EXPECT_TRUE(ZEUtility::deleteItemForPathComponent("sub"));
    EXPECT_FALSE(ZEUtility::fileExistsForPathComponent("sub/file"));
    EXPECT_FALSE(ZEUtility::deleteItemForPathComponent("sub"));
    EXPECT_EQ(logs().back().level, ZELogLevelDebug);
}

TEST_F(ZEUtilityTest, ApplicationStateDependsOnTheThreadAndTheWindows)
{
    EXPECT_EQ(ZEUtility::applicationState(), ZEApplicationStateUnknown);
    int onMain = -1;
    main->queue.sync([&] { onMain = ZEUtility::applicationState(); });
    EXPECT_EQ(onMain, ZEApplicationStateActive);
    main->hidden = true;
    main->queue.sync([&] { onMain = ZEUtility::applicationState(); });
    EXPECT_EQ(onMain, ZEApplicationStateBackground);
    ZEApplicationInfo extension;
    extension.executablePath = "/opt/App.appex/Contents/app";
    ZEPlatform::setApplicationInfo(extension);
    main->queue.sync([&] { onMain = ZEUtility::applicationState(); });
    EXPECT_EQ(onMain, ZEApplicationStateUnknown);
    EXPECT_EQ(ZEUtility::currentAppEnvironment(), ZEEnvironmentOther);
}

TEST(ZEOrderedDictionaryTest, KeepsFirstInsertionOrder)
{
    ZEOrderedDictionary dictionary;
    dictionary.setObject(1, "b");
    dictionary.setObject(2, "a");
    dictionary.setObject(3, "b");
    EXPECT_EQ(dictionary.keys(), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(dictionary.objectForKey("b"), ZEJson(3));
    EXPECT_EQ(dictionary.json().dump(), R"({"b":3,"a":2})");

    ZEOrderedDictionary reversed;
    reversed.setObject(2, "a");
    reversed.setObject(3, "b");
    EXPECT_FALSE(dictionary.isEqualToDictionary(reversed));
    dictionary.removeAllObjects();
    dictionary.setObject(0, "x");
    EXPECT_EQ(dictionary.keys(), (std::vector<std::string>{"x"}));
}

class FakeNetworkMonitor final : public ZENetworkMonitor {
public:
    bool flags(std::uint32_t& out) const override
    {
        out = current;
        return true;
    }
    bool start(ChangeHandler handler) override
    {
        onChange = std::move(handler);
        return true;
    }
    void stop() override
    {
        onChange = nullptr;
        stoppedOn = std::this_thread::get_id();
    }

    std::uint32_t current = kZEReachabilityReachable;
    ChangeHandler onChange;
    std::thread::id stoppedOn;
};

// A main thread that never runs anything: it only lets the test act while a task is handed over.
class HandOverExecutor final : public ZEMainThreadExecutor {
public:
    void post(std::function<void()>) override { onPost(); }
    bool isMainThread() const override { return false; }

    std::function<void()> onPost;
};

TEST_F(ZEUtilityTest, ReachabilityFlagsAndNotificationsOnTheMainThread)
{
    const struct {
        std::uint32_t flags;
        ZENetworkStatus status;
    } cases[] = {
        {kZEReachabilityReachable, ZEReachableViaWiFi},
        {kZEReachabilityReachable | kZEReachabilityConnectionRequired, ZENotReachable},
        {kZEReachabilityReachable | kZEReachabilityConnectionRequired | kZEReachabilityConnectionOnDemand, ZEReachableViaWiFi},
        {kZEReachabilityReachable | kZEReachabilityConnectionRequired | kZEReachabilityConnectionOnTraffic, ZEReachableViaWiFi},
        {kZEReachabilityReachable | kZEReachabilityConnectionRequired | kZEReachabilityConnectionOnDemand
                | kZEReachabilityInterventionRequired,
            ZENotReachable},
        {kZEReachabilityConnectionOnDemand, ZENotReachable},
        {0, ZENotReachable},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ZE_Reachability::networkStatusForFlags(c.flags), c.status) << c.flags;
    }

    auto monitor = std::make_shared<FakeNetworkMonitor>();
    ZEPlatform::setNetworkMonitorFactory([monitor] { return monitor; });
    auto reachability = ZE_Reachability::reachabilityForInternetConnection();
    ZEPlatform::setNetworkMonitorFactory(nullptr);
    std::vector<ZENetworkStatus> seen;
    reachability->addObserver([&](ZE_Reachability& sender) {
        EXPECT_TRUE(main->isMainThread());
        seen.push_back(sender.currentReachabilityStatus());
    });
    reachability->startNotifier();
    main->queue.drain();
    EXPECT_EQ(seen, (std::vector<ZENetworkStatus>{ZEReachableViaWiFi}));
    monitor->current = 0;
    monitor->onChange();
    main->queue.drain();
    EXPECT_EQ(seen, (std::vector<ZENetworkStatus>{ZEReachableViaWiFi, ZENotReachable}));
    EXPECT_FALSE(reachability->connectionRequired());
    reachability->stopNotifier();
    main->queue.drain();
    EXPECT_FALSE(monitor->onChange);
}

TEST(ZEDispatcherUtilTest, TimeOutsThatAreNoPositiveNumberDoNotWaitAndHugeOnesWaitForTheBlock)
{
    ZESerialQueue queue("test");
    for (const double timeout : {-1.0, 0.0, std::numeric_limits<double>::quiet_NaN()}) {
        std::latch release(1);
        std::atomic<bool> finished = false;
        ZEDispatcherUtil::dispatchSyncWithTimeout(timeout, queue, [&] {
            release.wait();
            finished = true;
        });
        EXPECT_FALSE(finished) << timeout;
        release.count_down();
        queue.drain();
        EXPECT_TRUE(finished);
    }
    for (const double timeout : {1e300, std::numeric_limits<double>::infinity()}) {
        std::atomic<bool> finished = false;
        ZEDispatcherUtil::dispatchSyncWithTimeout(timeout, queue, [&] { finished = true; });
        EXPECT_TRUE(finished) << timeout;
    }
}

TEST_F(ZEUtilityTest, ReachabilityIsNeverDestroyedOnTheThreadThatReportsChanges)
{
    // That thread is the network watcher's own: stopping the watcher there would join itself.
    auto monitor = std::make_shared<FakeNetworkMonitor>();
    ZEPlatform::setNetworkMonitorFactory([monitor] { return monitor; });
    auto reachability = ZE_Reachability::reachabilityForInternetConnection();
    ZEPlatform::setNetworkMonitorFactory(nullptr);
    reachability->startNotifier();
    main->queue.drain();
    ASSERT_TRUE(monitor->onChange);

    // The owner lets go on another thread while a change is on its way to the main thread.
    auto handOver = std::make_shared<HandOverExecutor>();
    handOver->onPost = [&reachability] { std::thread([&reachability] { reachability.reset(); }).join(); };
    ZEPlatform::setMainThreadExecutor(handOver);
    const auto report = monitor->onChange;
    std::thread::id watcher;
    std::thread([&] {
        watcher = std::this_thread::get_id();
        report();
    }).join();
    EXPECT_FALSE(reachability);
    EXPECT_NE(monitor->stoppedOn, std::thread::id());
    EXPECT_NE(monitor->stoppedOn, watcher);
}

TEST_F(ZEUtilityTest, PerformOnMainThreadNeverRunsInline)
{
    bool ran = false;
    main->queue.sync([&] {
        ZEDispatcherUtil::performBlockOnMainThread([&] { ran = true; });
        EXPECT_FALSE(ran);
    });
    main->queue.drain();
    EXPECT_TRUE(ran);
}

} // namespace
} // namespace ze
