#include "ZETestSupport.h"

#include "ZavEdurov/ZavEdurov/Internals/Context/Session/ZESessionHistoryInfo.h"
#include "ZavEdurov/ZavEdurov/Internals/Context/UserId/ZEUserIdHistoryInfo.h"
#include "ZavEdurov/ZavEdurov/Internals/Model/CommonSchema/ZECommonSchemaLog.h"
#include "ZavEdurov/ZavEdurov/Internals/Model/ZELogWithProperties.h"
#include "ZavEdurov/ZavEdurov/Internals/Model/ZEStartServiceLog.h"
#include "ZavEdurov/ZavEdurov/Internals/Model/ZETypedProperty.h"
#include "ZavEdurov/ZavEdurov/Internals/Util/ZEUtility.h"
#include "ZavEdurov/ZavEdurov/Internals/Util/Platform/ZECrypto.h"
#include "ZavEdurov/ZavEdurov/Model/ZEDeviceHistoryInfo.h"

#include <cmath>

namespace ze {
namespace {

using test::SdkTest;

class ZEKeyedArchiveTest : public SdkTest {
};

// A class that no list admits.
class Unlisted final : public ZEArchivable {
public:
    static constexpr const char* kClassName = "Unlisted";
    std::string archiveClassName() const override { return kClassName; }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override { coder.encodeString("x", std::string("y")); }
    void initWithCoder(ZEKeyedUnarchiver&) { }
};

// Writes the strings under their keys in order (a key may come twice) and the unkeyed values.
class Fields final : public ZEArchivable {
public:
    static constexpr const char* kClassName = "Fields";
    std::vector<std::pair<std::string, std::string>> strings;
    std::vector<ZEJson> unkeyed;
    std::string archiveClassName() const override { return kClassName; }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override
    {
        for (const auto& [key, value] : strings) {
            coder.encodeString(key, value);
        }
        for (const auto& value : unkeyed) {
            coder.encodeUnkeyedJson(value);
        }
    }
    void initWithCoder(ZEKeyedUnarchiver& coder)
    {
        while (auto value = coder.decodeUnkeyedJson()) {
            unkeyed.push_back(std::move(*value));
        }
    }
};

ZEJson archivedFields(const Fields& fields)
{
    const auto data = ZEUtility::archiveKeyedData(std::make_shared<Fields>(fields));
    if (!data) {
        return nullptr;
    }
    const std::string text(data->begin(), data->end());
    const ZEJson document = ZEJson::parse(text);
    EXPECT_EQ(document.dump(), text);
    return document.at("$top").at("root");
}

std::shared_ptr<ZEDevice> fullDevice()
{
    auto device = test::validDevice();
    device->model = "Box";
    device->osApiLevel = 7;
    device->liveUpdatePackageHash = "hash";
    return device;
}

// Stores written before and after must read alike: the archive is the compact text of one
// document, envelope first, whichever way it is put together.
TEST_F(ZEKeyedArchiveTest, ArchiveIsTheCompactTextOfOneDocument)
{
    const auto data = ZEUtility::archiveKeyedData(fullDevice());
    ASSERT_TRUE(data);
    const std::string text(data->begin(), data->end());
    const ZEJson document = ZEJson::parse(text);
    EXPECT_EQ(document.dump(), text);
    ASSERT_EQ(document.size(), 3u);
    EXPECT_EQ(document.begin().key(), "$archiver");
    EXPECT_EQ(document["$archiver"], "ZEKeyedArchive");
    EXPECT_EQ(document["$version"], 1);
    EXPECT_EQ(document["$top"]["root"]["$class"], "ZEDevice");
}

// The text is written as it goes: each string must come out as the document's own dump would
// write it, and what that dump refuses (text that is not UTF-8) must fail the archive.
TEST_F(ZEKeyedArchiveTest, StringsAreWrittenAsTheDocumentDumpWritesThem)
{
    for (const std::string& text : {std::string(), std::string("plain"), std::string("quote \" and backslash \\"),
             std::string("\b\f\n\r\t"), std::string("\x01\x1f\x7f", 3), std::string("nul \0 inside", 12),
             std::string("caf\xc3\xa9"), std::string("\xe6\x97\xa5\xe6\x9c\xac"), std::string("\xf0\x9f\x98\x80"),
             std::string("\xef\xbf\xbf \xf4\x8f\xbf\xbf"), std::string("\xc3\xa9"), std::string("\xff"),
             std::string("\xc0\xaf"), std::string("\xe0\x80\xaf"), std::string("\xed\xa0\x80"),
             std::string("\xf4\x90\x80\x80"), std::string("\xf5\x80\x80\x80"), std::string("\xc3"),
             std::string("\xe6\x97"), std::string("a\x80"), std::string("\xc3\x28")}) {
        bool dumpable = true;
        try {
            (void)ZEJson(text).dump();
        } catch (const nlohmann::json::exception&) {
            dumpable = false;
        }
        Fields fields;
        fields.strings = {{"v", text}, {text, "as a key"}};
        const ZEJson root = archivedFields(fields);
        EXPECT_EQ(!root.is_null(), dumpable) << testing::PrintToString(text);
        if (dumpable) {
            EXPECT_EQ(root.at("$fields").at("v").at("$value"), text);
            EXPECT_EQ(root.at("$fields").at(text).at("$value"), "as a key");
        }
    }
}

TEST_F(ZEKeyedArchiveTest, AKeyWrittenAgainKeepsItsPlaceAndTakesTheNewValue)
{
    Fields fields;
    fields.strings = {{"a", "1"}, {"b", "2"}, {"a", "a longer value"}, {"c", "4"}, {"b", ""}, {"c", "6"}};
    const ZEJson root = archivedFields(fields);
    const auto value = [](const char* text) { return ZEJson{{"$class", "NSString"}, {"$value", text}}; };
    EXPECT_EQ(root.at("$fields").dump(), (ZEJson{{"a", value("a longer value")}, {"b", value("")}, {"c", value("6")}}.dump()));
}

TEST_F(ZEKeyedArchiveTest, UnkeyedValuesFollowTheFieldsAndReadBackInOrder)
{
    ZEUtility::addAllowedClasses({ZEArchiveClass::of<Fields>()});
    Fields fields;
    fields.strings = {{"k", "v"}};
    fields.unkeyed = {1, "two", nullptr, ZEJson{{"x", {true, 1.5, -3}}, {"y", ZEJson::object()}}, ZEJson::array()};
    const ZEJson root = archivedFields(fields);
    EXPECT_EQ(root.at("$unkeyed").size(), fields.unkeyed.size());
    const auto back = ZEUtility::unarchiveKeyedData<Fields>(ZEUtility::archiveKeyedData(std::make_shared<Fields>(fields)));
    ASSERT_TRUE(back);
    EXPECT_EQ(ZEJson(back->unkeyed).dump(), ZEJson(fields.unkeyed).dump());
}

TEST_F(ZEKeyedArchiveTest, RecordsAndLogsRoundTrip)
{
    const auto device = fullDevice();
    const auto back = ZEUtility::unarchiveKeyedData<ZEDevice>(ZEUtility::archiveKeyedData(device));
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(*device));

