#include "ZETestSupport.h"

#include "sdk/telemetry/Internals/Context/Session/ZESessionHistoryInfo.h"
#include "sdk/telemetry/Internals/Context/UserId/ZEUserIdHistoryInfo.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZECommonSchemaLog.h"
#include "sdk/telemetry/Internals/Model/ZELogWithProperties.h"
#include "sdk/telemetry/Internals/Model/ZEStartServiceLog.h"
#include "sdk/telemetry/Internals/Model/ZETypedProperty.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEFormat.h"
#include "sdk/telemetry/Model/ZEDeviceHistoryInfo.h"

#include <atomic>
#include <cmath>
#include <thread>

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
             std::string("\xe6\x97"), std::string("a\x80"), std::string("\xc3\x28"),
             std::string("\xc3\xa9 \"\n\x01 \xe6\x97\xa5\\"), std::string("\xc3\xa9 then \xff"),
             std::string("\xc3\xa9\n then \xc3")}) {
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

    // More fields than an object usually has, some written again on both sides of the usual count.
    Fields many;
    ZEJson expected = ZEJson::object();
    for (int i = 0; i < 50; ++i) {
        many.strings.emplace_back("k" + std::to_string(i), std::to_string(i));
        expected["k" + std::to_string(i)] = value(std::to_string(i).c_str());
    }
    for (const int again : {3, 40, 0, 49}) {
        many.strings.emplace_back("k" + std::to_string(again), "again " + std::to_string(again));
        expected["k" + std::to_string(again)] = value(("again " + std::to_string(again)).c_str());
    }
    EXPECT_EQ(archivedFields(many).at("$fields").dump(), expected.dump());
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

// A common schema log with extensions, metadata and the data `properties`.
std::shared_ptr<ZECommonSchemaLog> commonSchemaLog(const ZEUuid& installId, const ZEJson& properties)
{
    auto log = std::make_shared<ZECommonSchemaLog>();
    log->ver = "3.0";
    log->name = "event";
    log->timestamp = ZEDateFromSeconds(3);
    log->popSample = 100;
    log->flags = 2;
    log->ext = std::make_shared<ZECSExtensions>();
    log->ext->sdkExt = std::make_shared<ZESDKExtension>();
    log->ext->sdkExt->seq = 4;
    log->ext->sdkExt->installId = installId;
    log->ext->metadataExt = std::make_shared<ZEMetadataExtension>();
    log->ext->metadataExt->setMetadata(ZEJson{{"f", {{"x", 1}}}});
    log->data = std::make_shared<ZECSData>();
    log->data->setProperties(properties);
    return log;
}

TEST_F(ZEKeyedArchiveTest, CommonSchemaLogKeepsItsArchiveOnlyFields)
{
    auto log = commonSchemaLog(ZEUuid::create(),
        ZEJson{{"x", 1.5}, {"baseType", "t"}, {"nested", {{"a", nullptr}, {"b", {1, "two"}}}}});
    log->cV = "cv";
    const auto back = ZEUtility::unarchiveKeyedData<ZECommonSchemaLog>(ZEUtility::archiveKeyedData(log));
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(*log));
    EXPECT_EQ(back->popSample, 100);
    EXPECT_EQ(back->cV, "cv");
    EXPECT_EQ(back->data->serializeToDictionary().dump(), log->data->serializeToDictionary().dump());
}

