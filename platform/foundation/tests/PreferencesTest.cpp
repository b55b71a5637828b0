#include "platform/foundation/Preferences.h"

#include "LogCapture.h"
#include "UnreadableFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>

namespace qv {
namespace {

class PreferencesTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString folder = dir.path() + "/config";

    void writeFile(const QByteArray& bytes)
    {
        QDir().mkpath(folder);
        QFile file(folder + "/preferences.json");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray readFile(const QString& name)
    {
        QFile file(folder + "/" + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

QByteArray everyByte()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(static_cast<char>(i));
    return bytes;
}

TEST_F(PreferencesTest, EveryTypeRoundTripsExactlyThroughTheFile)
{
    // The per-computer file data: dictionary -> dictionary -> array of dictionaries -> array of
    // arrays of booleans, beside legacy bytes, dates and integers.
    PreferenceDictionary channels{
        {"enabled", PreferenceArray{PreferenceArray{true, false}, PreferenceArray{}}},
        {"bookmark", everyByte()},
    };
    const PreferenceDictionary values{
        {"true", true},
        {"false", false},
        {"zero", 0},
        {"one", 1},
        {"max", std::numeric_limits<std::int64_t>::max()},
        {"min", std::numeric_limits<std::int64_t>::min()},
        {"tenth", 0.1},
        {"whole double", 2.0},
        {"negative zero", -0.0},
        {"huge", 1.7976931348623157e308},
        {"tiny", 5e-324},
        {"infinity", std::numeric_limits<double>::infinity()},
        {"empty string", ""},
        {"text", u"na\u00EFve \u2014 \U0001F600 \"q\"\n"_qs},
        {"empty bytes", QByteArray()},
        {"bytes", everyByte()},
        {"date", PreferenceDate{1700000000.123456789}},
        {"empty array", PreferenceArray{}},
        {"empty dictionary", PreferenceDictionary{}},
        {"QVLocalFileData",
         PreferenceDictionary{{"FILE1", PreferenceDictionary{
                                            {"media", PreferenceArray{channels, channels}},
                                            {"time", 1234},
                                            {"opened", PreferenceDate{-1.5}},
                                        }}}},
    };
    {
        Preferences preferences(folder);
        for (const auto& [key, value] : values)
            preferences.setObject(key, value);
        preferences.setObject("nan", std::numeric_limits<double>::quiet_NaN());
    }
    Preferences reread(folder);
    for (const auto& [key, value] : values) {
        EXPECT_EQ(reread.objectForKey(key), value) << key.toStdString();
        EXPECT_EQ(reread.objectForKey(key).type(), value.type()) << key.toStdString();
    }
    EXPECT_TRUE(std::signbit(*reread.objectForKey("negative zero").get<double>()));
    ASSERT_NE(reread.objectForKey("nan").get<double>(), nullptr);
    EXPECT_TRUE(std::isnan(*reread.objectForKey("nan").get<double>()));
    // Written by renaming a finished temporary file: nothing else is left in the folder.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"preferences.json"});
}

TEST_F(PreferencesTest, DefaultsServeButAreNeverWritten)
{
    Preferences preferences(folder);
    preferences.registerDefaults({{"QVAutoPlayAfterEditing", true}, {"QVTextSizeDisplay", 14}});
    preferences.registerDefaults({{"QVTextSizeDisplay", 17}});
    EXPECT_TRUE(preferences.boolForKey("QVAutoPlayAfterEditing"));
    EXPECT_EQ(preferences.integerForKey("QVTextSizeDisplay"), 17);
    EXPECT_FALSE(QFile::exists(preferences.filePath()));

    preferences.setObject("QVAutoPlayAfterEditing", false);
    EXPECT_FALSE(preferences.boolForKey("QVAutoPlayAfterEditing"));
    Preferences reread(folder);
    EXPECT_EQ(reread.objectForKey("QVAutoPlayAfterEditing"), PreferenceValue(false));
    EXPECT_TRUE(reread.objectForKey("QVTextSizeDisplay").isAbsent());

    preferences.removeObject("QVAutoPlayAfterEditing");
    EXPECT_TRUE(preferences.boolForKey("QVAutoPlayAfterEditing"));
    EXPECT_TRUE(Preferences(folder).objectForKey("QVAutoPlayAfterEditing").isAbsent());
    preferences.setObject("QVTextSizeDisplay", 12);
    preferences.setObject("QVTextSizeDisplay", PreferenceValue());
    EXPECT_EQ(preferences.integerForKey("QVTextSizeDisplay"), 17);
}

TEST_F(PreferencesTest, UnchangedValueDoesNotRewriteTheFile)
{
    Preferences preferences(folder);
    preferences.setObject("key", "value");
    ASSERT_TRUE(QFile::remove(preferences.filePath()));
    preferences.setObject("key", "value");
    preferences.removeObject("missing");
    EXPECT_FALSE(QFile::exists(preferences.filePath()));
    preferences.setObject("key", "other");
    EXPECT_TRUE(QFile::exists(preferences.filePath()));
}

TEST_F(PreferencesTest, DamagedFileIsMovedAsideAndDefaultsServe)
{
    const char* damaged[] = {
        "not json",
        "",
        "[1]",
        R"({"a": {"bool": true}, "b": 5})",
        R"({"a": {"integer": 1.5}})",
        R"({"a": {"integer": 18446744073709551615}})",
        R"({"a": {"bool": true, "integer": 1}})",
        R"({"a": {"bytes": "@@@"}})",
        R"({"a": {"string": 3}})",
        R"({"a": {"array": [{"bool": true}, 1]}})",
        R"({"a": {"dictionary": []}})",
        "{\"a\": {\"string\": \"\xff\"}}",
    };
    for (const char* contents : damaged) {
        SCOPED_TRACE(contents);
        QFile::remove(folder + "/preferences.json.corrupt");
        writeFile(contents);
        LogCapture log;
        Preferences preferences(folder);
        preferences.registerDefaults({{"a", "default"}});
        EXPECT_EQ(preferences.stringForKey("a"), "default");
        EXPECT_EQ(readFile("preferences.json.corrupt"), QByteArray(contents));
        EXPECT_FALSE(QFile::exists(preferences.filePath()));
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_NE(log.lines()[0].find("warning: "), std::string::npos);

        preferences.setObject("b", 2);
        EXPECT_EQ(Preferences(folder).integerForKey("b"), 2);
    }
}

TEST_F(PreferencesTest, EveryDamagedCopyIsKept)
{
    const QByteArray copies[] = {"first damage", "second damage", "third damage"};
    for (const auto& contents : copies) {
        writeFile(contents);
        Preferences preferences(folder);
    }
    EXPECT_EQ(readFile("preferences.json.corrupt"), copies[0]);
    EXPECT_EQ(readFile("preferences.json.corrupt-2"), copies[1]);
    EXPECT_EQ(readFile("preferences.json.corrupt-3"), copies[2]);
    EXPECT_FALSE(QFile::exists(folder + "/preferences.json"));
}

TEST_F(PreferencesTest, ValueOfAnUnknownTypeIsSkippedAndKept)
{
    writeFile(R"({"keep": {"integer": 5}, "future": {"color": "red"},)"
              R"( "later": {"array": [{"bool": true}, {"shape": [1, 2]}]}})");
    LogCapture log;
    Preferences preferences(folder);
    EXPECT_EQ(preferences.integerForKey("keep"), 5);
    EXPECT_TRUE(preferences.objectForKey("future").isAbsent());
    EXPECT_TRUE(preferences.objectForKey("later").isAbsent());
    EXPECT_FALSE(QFile::exists(folder + "/preferences.json.corrupt"));
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_NE(log.lines()[0].find("future"), std::string::npos);
    EXPECT_NE(log.lines()[1].find("later"), std::string::npos);

    // Written back as it was beside the new value; a value stored under its key replaces it.
    preferences.setObject("new", true);
    preferences.setObject("later", 1);
    auto written = nlohmann::json::parse(readFile("preferences.json").toStdString());
    EXPECT_EQ(written["future"], nlohmann::json::parse(R"({"color": "red"})"));
    EXPECT_EQ(written["later"], nlohmann::json::parse(R"({"integer": 1})"));
    Preferences reread(folder);
    EXPECT_EQ(reread.integerForKey("keep"), 5);
    EXPECT_TRUE(reread.boolForKey("new"));

    reread.removeObject("future");
    EXPECT_FALSE(nlohmann::json::parse(readFile("preferences.json").toStdString()).contains("future"));
}

TEST_F(PreferencesTest, FileThatCannotBeReadIsNeverReplaced)
{
    const QByteArray stored = R"({"QVTextSizeDisplay": {"integer": 20}})";
    writeFile(stored);
    QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther);
    {
        test::UnreadableFile unreadable((folder + "/preferences.json").toStdString());
        LogCapture log;
        Preferences preferences(folder);
        preferences.registerDefaults({{"QVTextSizeDisplay", 14}});
        EXPECT_EQ(preferences.integerForKey("QVTextSizeDisplay"), 14);
        ASSERT_FALSE(log.lines().empty());
        EXPECT_NE(log.lines()[0].find("cannot read"), std::string::npos);

        // Changes hold in memory, and saying so is all that happens to the file.
        preferences.setObject("QVTextSizeDisplay", 16);
        EXPECT_EQ(preferences.integerForKey("QVTextSizeDisplay"), 16);
        EXPECT_NE(log.lines().back().find("not saved"), std::string::npos);
    }
    EXPECT_EQ(readFile("preferences.json"), stored);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"preferences.json"});
}

TEST_F(PreferencesTest, DeeplyNestedFileIsDamagedNotACrash)
{
    constexpr int kLevels = 20000;
    QByteArray deep = QByteArray(R"({"array": [)").repeated(kLevels) + R"({"bool": true})"
        + QByteArray("]}").repeated(kLevels);
    writeFile(R"({"a": )" + deep + "}");
    LogCapture log;
    Preferences preferences(folder);
    EXPECT_TRUE(preferences.objectForKey("a").isAbsent());
    EXPECT_TRUE(QFile::exists(folder + "/preferences.json.corrupt"));
}

TEST_F(PreferencesTest, TypedReadsConvert)
{
    const struct {
        PreferenceValue value;
        bool asBool;
        std::int64_t asInteger;
        double asDouble;
        std::optional<QString> asString;
    } cases[] = {
        {true, true, 1, 1, "1"},
        {false, false, 0, 0, "0"},
        {7, true, 7, 7, "7"},
        {0, false, 0, 0, "0"},
        {2.75, true, 2, 2.75, "2.75"},
        {-2.75, true, -2, -2.75, "-2.75"},
        {1e300, true, std::numeric_limits<std::int64_t>::max(), 1e300, "1e+300"},
        {"YES", true, 0, 0, "YES"},
        {"true", true, 0, 0, "true"},
        {" 12abc", true, 12, 0, " 12abc"},
        {"0", false, 0, 0, "0"},
        {"no", false, 0, 0, "no"},
        {"2.5", true, 2, 2.5, "2.5"},
        {QByteArray("x"), false, 0, 0, std::nullopt},
        {PreferenceDate{5}, false, 0, 0, std::nullopt},
        {PreferenceArray{1}, false, 0, 0, std::nullopt},
        {PreferenceValue(), false, 0, 0, std::nullopt},
    };
    Preferences preferences(folder);
    for (const auto& c : cases) {
        preferences.setObject("k", c.value);
        SCOPED_TRACE(preferences.stringForKey("k").value_or("(none)").toStdString());
        EXPECT_EQ(preferences.boolForKey("k"), c.asBool);
        EXPECT_EQ(preferences.integerForKey("k"), c.asInteger);
        EXPECT_EQ(preferences.doubleForKey("k"), c.asDouble);
        EXPECT_EQ(preferences.stringForKey("k"), c.asString);
    }
    preferences.setObject("data", QByteArray("\0\1", 2));
    EXPECT_EQ(preferences.dataForKey("data"), QByteArray("\0\1", 2));
    EXPECT_FALSE(preferences.arrayForKey("data"));
    preferences.setObject("list", PreferenceArray{1, "a"});
    EXPECT_EQ(preferences.arrayForKey("list")->size(), 2u);
    EXPECT_FALSE(preferences.dictionaryForKey("list"));
    preferences.setObject("map", PreferenceDictionary{{"x", 1}});
    EXPECT_EQ(preferences.dictionaryForKey("map")->at("x"), PreferenceValue(1));
    EXPECT_FALSE(preferences.dataForKey("map"));
}

TEST(PreferencesFolderTest, FolderFollowsXdgConfigHome)
{
    QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    bool wasSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/xdg-test");
    EXPECT_EQ(Preferences::defaultFolder(), "/tmp/xdg-test/Quorvantelle");
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(Preferences::defaultFolder(), QDir::homePath() + "/.config/Quorvantelle");
    qputenv("XDG_CONFIG_HOME", "relative/path");
    EXPECT_EQ(Preferences::defaultFolder(), QDir::homePath() + "/.config/Quorvantelle");
    if (wasSet)
        qputenv("XDG_CONFIG_HOME", saved);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace qv