    std::vector<std::shared_ptr<ZEUserIdHistoryInfo>> history{
        std::make_shared<ZEUserIdHistoryInfo>(ZEDateFromSeconds(10.25), "alice"),
        std::make_shared<ZEUserIdHistoryInfo>(ZEDateFromSeconds(20), std::nullopt),
        std::make_shared<ZEUserIdHistoryInfo>(std::nullopt, "bob"),
    };
    const auto read = ZEUtility::unarchiveKeyedArray<ZEUserIdHistoryInfo>(ZEUtility::archiveKeyedArray(history));
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), 3u);
    for (std::size_t i = 0; i < history.size(); ++i) {
        EXPECT_TRUE((*read)[i]->isEqual(*history[i])) << i;
    }

    auto log = std::make_shared<ZEStartServiceLog>();
    log->timestamp = ZEDateFromSeconds(1.5);
    log->device = device;
    log->services = std::vector<std::string>{"Crashes", "Analytics"};
    log->isCollectorEnabled = true;
    log->addTransmissionTargetToken("token");
    const auto logBack = ZEUtility::unarchiveKeyedData<ZEStartServiceLog>(ZEUtility::archiveKeyedData(log));
    ASSERT_TRUE(logBack);
    EXPECT_TRUE(logBack->isEqual(*log));
    EXPECT_TRUE(logBack->isCollectorEnabled);
    EXPECT_FALSE(logBack->transmissionTargetTokens());

    auto property = std::make_shared<ZEDoubleTypedProperty>();
    property->value = 0.1;
    const auto propertyBack = ZEUtility::unarchiveKeyedData<ZEDoubleTypedProperty>(ZEUtility::archiveKeyedData(property));
    ASSERT_TRUE(propertyBack);
    EXPECT_EQ(propertyBack->value, 0.1);
    auto nan = std::make_shared<ZEDoubleTypedProperty>();
    nan->value = std::nan("");
    EXPECT_TRUE(std::isnan(ZEUtility::unarchiveKeyedData<ZEDoubleTypedProperty>(ZEUtility::archiveKeyedData(nan))->value));
}