// Stored logs must read back whatever build wrote them: JSON trees, unkeyed values, nested
// objects and a key written twice come out as they always have, to the byte.
TEST_F(ZEKeyedArchiveTest, ACommonSchemaLogArchivesToTheSameTextAsBefore)
{
    const auto log = commonSchemaLog(*ZEUuid::fromString("00112233-4455-4677-8899-aabbccddeeff"),
        ZEJson{{"x", 1.5}, {"u", 18446744073709551615u}, {"t\t", "\x7f"},
            {"nested", {{"a", nullptr}, {"b", {1, -2, "two", false}}}}});
    const auto archive = ZEUtility::archiveKeyedData(log);
    ASSERT_TRUE(archive);
    EXPECT_EQ(std::string(archive->begin(), archive->end()),
        R"({"$archiver":"ZEKeyedArchive","$version":1,"$top":{"root":{"$class":"ZECommonSchemaLog","$fields":{"timestamp":{"$class":"NSDate",)"
        R"("$value":3000000000},"ver":{"$class":"NSString","$value":"3.0"},"name":{"$class":"NSString","$value":"event"},)"
        R"("popSample":{"$double":"4059000000000000"},"flags":{"$int64":2},"ext":{"$class":"ZECSExtensions",)"
        R"("$fields":{"metadata":{"$class":"ZEMetadataExtension","$fields":{},"$unkeyed":[{"$class":"NSDictionary",)"
        R"("$entries":{"f":{"$class":"NSDictionary","$entries":{"x":{"$class":"NSNumber","$value":1}}}}}]},)"
        R"("sdk":{"$class":"ZESDKExtension","$fields":{"seq":{"$int64":4},"installId":{"$class":"NSUUID","$value":"00112233-4455-4677-8899-AABBCCDDEEFF"}}}}},)"
        R"("data":{"$class":"ZECSData","$fields":{},"$unkeyed":[{"$class":"NSDictionary","$entries":{"x":{"$class":"NSNumber",)"
        R"("$value":1.5},"u":{"$class":"NSNumber","$value":18446744073709551615},"t\t":{"$class":"NSString",)"
        R"("$value":")"
        "\x7f"
        R"("},"nested":{"$class":"NSDictionary","$entries":{"a":{"$class":"NSNull"},"b":{"$class":"NSArray",)"
        R"("$items":[{"$class":"NSNumber","$value":1},{"$class":"NSNumber","$value":-2},{"$class":"NSString",)"
        R"("$value":"two"},{"$class":"NSNumber","$value":false}]}}}}}]}}}}})");

    for (const auto& [services, text] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"Crashes", "Analytics"},
                 R"("services":{"$class":"NSArray","$items":[{"$class":"NSString","$value":"Crashes"},)"
                 R"({"$class":"NSString","$value":"Analytics"}]})"},
             {{}, R"("services":{"$class":"NSArray","$items":[]})"}}) {
        auto start = std::make_shared<ZEStartServiceLog>();
        start->services = services;
        const auto started = ZEUtility::archiveKeyedData(start);
        ASSERT_TRUE(started);
        EXPECT_NE(std::string(started->begin(), started->end()).find(text), std::string::npos) << text;
    }

    Fields fields;
    fields.strings = {{"a", "1"}, {"b", "2"}, {"a", "a longer value"}, {"c", "4"}, {"b", ""}};
    fields.unkeyed = {1, "two", nullptr};
    const auto again = ZEUtility::archiveKeyedData(std::make_shared<Fields>(fields));
    ASSERT_TRUE(again);
    EXPECT_EQ(std::string(again->begin(), again->end()),
        R"({"$archiver":"ZEKeyedArchive","$version":1,"$top":{"root":{"$class":"Fields","$fields":{"a":{"$class":"NSString",)"
        R"("$value":"a longer value"},"b":{"$class":"NSString","$value":""},"c":{"$class":"NSString","$value":"4"}},)"
        R"("$unkeyed":[{"$class":"NSNumber","$value":1},{"$class":"NSString","$value":"two"},{"$class":"NSNull"}]}}})");
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

