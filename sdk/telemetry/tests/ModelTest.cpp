#include "ZETestSupport.h"

#include "sdk/telemetry/Internals/Model/CommonSchema/ZECommonSchemaLog.h"
#include "sdk/telemetry/Internals/Model/ZELogContainer.h"
#include "sdk/telemetry/Internals/Model/ZELogWithProperties.h"
#include "sdk/telemetry/Internals/Model/ZEStartServiceLog.h"
#include "sdk/telemetry/Internals/Model/ZETypedProperty.h"

#include <cmath>
#include <limits>

namespace ze {
namespace {

using test::SdkTest;
using test::validDevice;

class ZEModelTest : public SdkTest {
};

std::string compact(const ZESerializableObject& object)
{
    return object.serializeToDictionary().dump();
}

TEST_F(ZEModelTest, DeviceWritesItsMembersInOrderAndChecksRequiredFields)
{
    auto device = validDevice();
    device->wrapperSdkName = "wrap";
    device->model = "Box/2";
    device->oemName = "Maker";
    device->osBuild = "6.1.0-18-amd64";
    device->screenSize = "1920x1080";
    device->appNamespace = "com.harrowfenlake.quorvantelle";
    EXPECT_EQ(compact(*device),
        R"({"wrapperSdkName":"wrap","sdkName":"zavedurov.macos","sdkVersion":"5.0.2","model":"Box/2","oemName":"Maker",)"
        R"("osName":"Debian GNU/Linux","osVersion":"12.4.0","osBuild":"6.1.0-18-amd64","locale":"en_US",)"
        R"("timeZoneOffset":120,"screenSize":"1920x1080","appVersion":"1.0","appBuild":"7",)"
        R"("appNamespace":"com.harrowfenlake.quorvantelle"})");
    EXPECT_TRUE(device->isValid());

    auto noModel = validDevice();
    EXPECT_TRUE(noModel->isValid());
    EXPECT_FALSE(noModel->serializeToDictionary().contains("model"));

    auto noBuild = validDevice();
    noBuild->appBuild.reset();
    EXPECT_FALSE(noBuild->isValid());
    EXPECT_EQ(countLogs(ZELogLevelVerbose, "ZEDevice: \"appBuild\" is not valid."), 1);

    auto other = validDevice();
    EXPECT_TRUE(other->isEqual(*noModel));
    other->liveUpdatePackageHash = "h";
    EXPECT_FALSE(other->isEqual(*noModel));
    EXPECT_FALSE(noModel->isEqual(ZEWrapperSdk()));
}

TEST_F(ZEModelTest, AbstractLogJsonValidityAndEquality)
{
    ZEAbstractLog empty;
    EXPECT_EQ(*empty.serializeLogWithPrettyPrinting(false), "{}");
    EXPECT_FALSE(empty.isValid());

    ZEAbstractLog log;
    log.type = "event";
    log.device = validDevice();
    EXPECT_FALSE(log.isValid());
    log.timestamp = ZEDateFromSeconds(1.5);
    log.device->osName.reset();
    EXPECT_FALSE(log.isValid());
    log.device->osName = "Debian GNU/Linux";
    EXPECT_TRUE(log.isValid());
    const auto messages = logs();
    EXPECT_EQ(countLogs(ZELogLevelVerbose, "ZEAbstractLog: \"type\" is not valid."), 1);
    EXPECT_EQ(countLogs(ZELogLevelVerbose, "ZEAbstractLog: \"timestamp\" is not valid."), 1);
    EXPECT_EQ(countLogs(ZELogLevelVerbose, "ZEAbstractLog: \"device\" is not valid."), 1);

    log.userId = "a/b";
    log.sid = "s";
    log.device = nullptr;
    EXPECT_EQ(*log.serializeLogWithPrettyPrinting(false),
        R"({"type":"event","timestamp":"1970-01-01T00:00:01.500Z","sid":"s","userId":"a/b"})");
    EXPECT_EQ(*log.serializeLogWithPrettyPrinting(true),
        "{\n  \"type\": \"event\",\n  \"timestamp\": \"1970-01-01T00:00:01.500Z\",\n  \"sid\": \"s\",\n  \"userId\": \"a/b\"\n}");

    ZEAbstractLog same;
    same.type = "event";
    same.timestamp = ZEDateFromSeconds(1.5);
    same.userId = "a/b";
    same.sid = "s";
    same.addTransmissionTargetToken("t");
    EXPECT_TRUE(same.isEqual(log));
    same.sid.reset();
    EXPECT_FALSE(same.isEqual(log));

    same.addTransmissionTargetToken("a");
    same.addTransmissionTargetToken("b");
    same.addTransmissionTargetToken("a");
    EXPECT_EQ(same.transmissionTargetTokens(), (std::set<std::string>{"a", "b", "t"}));
    EXPECT_FALSE(empty.transmissionTargetTokens());

    log.userId = std::string("\xff");
    EXPECT_FALSE(log.serializeLogWithPrettyPrinting(false));
}

TEST_F(ZEModelTest, LogWithPropertiesWritesPropertiesOnlyWhenThereAreSome)
{
    ZELogWithProperties log;
    log.type = "event";
    log.properties = ZEStringMap{};
    EXPECT_EQ(compact(log), R"({"type":"event"})");
    log.properties = ZEStringMap{{"path", "/a/b"}};
    EXPECT_EQ(compact(log), R"({"type":"event","properties":{"path":"/a/b"}})");

    ZELogWithProperties other;
    other.type = "event";
    EXPECT_FALSE(other.isEqual(log));
    other.properties = ZEStringMap{{"path", "/a/b"}};
    EXPECT_TRUE(other.isEqual(log));
    ZEAbstractLog plain;
    plain.type = "event";
    EXPECT_FALSE(log.isEqual(plain));
}

TEST_F(ZEModelTest, StartServiceLog)
{
    ZEStartServiceLog log;
    EXPECT_EQ(compact(log), R"({"type":"startService"})");
    log.services = std::vector<std::string>{};
    EXPECT_EQ(compact(log), R"({"type":"startService","services":[],"isCollectorEnabled":false})");
    log.services = std::vector<std::string>{"Crashes", "Analytics"};
    log.isCollectorEnabled = true;
    EXPECT_EQ(compact(log), R"({"type":"startService","services":["Crashes","Analytics"],"isCollectorEnabled":true})");

    ZEStartServiceLog other;
    other.services = log.services;
    EXPECT_TRUE(other.isEqual(log));
    other.services->pop_back();
    EXPECT_FALSE(other.isEqual(log));
}

class CountingLog final : public ZEAbstractLog {
public:
    explicit CountingLog(bool valid)
        : valid_(valid)
    {
        type = "counting";
    }
    bool isValid() const override
    {
        ++calls;
        return valid_;
    }
    mutable int calls = 0;

private:
    bool valid_;
};

TEST_F(ZEModelTest, LogContainerSerialisesAndStopsAtTheFirstInvalidLog)
{
    ZELogContainer empty("batch", {});
    EXPECT_FALSE(empty.isValid());
    EXPECT_EQ(empty.serializeLog(), R"({"logs":[]})");
    EXPECT_EQ(countLogs(ZELogLevelVerbose, "ZELogContainer: there are no logs in container."), 1);

    auto first = std::make_shared<CountingLog>(true);
    auto second = std::make_shared<CountingLog>(false);
    auto third = std::make_shared<CountingLog>(true);
    ZELogContainer container("batch", {first, second, third});
    EXPECT_FALSE(container.isValid());
    EXPECT_EQ(third->calls, 0);

    first->userId = "x/y";
    EXPECT_EQ(container.serializeLog(), R"({"logs":[{"type":"counting","userId":"x/y"},{"type":"counting"},{"type":"counting"}]})");
    EXPECT_EQ(container.serializeLogWithPrettyPrinting(true)->find("\\/"), std::string::npos);

    first->userId = std::string("\xc3");
    EXPECT_FALSE(container.serializeLog());
    EXPECT_EQ(logs().back().level, ZELogLevelError);
}

TEST_F(ZEModelTest, TypedPropertiesWriteTheirValuesAndCompareByKindAndValue)
{
    ZEStringTypedProperty text;
    text.name = "n";
    EXPECT_EQ(compact(text), R"({"type":"string","name":"n"})");
    text.value = "v";
    EXPECT_EQ(compact(text), R"({"type":"string","name":"n","value":"v"})");
    ZEBooleanTypedProperty flag;
    flag.name = "b";
    EXPECT_EQ(compact(flag), R"({"type":"boolean","name":"b","value":false})");
    ZEDateTimeTypedProperty when;
    when.name = "d";
    when.value = ZEDateFromSeconds(1.5);
    EXPECT_EQ(compact(when), R"({"type":"dateTime","name":"d","value":"1970-01-01T00:00:01.500Z"})");
    ZEDoubleTypedProperty real;
    real.name = "x";
    real.value = 2.5;
    EXPECT_EQ(compact(real), R"({"type":"double","name":"x","value":2.5})");
    ZELongTypedProperty integer;
    integer.name = "l";
    integer.value = 9223372036854775807;
    EXPECT_EQ(compact(integer), R"({"type":"long","name":"l","value":9223372036854775807})");

    ZEStringTypedProperty otherName;
    otherName.name = "other";
    otherName.value = "v";
    EXPECT_TRUE(otherName.isEqual(text));
    EXPECT_FALSE(flag.isEqual(text));
    ZEDoubleTypedProperty sameValue;
    sameValue.value = 2.5;
    EXPECT_TRUE(sameValue.isEqual(real));
    ZELongTypedProperty two;
    two.value = 2;
    ZEDoubleTypedProperty twoPointZero;
    twoPointZero.value = 2.0;
    EXPECT_FALSE(two.isEqual(twoPointZero));
    EXPECT_FALSE(twoPointZero.isEqual(two));
    ZEDoubleTypedProperty nan;
    nan.value = std::nan("");
    EXPECT_FALSE(nan.isEqual(nan));
}

TEST_F(ZEModelTest, CommonSchemaExtensionsWriteNothingWhenEmpty)
{
    ZESDKExtension sdk;
    EXPECT_TRUE(sdk.serializeToDictionary().is_null());
    sdk.seq = 3;
    EXPECT_EQ(compact(sdk), R"({"seq":3})");
    sdk.libVer = "zavedurov.macos-5.0.2";
    sdk.epoch = "E";
    sdk.installId = ZEUuid::fromString("00112233-4455-6677-8899-aabbccddeeff");
    EXPECT_EQ(compact(sdk),
        R"({"libVer":"zavedurov.macos-5.0.2","epoch":"E","seq":3,"installId":"00112233-4455-6677-8899-AABBCCDDEEFF"})");

    EXPECT_TRUE(ZEOSExtension().serializeToDictionary().is_null());
    EXPECT_TRUE(ZELocExtension().serializeToDictionary().is_null());
    EXPECT_TRUE(ZEDeviceExtension().serializeToDictionary().is_null());
    EXPECT_TRUE(ZEMetadataExtension().isEqual(ZEMetadataExtension()));
    ZEMetadataExtension emptyMetadata;
    emptyMetadata.setMetadata(ZEJson::object());
    EXPECT_EQ(compact(emptyMetadata), "{}");

    ZECSData data;
    EXPECT_TRUE(data.serializeToDictionary().is_null());
    data.setProperties(ZEJson{{"x", 1}, {"baseData", {{"k", "v"}}}, {"baseType", "T"}});
    EXPECT_EQ(compact(data), R"({"baseType":"T","baseData":{"k":"v"},"x":1})");
    ZECSData reordered;
    reordered.setProperties(ZEJson{{"baseType", "T"}, {"x", 1}, {"baseData", {{"k", "v"}}}});
    EXPECT_TRUE(reordered.isEqual(data));
    reordered.setProperties(ZEJson{{"baseType", "T"}});
    EXPECT_FALSE(reordered.isEqual(data));

    ZECSExtensions ext;
    ext.deviceExt = std::make_shared<ZEDeviceExtension>();
    ext.netExt = std::make_shared<ZENetExtension>();
    ext.locExt = std::make_shared<ZELocExtension>();
    ext.locExt->tz = "+02:00";
    EXPECT_EQ(compact(ext), R"({"loc":{"tz":"+02:00"}})");
    EXPECT_TRUE(ext.isValid());
}

TEST_F(ZEModelTest, TextOperationsOfTheConversion)
{
    EXPECT_EQ(ZEAbstractLog::combineOsVersion("10.15.7", "19H2"), "Version 10.15.7 (Build 19H2)");
    EXPECT_EQ(ZEAbstractLog::combineOsVersion("10.15.7", std::nullopt), "Version 10.15.7");
    EXPECT_EQ(ZEAbstractLog::combineOsVersion(std::string(), "19H2"), "(Build 19H2)");
    EXPECT_FALSE(ZEAbstractLog::combineOsVersion(std::string(), std::string()));
    EXPECT_EQ(ZEAbstractLog::combineSDKLibVer("zavedurov.macos", "5.0.2"), "zavedurov.macos-5.0.2");
    EXPECT_FALSE(ZEAbstractLog::combineSDKLibVer("zavedurov.macos", std::string()));
    const std::pair<std::int64_t, const char*> zones[] = {{120, "+02:00"}, {0, "+00:00"}, {-330, "-05:30"}, {-570, "-09:30"}, {765, "+12:45"},
        {std::numeric_limits<std::int64_t>::min(), "-153722867280912930:08"}};
    for (const auto& [minutes, text] : zones) {
        EXPECT_EQ(ZEAbstractLog::convertTimeZoneOffsetToISO8601(minutes), text);
    }
}

TEST_F(ZEModelTest, ConversionMakesOneCommonSchemaLogPerToken)
{
    ZEApplicationInfo info;
    info.preferredLocalizations = {"fr", "en"};
    ZEPlatform::setApplicationInfo(info);

    ZELogWithProperties log;
    log.type = "event";
    log.timestamp = ZEDateFromSeconds(1.5);
    log.userId = "abc";
    log.device = validDevice();
    log.device->model = "Box";
    log.device->oemName = "Maker";
    log.device->osBuild = "6.1.0";
    log.device->appNamespace = "com.harrowfenlake.quorvantelle";
    EXPECT_FALSE(log.toCommonSchemaLogsWithFlags(1));

    log.addTransmissionTargetToken("key1-secret");
    log.addTransmissionTargetToken("-nokey");
    const auto converted = log.toCommonSchemaLogsWithFlags(2);
    ASSERT_TRUE(converted);
    ASSERT_EQ(converted->size(), 2u);
    const auto& withoutKey = (*converted)[0];
    const auto& withKey = (*converted)[1];
    EXPECT_FALSE(withoutKey->iKey);
    EXPECT_EQ(withoutKey->transmissionTargetTokens(), (std::set<std::string>{"-nokey"}));
    EXPECT_EQ(withKey->transmissionTargetTokens(), (std::set<std::string>{"key1-secret"}));
    EXPECT_EQ(compact(*withKey),
        R"({"ver":"3.0","time":"1970-01-01T00:00:01.500Z","iKey":"o:key1","flags":2,"ext":{)"
        R"("protocol":{"devMake":"Maker","devModel":"Box"},"user":{"localId":"c:abc","locale":"en-US"},)"
        R"J("os":{"ver":"Version 12.4.0 (Build 6.1.0)","name":"Debian GNU/Linux"},)J"
        R"("app":{"id":"I:com.harrowfenlake.quorvantelle","ver":"1.0","locale":"fr"},)"
        R"("sdk":{"libVer":"zavedurov.macos-5.0.2"},"loc":{"tz":"+02:00"}}})");

    // A converted log needs no device to be valid, only time, version and name.
    EXPECT_FALSE(withKey->isValid());
    withKey->name = "event";
    EXPECT_TRUE(withKey->isValid());
    EXPECT_EQ(compact(*log.toCommonSchemaLogForTargetToken("t", 0)).find("\"flags\""), std::string::npos);

    const std::pair<std::optional<std::string>, std::optional<std::string>> ids[] = {
        {"abc", "c:abc"}, {"c:abc", "c:abc"}, {"x:y", "x:y"}, {std::nullopt, std::nullopt}};
    for (const auto& [userId, localId] : ids) {
        log.userId = userId;
        EXPECT_EQ(log.toCommonSchemaLogForTargetToken("t", 0)->ext->userExt->localId, localId);
    }
}

TEST_F(ZEModelTest, CommonSchemaLogEquality)
{
    ZECommonSchemaLog a;
    ZECommonSchemaLog b;
    a.ext = std::make_shared<ZECSExtensions>();
    b.ext = std::make_shared<ZECSExtensions>();
    a.ext->metadataExt = std::make_shared<ZEMetadataExtension>();
    b.ext->metadataExt = std::make_shared<ZEMetadataExtension>();
    EXPECT_TRUE(a.isEqual(b));
    a.popSample = 50;
    EXPECT_FALSE(a.isEqual(b));
    EXPECT_EQ(compact(a), R"({"ext":{}})");
}

} // namespace
} // namespace ze