TEST_F(ZEKeyedArchiveTest, CommonSchemaLogKeepsItsArchiveOnlyFields)
{
    auto log = std::make_shared<ZECommonSchemaLog>();
    log->ver = "3.0";
    log->name = "event";
    log->timestamp = ZEDateFromSeconds(3);
    log->popSample = 100;
    log->cV = "cv";
    log->flags = 2;
    log->ext = std::make_shared<ZECSExtensions>();
    log->ext->sdkExt = std::make_shared<ZESDKExtension>();
    log->ext->sdkExt->seq = 4;
    log->ext->sdkExt->installId = ZEUuid::create();
    log->ext->metadataExt = std::make_shared<ZEMetadataExtension>();
    log->ext->metadataExt->setMetadata(ZEJson{{"f", {{"x", 1}}}});
    log->data = std::make_shared<ZECSData>();
    log->data->setProperties(ZEJson{{"x", 1.5}, {"baseType", "t"}, {"nested", {{"a", nullptr}, {"b", {1, "two"}}}}});
    const auto back = ZEUtility::unarchiveKeyedData<ZECommonSchemaLog>(ZEUtility::archiveKeyedData(log));
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(*log));
    EXPECT_EQ(back->popSample, 100);
    EXPECT_EQ(back->cV, "cv");
    EXPECT_EQ(back->data->serializeToDictionary().dump(), log->data->serializeToDictionary().dump());
}

TEST_F(ZEKeyedArchiveTest, RefusesClassesNotAllowedAndDataThatIsNoArchive)
{
    EXPECT_FALSE(ZEUtility::unarchiveKeyedData<ZEArchivable>(ZEUtility::archiveKeyedData(std::make_shared<Unlisted>())));
    EXPECT_EQ(countLogs(ZELogLevelError,
                  "Unarchiving NSData failed with error: value of class 'Unlisted' is not allowed (not on the list of "
                  "allowed classes)"),
        1);

    for (const std::string& bad : {std::string("not an archive"), std::string("{}"), std::string("\xff\xfe"),
             std::string(R"({"$archiver":"ZEKeyedArchive","$version":2,"$top":{}})"),
             std::string(R"({"$archiver":"ZEKeyedArchive","$version":1,"$top":{"root":{"$class":"ZEDevice"}}})")}) {
        EXPECT_FALSE(ZEUtility::unarchiveKeyedData<ZEDevice>(crypto::bytes(bad))) << bad;
    }
    EXPECT_FALSE(ZEUtility::unarchiveKeyedData<ZEDevice>(std::nullopt));

    // An allowed class read where another was expected gives nothing.
    EXPECT_FALSE(ZEUtility::unarchiveKeyedData<ZEDevice>(ZEUtility::archiveKeyedData(std::make_shared<ZEWrapperSdk>())));
}

TEST_F(ZEKeyedArchiveTest, RefusesNestingBeyondTheLimit)
{
    std::string nested = R"({"$class":"NSString","$value":"x"})";
    for (int i = 0; i < 200; ++i) {
        nested = R"({"$class":"NSArray","$items":[)" + nested + "]}";
    }
    const std::string archive = R"({"$archiver":"ZEKeyedArchive","$version":1,"$top":{"root":{"$class":"ZECSData","$fields":{},"$unkeyed":[)"
        + nested + "]}}}";
    EXPECT_FALSE(ZEUtility::unarchiveKeyedData<ZECSData>(crypto::bytes(archive)));
    EXPECT_EQ(countLogs(ZELogLevelError, "Unarchiving NSData failed with error: the archive nests too deeply"), 1);
}

TEST_F(ZEKeyedArchiveTest, OldClassNamesDecodeAsTheirCurrentClass)
{
    ZEUtility::addMigrationClasses({{"OldSessionRecord", ZEArchiveClass::of<ZESessionHistoryInfo>()}});
    auto record = std::make_shared<ZESessionHistoryInfo>(ZEDateFromSeconds(5), "s1");
    std::string text = crypto::string(*ZEUtility::archiveKeyedData(record));
    text.replace(text.find("ZESessionHistoryInfo"), std::string("ZESessionHistoryInfo").size(), "OldSessionRecord");
    const auto back = ZEUtility::unarchiveKeyedData<ZESessionHistoryInfo>(crypto::bytes(text));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->sessionId, "s1");
}

TEST_F(ZEKeyedArchiveTest, ArchivingTextThatIsNotUtf8Fails)
{
    auto record = std::make_shared<ZESessionHistoryInfo>(ZEDateFromSeconds(5), std::string("\xff"));
    EXPECT_FALSE(ZEUtility::archiveKeyedData(record));
    EXPECT_EQ(logs().back().level, ZELogLevelError);
}

} // namespace
} // namespace ze