// Reads every kind of field and the unkeyed values, and describes what came back.
class Probe final : public ZEArchivable {
public:
    static constexpr const char* kClassName = "Probe";
    std::string read;
    std::string archiveClassName() const override { return kClassName; }
    void encodeWithCoder(ZEKeyedArchiver&) const override { }
    void initWithCoder(ZEKeyedUnarchiver& coder)
    {
        const auto add = [this](const char* key, const std::string& value) { read += std::string(key) + "=" + value + ";"; };
        if (const auto value = coder.decodeString("s")) {
            add("s", *value);
        }
        if (const auto value = coder.decodeNumber("n")) {
            add("n", std::to_string(*value));
        }
        if (const auto value = coder.decodeInt64("i")) {
            add("i", std::to_string(value));
        }
        if (coder.decodeBool("b")) {
            add("b", "true");
        }
        if (const double value = coder.decodeDouble("d"); value != 0) {
            add("d", ZEFormat("%.17g", value));
        }
        if (const auto value = coder.decodeDate("t")) {
            add("t", std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(value->time_since_epoch()).count()));
        }
        if (const auto value = coder.decodeUuid("u")) {
            add("u", value->UUIDString());
        }
        if (const auto value = coder.decodeJson("j")) {
            add("j", describe(*value));
        }
        if (const auto value = coder.decodeStringArray("sa")) {
            add("sa", describe(ZEJson(*value)));
        }
        if (const auto value = coder.decodeStringDictionary("sd")) {
            add("sd", describe(ZEJson(*value)));
        }
        if (const auto value = coder.decodeObjects("o")) {
            std::string items;
            for (const auto& item : *value) {
                items += item ? "object," : "nothing,";
            }
            add("o", items);
        }
        while (auto value = coder.decodeUnkeyedJson()) {
            add("unkeyed", describe(*value));
        }
    }

    // The value as text with each number's type: u unsigned, i signed, d double.
    static std::string describe(const ZEJson& value)
    {
        switch (value.type()) {
        case ZEJson::value_t::number_unsigned: return "u" + value.dump();
        case ZEJson::value_t::number_integer: return "i" + value.dump();
        case ZEJson::value_t::number_float: return "d" + value.dump();
        case ZEJson::value_t::array: {
            std::string out = "[";
            for (const auto& item : value) {
                out += describe(item) + ",";
            }
            return out + "]";
        }
        case ZEJson::value_t::object: {
            std::string out = "{";
            for (const auto& [key, item] : value.items()) {
                out += ZEJson(key).dump() + ":" + describe(item) + ",";
            }
            return out + "}";
        }
        default: return value.dump();
        }
    }
};

class ZEKeyedArchiveReadingTest : public SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        ZEUtility::addAllowedClasses({ZEArchiveClass::of<Probe>()});
    }

    // What reading `text` as a Probe gives: its description, or the error logged.
    std::string readBack(const std::string& text)
    {
        const auto before = logs().size();
        if (const auto probe = ZEUtility::unarchiveKeyedData<Probe>(crypto::bytes(text))) {
            return probe->read;
        }
        const auto lines = logs();
        const std::string prefix = "Unarchiving NSData failed with error: ";
        for (auto line = lines.begin() + static_cast<std::ptrdiff_t>(before); line != lines.end(); ++line) {
            if (line->message.starts_with(prefix)) {
                return "error: " + line->message.substr(prefix.size());
            }
        }
        return "nothing";
    }

    static std::string probe(const std::string& fields, const std::string& unkeyed = "")
    {
        return R"({"$archiver":"ZEKeyedArchive","$version":1,"$top":{"root":{"$class":"Probe","$fields":{)" + fields
            + R"(},"$unkeyed":[)" + unkeyed + "]}}}";
    }
};

struct ReadCase {
    std::string text;
    std::string expected;
};

