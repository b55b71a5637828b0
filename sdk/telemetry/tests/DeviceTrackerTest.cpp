#include "ZETestSupport.h"

#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Util/ZEDeviceTracker.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

namespace ze {
namespace {

using namespace std::chrono_literals;
using test::SdkTest;

class ScreenExecutor final : public ZEMainThreadExecutor {
public:
    void post(std::function<void()> task) override { task(); }
    bool isMainThread() const override { return true; }
    std::optional<std::pair<double, double>> mainScreenSize() const override { return std::pair{1440.7, 900.2}; }
};

class ZEDeviceTrackerTest : public SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        ZEDeviceTracker::resetSharedInstance();
    }
    void TearDown() override
    {
        ZEDeviceTracker::resetSharedInstance();
        SdkTest::TearDown();
    }
};

TEST_F(ZEDeviceTrackerTest, DescribesThisMachineAndKeepsOneEntryPerLaunch)
{
    ZEPlatform::setMainThreadExecutor(std::make_shared<ScreenExecutor>());
    auto tracker = std::make_shared<ZEDeviceTracker>();
    const auto device = tracker->device();
    EXPECT_EQ(device->sdkName, "zavedurov.macos");
    EXPECT_EQ(device->sdkVersion, "5.0.2");
    EXPECT_EQ(device->screenSize, "1440x900");
    EXPECT_EQ(device->appNamespace, "com.harrowfenlake.quorvantelle");
    EXPECT_TRUE(device->isValid());
    EXPECT_EQ(ZEDeviceTracker::timeZoneOffset(-34'200), -570);
    EXPECT_EQ(tracker->deviceHistory().size(), 1u);

    // Six more launches keep the newest five.
    for (int launch = 0; launch < 6; ++launch) {
        clock->advance(10s);
        ZEDeviceTracker::resetSharedInstance();
        tracker = std::make_shared<ZEDeviceTracker>();
    }
    const auto history = tracker->deviceHistory();
    ASSERT_EQ(history.size(), 5u);
    EXPECT_EQ(*history.back()->timestamp, ZEUtility::now());
    EXPECT_LT(*history.front()->timestamp, *history.back()->timestamp);

    tracker->clearDevices();
    ZEDeviceTracker::resetSharedInstance();
    EXPECT_EQ(std::make_shared<ZEDeviceTracker>()->deviceHistory().size(), 2u);
}

TEST_F(ZEDeviceTrackerTest, FindsTheRecordInForceAtATime)
{
    auto tracker = std::make_shared<ZEDeviceTracker>();
    const ZEDate start = ZEUtility::now();
    std::vector<std::optional<std::string>> countries{"AA", "BB"};
    for (const auto& country : countries) {
        clock->advance(10s);
        tracker->setCountryCode(country);
        tracker->device();
    }
    // Entries at start (no country), +10 s (AA), +20 s (BB).
    struct Case {
        std::chrono::seconds at;
        std::optional<std::string> country;
    };
    for (const auto& c : {Case{15s, "AA"}, Case{10s, std::nullopt}, Case{-5s, std::nullopt}, Case{25s, "BB"}}) {
        EXPECT_EQ(tracker->deviceForTimestamp(start + c.at)->carrierCountry, c.country) << c.at.count();
    }
    EXPECT_EQ(tracker->deviceForTimestamp(std::nullopt)->carrierCountry, "BB");
}

TEST_F(ZEDeviceTrackerTest, TheLocaleIsWellFormedUnderEveryKindOfSetting)
{
    const char* saved = std::getenv("LC_ALL");
    const std::optional<std::string> previous = saved ? std::optional<std::string>(saved) : std::nullopt;
    for (const auto& [setting, locale] : {std::pair{"de_AT.UTF-8", "de_AT"}, std::pair{"sr_RS@latin", "sr-Latn_RS"},
             std::pair{"C", "en"}, std::pair{"POSIX", "en"}, std::pair{"C.UTF-8", "en"}, std::pair{"fr", "fr"}}) {
        ::setenv("LC_ALL", setting, 1);
        EXPECT_EQ(ZEDeviceTracker::locale(), locale) << setting;
    }
    if (previous) {
        ::setenv("LC_ALL", previous->c_str(), 1);
    } else {
        ::unsetenv("LC_ALL");
    }
}

TEST_F(ZEDeviceTrackerTest, AWrapperSdkReplacesTheNewestEntry)
{
    auto tracker = std::make_shared<ZEDeviceTracker>();
    tracker->setWrapperSdk(std::make_shared<ZEWrapperSdk>("1.2", "wrapper", std::nullopt, std::nullopt, std::nullopt, std::nullopt));
    const auto history = tracker->deviceHistory();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0]->device->wrapperSdkName, "wrapper");
}

} // namespace
} // namespace ze
