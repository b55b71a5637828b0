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