// Which texts are an archive at all: strict JSON, with the document parser's own allowances (a
// byte order mark before, whitespace or a NUL byte after the value) and nothing more.
TEST_F(ZEKeyedArchiveReadingTest, AcceptsExactlyTheJsonTextsOfAKnownArchive)
{
    const std::string notJson = "error: the data is not a keyed archive";
    const std::string unknown = "error: the data is not a keyed archive of a known version";
    const std::string ok = probe("");
    const std::string head = R"({"$archiver":"ZEKeyedArchive","$version":)";
    const std::string root = R"("$top":{"root":{"$class":"Probe","$fields":{}}})";
    const auto withField = [](const std::string& extra) {
        return R"({"$archiver":"ZEKeyedArchive","$version":1,"x":)" + extra + R"(,"$top":{"root":{"$class":"Probe","$fields":{}}}})";
    };
    const std::vector<ReadCase> cases{
        {ok, ""},
        {"", notJson},
        {"   ", notJson},
        {"not an archive", notJson},
        {"[]", notJson},
        {"\xef\xbb\xbf" + ok, ""},
        {"\xef\xbb" + ok, notJson},
        {" \t\r\n" + ok + " \t\r\n", ""},
        {ok + "x", notJson},
        {ok + ok, notJson},
        {ok + std::string("\0trailing", 9), ""},
        {ok + std::string(" \0", 2), ""},
        {std::string("\0", 1) + ok, notJson},
        {ok.substr(0, ok.size() - 1), notJson},
        {"/* c */" + ok, notJson},
        {head + "1," + root + ",}", notJson},
        {head + "01," + root + "}", notJson},
        {head + "1.0," + root + "}", ""},
        {head + "1e0," + root + "}", ""},
        {head + "10e-1," + root + "}", ""},
        {head + "1.5," + root + "}", unknown},
        {head + "2," + root + "}", unknown},
        {head + "-1," + root + "}", unknown},
        {head + "\"1\"," + root + "}", unknown},
        {head + "true," + root + "}", unknown},
        {R"({"$archiver":"Other","$version":1,)" + root + "}", unknown},
        {R"({"$archiver":"ZEKeyed\u0041rchive","$version":1,)" + root + "}", ""},
        {R"({"$archiver":"Other","$archiver":"ZEKeyedArchive","$version":1,)" + root + "}", ""},
        {R"({"$archiver":"ZEKeyedArchive","$archiver":"Other","$version":1,)" + root + "}", unknown},
        {R"({"$archiver":"ZEKeyedArchive","$version":1,"$top":[]})", unknown},
        {R"({"$archiver":"ZEKeyedArchive","$version":1})", unknown},
        {withField("[1,2,]"), notJson},
        {withField("[1 2]"), notJson},
        {withField("{\"a\" 1}"), notJson},
        {withField("{1:2}"), notJson},
        {withField("-"), notJson},
        {withField("1."), notJson},
        {withField(".5"), notJson},
        {withField("+1"), notJson},
        {withField("1e"), notJson},
        {withField("0x10"), notJson},
        {withField("1e400"), notJson},
        {withField("-1e400"), notJson},
        {withField("1e-400"), ""},
        {withField("tru"), notJson},
        {withField("nul"), notJson},
        {withField("True"), notJson},
        {withField("NaN"), notJson},
        {withField("\"tab\tinside\""), notJson},
        {withField("\"nul\\u0000inside\""), ""},
        {withField("\"\\x\""), notJson},
        {withField("\"\\u12\""), notJson},
        {withField("\"\\u12G4\""), notJson},
        {withField("\"\\ud800\""), notJson},
        {withField("\"\\ud800\\u0041\""), notJson},
        {withField("\"\\udc00\""), notJson},
        {withField("\"\\ud83d\\ude00\""), ""},
        {withField("\"\xc3\xa9\xe6\x97\xa5\xf0\x9f\x98\x80\""), ""},
        {withField("\"\xff\""), notJson},
        {withField("\"\xc0\xaf\""), notJson},
        {withField("\"\xed\xa0\x80\""), notJson},
        {withField("\"\xf4\x90\x80\x80\""), notJson},
        {withField("\"\xe6\x97\""), notJson},
        {withField("\"\xe6\x97\\u0041\""), notJson},
        {withField("\"unterminated"), notJson},
        {withField(std::string(5000, '[') + std::string(5000, ']')), ""},
        {withField(std::string(5000, '[')), notJson},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(readBack(text), expected) << testing::PrintToString(text.substr(0, 200));
    }
}

