#include "ZETestSupport.h"
#include "ZEFakeTransport.h"

#include "sdk/telemetry/Internals/Channel/ZECollectorChannelDelegate.h"
#include "sdk/telemetry/Internals/Http/ZEHttpClient.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

namespace ze {
namespace {

using test::SdkTest;

class ZECollectorChannelDelegateTest : public SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        auto client = ZEHttpClient::make(std::nullopt, nullptr, std::make_shared<test::FakeTransport>());
        delegate = std::make_shared<ZECollectorChannelDelegate>(client, ZEUuid::create(), "http://127.0.0.1:9");
        group = ZEChannelGroupDefault::make(nullptr);
        group->addDelegate(delegate);
    }
    void TearDown() override
    {
        group->logsDispatchQueue()->drain();
        group.reset();
        SdkTest::TearDown();
    }

    static std::shared_ptr<ZECommonSchemaLog> csLog(const std::string& iKey)
    {
        auto log = std::make_shared<ZECommonSchemaLog>();
        log->name = "event.name";
        log->ver = "3.0";
        log->iKey = iKey;
        return log;
    }

    std::shared_ptr<ZECollectorChannelDelegate> delegate;
    std::shared_ptr<ZEChannelGroupDefault> group;
};

TEST_F(ZECollectorChannelDelegateTest, MirrorsEveryRegularUnitOnce)
{
    group->addChannelUnitWithConfiguration(ZEChannelUnitConfiguration::defaultConfiguration("Analytics", 3));
    group->addChannelUnitWithConfiguration(ZEChannelUnitConfiguration::defaultConfiguration("Crashes", 1));
    std::vector<std::string> groups;
    for (const auto& unit : group->channels()) {
        groups.push_back(unit->configuration().groupId);
    }
    EXPECT_EQ(groups, (std::vector<std::string>{"Analytics", "Analytics/one", "Crashes", "Crashes/one"}));
    EXPECT_EQ(group->channelUnitForGroupId("Analytics/one")->configuration().flushInterval, 3u);
    EXPECT_EQ(group->channelUnitForGroupId("Crashes/one")->configuration().flushInterval, 1u);
}

TEST_F(ZECollectorChannelDelegateTest, StampsEachKeyWithItsEpochAndSequence)
{
    auto unit = group->addChannelUnitWithConfiguration(ZEChannelUnitConfiguration::defaultConfiguration("Analytics"));
    std::vector<std::shared_ptr<ZECommonSchemaLog>> logs{csLog("o:a"), csLog("o:a"), csLog("o:b")};
    for (const auto& log : logs) {
        delegate->channelPrepareLog(*unit, log);
    }
    EXPECT_EQ(logs[0]->ext->sdkExt->seq, 1);
    EXPECT_EQ(logs[1]->ext->sdkExt->seq, 2);
    EXPECT_EQ(logs[0]->ext->sdkExt->epoch, logs[1]->ext->sdkExt->epoch);
    EXPECT_EQ(logs[2]->ext->sdkExt->seq, 1);
    EXPECT_NE(logs[2]->ext->sdkExt->epoch, logs[0]->ext->sdkExt->epoch);

    // A common-schema log is left to the mirror by the regular unit; the mirror keeps valid ones.
    auto* regular = dynamic_cast<ZEChannelUnitProtocol*>(unit.get());
    auto* mirror = group->channelUnitForGroupId("Analytics/one").get();
    EXPECT_EQ(delegate->channelUnitShouldFilterLog(*regular, logs[0]), true);
    EXPECT_EQ(delegate->channelUnitShouldFilterLog(*mirror, logs[0]), false);
    logs[0]->name = "no";
    EXPECT_EQ(delegate->channelUnitShouldFilterLog(*mirror, logs[0]), true);
}

TEST_F(ZECollectorChannelDelegateTest, ValidatesLogNames)
{
    struct Case {
        std::optional<std::string> name;
        bool valid;
    };
    for (const auto& c : {Case{"abc", false}, Case{"abcd", true}, Case{"a.b_c", true}, Case{"ab..cd", false},
             Case{"abcd.", false}, Case{std::string(101, 'a'), false}, Case{std::string(100, 'a'), true},
             Case{"", false}, Case{std::nullopt, false}}) {
        EXPECT_EQ(ZECollectorChannelDelegate::validateLogName(c.name), c.valid) << c.name.value_or("(none)");
    }
}

} // namespace
} // namespace ze