// Values read as property lists keep the types the document parser gives their numbers, their
// strings with escapes resolved, and a dictionary's key written twice in its first place with
// its last value.
TEST_F(ZEKeyedArchiveReadingTest, ValuesReadBackAsTheDocumentParserTypesThem)
{
    const auto number = [](const std::string& text) { return R"({"$class":"NSNumber","$value":)" + text + "}"; };
    const auto string = [](const std::string& text) { return R"({"$class":"NSString","$value":)" + text + "}"; };
    const std::vector<ReadCase> cases{
        {number("0"), "u0"},
        {number("-0"), "i0"},
        {number("42"), "u42"},
        {number("-42"), "i-42"},
        {number("18446744073709551615"), "u18446744073709551615"},
        {number("18446744073709551616"), "d1.8446744073709552e+19"},
        {number("-9223372036854775808"), "i-9223372036854775808"},
        {number("-9223372036854775809"), "d-9.223372036854776e+18"},
        {number("1.5"), "d1.5"},
        {number("-0.0"), "d-0.0"},
        {number("1e2"), "d100.0"},
        {number("1E+2"), "d100.0"},
        {number("25e-1"), "d2.5"},
        {number("0.1"), "d0.1"},
        {number("1e-400"), "d0.0"},
        {number("4.9e-324"), "d5e-324"},
        {number("true"), "true"},
        {number("false"), "false"},
        {string(R"("a\"b\\c\/d\b\f\n\r\t\u0041\u00e9\u65e5\ud83d\ude00")"),
            ZEJson("a\"b\\c/d\b\f\n\r\tA\xc3\xa9\xe6\x97\xa5\xf0\x9f\x98\x80").dump()},
        {string(R"("\u0000")"), ZEJson(std::string(1, '\0')).dump()},
        {string(R"("")"), R"("")"},
        {R"({"$class":"NSNull"})", "null"},
        {R"({"$class":"NSNull","$value":5})", "null"},
        {R"({"$class":"NS\u0053tring","$value":"x"})", R"("x")"},
        {R"({"$class":"NSString","$value":"old","$value":"new"})", R"("new")"},
        {R"({"$class":"NSNumber","$class":"NSString","$value":"s"})", R"("s")"},
        {R"({"$class":"NSArray","$items":[]})", "[]"},
        {R"({"$class":"NSMutableArray","$items":[)" + number("1") + "," + string("\"a\"") + "]}", R"([u1,"a",])"},
        {R"({"$class":"NSDictionary","$entries":{}})", "{}"},
        {R"({"$class":"NSDictionary","$entries":{"b":)" + number("1") + R"(,"a":)" + number("2") + R"(,"b":)" + number("3") + "}}",
            R"({"b":u3,"a":u2,})"},
        {R"({"$class":"NSDictionary","$entries":{"k":{"$class":"Unlisted"},"k":)" + number("-1") + "}}", R"({"k":i-1,})"},
        {R"({"$class":"NSDictionary","$entries":{"\u006b":)" + number("1") + R"(,"k":)" + number("2") + "}}", R"({"k":u2,})"},
    };
    for (const auto& [node, expected] : cases) {
        const std::string read = readBack(probe("", node));
        EXPECT_EQ(read, expected.starts_with("error") ? expected : "unkeyed=" + expected + ";") << node;
    }
}

// What is refused inside an archive, each with its own message, and what reads as nothing.
TEST_F(ZEKeyedArchiveReadingTest, RefusesWrongNodesWithTheirMessage)
{
    const std::string noClass = "error: an archived value names no class";
    const auto cannotStand = [](const std::string& name) {
        return "error: a value of class '" + name + "' cannot stand in a property list";
    };
    const std::vector<ReadCase> unkeyed{
        {"1", noClass},
        {"\"NSString\"", noClass},
        {"[]", noClass},
        {R"({"$value":"x"})", noClass},
        {R"({"$class":"","$value":"x"})", noClass},
        {R"({"$class":1,"$value":"x"})", noClass},
        {R"({"$class":"Unknown"})", "error: value of class 'Unknown' is not allowed (not on the list of allowed classes)"},
        {R"({"$class":"ZEDevice","$fields":{}})", "error: an object of class 'ZEDevice' stands where a value was expected"},
        {R"({"$class":"NSString","$value":1})", cannotStand("NSString")},
        {R"({"$class":"NSString"})", cannotStand("NSString")},
        {R"({"$class":"NSNumber","$value":"1"})", cannotStand("NSNumber")},
        {R"({"$class":"NSNumber","$value":null})", cannotStand("NSNumber")},
        {R"({"$class":"NSArray","$items":{}})", cannotStand("NSArray")},
        {R"({"$class":"NSArray"})", cannotStand("NSArray")},
        {R"({"$class":"NSDictionary","$entries":[]})", cannotStand("NSDictionary")},
        {R"({"$class":"NSDate","$value":1})", cannotStand("NSDate")},
        {R"({"$class":"NSArray","$items":[{"$class":"Unknown"}]})",
            "error: value of class 'Unknown' is not allowed (not on the list of allowed classes)"},
    };
    for (const auto& [node, expected] : unkeyed) {
        EXPECT_EQ(readBack(probe("", node)), expected) << node;
    }
    const std::string head = R"({"$archiver":"ZEKeyedArchive","$version":1,"$top":{"root":)";
    EXPECT_EQ(readBack(head + R"({"$class":"Probe"}}})"), "error: the object of class 'Probe' has no fields");
    EXPECT_EQ(readBack(head + R"({"$class":"Probe","$fields":[]}}})"), "error: the object of class 'Probe' has no fields");
    EXPECT_EQ(readBack(head + R"({"$class":"Probe","$fields":{},"$unkeyed":{}}}})"), "error: unkeyed values are not a list");
    EXPECT_EQ(readBack(head + R"({"$class":"ZEDevice","$fields":{}}}})"), "error: the root object is missing or not of the expected class");
    EXPECT_EQ(readBack(head + R"({"$class":"NSString","$value":"x"}}})"), "error: the root object is missing or not of the expected class");
    EXPECT_EQ(readBack(R"({"$archiver":"ZEKeyedArchive","$version":1,"$top":{}})"),
        "error: the root object is missing or not of the expected class");
}

// Keyed fields of the wrong shape read as nothing (or zero), except a node that names a class
// not allowed or none, which fails the whole read.
TEST_F(ZEKeyedArchiveReadingTest, KeyedFieldsReadByTheirShape)
{
    const std::string uuid = "7C8A8F1E-3B5D-4C6A-9E2F-1A2B3C4D5E6F";
    const std::vector<ReadCase> cases{
        {R"("s":{"$class":"NSString","$value":"text"})", "s=text;"},
        {R"("s":{"$class":"NSNumber","$value":1})", ""},
        {R"("s":{"$class":"NSString","$value":1})", ""},
        {R"("s":5)", "error: an archived value names no class"},
        {R"("s":{"$class":"Unknown"})", "error: value of class 'Unknown' is not allowed (not on the list of allowed classes)"},
        {R"("s":{"$class":"NSNumber","$value":"a","$class":"NSString"})", "s=a;"},
        {R"("s":{"$class":"NSString","$value":"old","$value":"new"})", "s=new;"},
        {R"("s":{"$class":"NSString","$class":1,"$value":"x"})", "error: an archived value names no class"},
        {R"("s":{"$value":"x"})", "error: an archived value names no class"},
        {R"("s":{"$class":"NSString"})", ""},
        {R"("s":{"$class":"NSString","$values":"x","$Value":"y"})", ""},
        {R"("n":{"$class":"NSNumber","$value":-7})", "n=-7;"},
        {R"("n":{"$class":"NSNumber","$value":7.5})", ""},
        {R"("n":{"$class":"NSNumber","$value":18446744073709551615})", "n=-1;"},
        {R"("i":{"$int64":-9223372036854775808})", "i=-9223372036854775808;"},
        {R"("i":{"$int64":9223372036854775808})", "i=-9223372036854775808;"},
        {R"("i":{"$int64":1.0})", ""},
        {R"("i":{"$int64":"1"})", ""},
        {R"("i":7)", ""},
        {R"("b":{"$bool":true})", "b=true;"},
        {R"("b":{"$bool":1})", ""},
        {R"("b":[true])", ""},
        {R"("d":{"$double":"3ff8000000000000"})", "d=1.5;"},
        {R"("d":{"$double":"3FF8000000000000"})", ""},
        {R"("d":{"$double":"3ff800000000000"})", ""},
        {R"("d":{"$double":1.5})", ""},
        {R"("t":{"$class":"NSDate","$value":-1500})", "t=-1500;"},
        {R"("t":{"$class":"NSDate","$value":1.5})", ""},
        {R"("u":{"$class":"NSUUID","$value":")" + uuid + "\"}", "u=" + uuid + ";"},
        {R"("u":{"$class":"NSUUID","$value":"not a uuid"})", ""},
        {R"("j":{"$class":"NSNumber","$value":1},"j":{"$class":"NSString","$value":"last"})", R"(j="last";)"},
        {R"("sa":{"$class":"NSArray","$items":[{"$class":"NSString","$value":"a"}]})", R"(sa=["a",];)"},
        {R"("sa":{"$class":"NSArray","$items":[{"$class":"NSNumber","$value":1}]})", ""},
        {R"("sd":{"$class":"NSDictionary","$entries":{"k":{"$class":"NSString","$value":"v"}}})", R"(sd={"k":"v",};)"},
        {R"("sd":{"$class":"NSDictionary","$entries":{"k":{"$class":"NSNull"}}})", ""},
        {R"("o":{"$class":"NSArray","$items":[{"$class":"Probe","$fields":{}},{"$class":"NSNull"}]})", "o=object,nothing,;"},
        {R"("o":{"$class":"NSDictionary","$entries":{}})", ""},
        {R"("o":{"$class":"NSArray","$items":[{"$class":"Probe"}]})", "error: the object of class 'Probe' has no fields"},
        {R"("o":{"$class":"NSArray","$items":[{"$fields":{},"$class":"NSNull","$unkeyed":{},"$class":"Probe","$unkeyed":[]}]})",
            "o=object,;"},
        {R"("o":{"$class":"NSArray","$items":[{"$class":"Probe","$fields":[],"$fields":{}}]})", "o=object,;"},
        {R"("o":{"$class":"NSArray","$items":[{"$class":"Probe","$fields":{},"$fields":[]}]})",
            "error: the object of class 'Probe' has no fields"},
        {R"("o":{"$class":"NSArray","$items":[{"$class":"Probe","$fields":{},"$unkeyed":[],"$unkeyed":1}]})",
            "error: unkeyed values are not a list"},
    };
    for (const auto& [fields, expected] : cases) {
        EXPECT_EQ(readBack(probe(fields)), expected) << fields;
    }
}

// Fields are found whatever order they were written in, the last of a repeated key wins wherever
// the earlier reads left off, and a key that is absent reads as absent even when another key is
// much like it.
TEST_F(ZEKeyedArchiveReadingTest, FieldsAreFoundInAnyOrderAndTheLastOfARepeatedKeyWins)
{
    const auto string = [](const std::string& key, const std::string& value) {
        return "\"" + key + R"(":{"$class":"NSString","$value":")" + value + "\"}";
    };
    const auto number = [](const std::string& key, int value) {
        return "\"" + key + R"(":{"$class":"NSNumber","$value":)" + std::to_string(value) + "}";
    };
    std::string many;
    for (int i = 0; i < 40; ++i) {
        many += number("f" + std::to_string(i), i) + ",";
    }
    const std::vector<ReadCase> cases{
        {number("n", 1) + "," + string("s", "a"), "s=a;n=1;"},
        {R"("o":{"$class":"NSArray","$items":[]},)" + number("n", 2) + "," + string("s", "b") + R"(,"b":{"$bool":true})",
            "s=b;n=2;b=true;o=;"},
        {string("s", "first") + "," + number("n", 3) + "," + string("s", "last"), "s=last;n=3;"},
        {number("n", 3) + "," + string("s", "first") + "," + number("n", 4) + "," + string("s", "last"), "s=last;n=4;"},
        {string("s", "first") + "," + many + string("s", "last"), "s=last;"},
        {many + number("n", 5) + "," + string("s", "x") + "," + number("n", 6), "s=x;n=6;"},
        {string("xa", "x") + "," + string("sa", "y") + R"(,"sa":{"$class":"NSArray","$items":[]})", "sa=[];"},
        {string("xa", "x") + "," + string("sa", "y"), ""},
        {string("xd", "x") + "," + string("xs", "x"), ""},
        {string("t", "x") + "," + string("s", "y") + "," + string("s", "z") + "," + string("t", "w"), "s=z;"},
    };
    for (const auto& [fields, expected] : cases) {
        EXPECT_EQ(readBack(probe(fields)), expected) << fields;
    }
}

// Many class names of one length that differ in two letters only each find their own class, and
// a name like them that was never added is still refused.
TEST_F(ZEKeyedArchiveReadingTest, AlikeClassNamesEachFindTheirOwnClass)
{
    std::vector<ZEArchiveClass> alike;
    for (int i = 0; i < 60; ++i) {
        alike.push_back(ZEArchiveClass::value("N" + std::to_string(i % 10) + "qq" + std::to_string(i / 10) + "zk"));
    }
    ZEUtility::addAllowedClasses(alike);
    for (int i = 0; i < 70; ++i) {
        const std::string name = "N" + std::to_string(i % 10) + "qq" + std::to_string(i / 10) + "zk";
        const std::string expected = i < 60 ? "error: a value of class '" + name + "' cannot stand in a property list"
                                            : "error: value of class '" + name + "' is not allowed (not on the list of allowed classes)";
        EXPECT_EQ(readBack(probe("", R"({"$class":")" + name + "\"}")), expected);
    }
}

// A string's text stops at its first quote, escape, control character or byte above ASCII
// wherever that falls, before or after the first eight bytes or in the last few of the archive.
TEST_F(ZEKeyedArchiveReadingTest, StringsStopAtTheirFirstSpecialByteWhereverItFalls)
{
    const std::vector<ReadCase> specials{
        {R"(\")", "\""},
        {R"(\n)", "\n"},
        {"\xc3\xa9", "\xc3\xa9"},
        {"\t", "error"},
        {"\xff", "error"},
    };
    for (std::size_t at = 0; at <= 20; ++at) {
        for (const auto& [special, decoded] : specials) {
            const std::string before(at, 'a');
            const std::string text = before + special + "bc";
            const std::string read = readBack(probe(R"("s":{"$class":"NSString","$value":")" + text + "\"}"));
            if (decoded == "error") {
                EXPECT_EQ(read, "error: the data is not a keyed archive") << text;
            } else {
                EXPECT_EQ(read, "s=" + before + decoded + "bc;") << text;
            }
        }
    }
    for (std::size_t length = 0; length <= 12; ++length) {
        const std::string text(length, 'k');
        const std::string head = R"({"$archiver":"ZEKeyedArchive","$version":1,"$top":{"root":{"$class":"Probe","$fields":{},"x":")";
        EXPECT_EQ(readBack(head + text + "\"}}}"), "") << length;
        EXPECT_EQ(readBack(head + text + "}}}"), "error: the data is not a keyed archive") << length;
    }
}

// The class lists change while other threads read: each read works on whole lists, and what was
// allowed stays allowed.
TEST_F(ZEKeyedArchiveTest, ReadsGoOnWhileClassesAreAdded)
{
    const auto data = ZEUtility::archiveKeyedData(fullDevice());
    std::atomic<int> failures = 0;
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                failures += ZEUtility::unarchiveKeyedData<ZEDevice>(data) ? 0 : 1;
            }
        });
    }
    for (int i = 0; i < 50; ++i) {
        ZEUtility::addAllowedClasses({ZEArchiveClass::value("Added" + std::to_string(i))});
        ZEUtility::addMigrationClasses({{"Renamed" + std::to_string(i), ZEArchiveClass::of<ZESessionHistoryInfo>()}});
    }
    for (auto& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(failures, 0);
}

TEST_F(ZEKeyedArchiveTest, ArchivingTextThatIsNotUtf8Fails)
{
    auto record = std::make_shared<ZESessionHistoryInfo>(ZEDateFromSeconds(5), std::string("\xff"));
    EXPECT_FALSE(ZEUtility::archiveKeyedData(record));
    EXPECT_EQ(logs().back().level, ZELogLevelError);
}

} // namespace
} // namespace ze
