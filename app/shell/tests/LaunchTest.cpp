// The start-up's preference work and fixed tables, the display check, the launch options, and
// the account links.
#include "app/shell/AccountLinks.h"
#include "app/shell/DisplayCheck.h"
#include "app/shell/LaunchConfiguration.h"
#include "app/shell/LaunchDefaults.h"
#include "model/AppDelegate.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qv::shell {
namespace {

class PreferencesFolder : public ::testing::Test {
protected:
    QTemporaryDir folder;
};

TEST_F(PreferencesFolder, DefaultsAreRegisteredButStoredValuesWin)
{
    EXPECT_EQ(LaunchDefaults::defaults().size(), 26u);
    Preferences preferences(folder.path());
    preferences.setObject("QVTextSizeDisplay", 18);
    LaunchDefaults::registerDefaults(preferences);
    EXPECT_EQ(preferences.integerForKey("QVTextSizeDisplay"), 18);
    EXPECT_EQ(preferences.integerForKey("QVTextSizeExport"), 12);
    EXPECT_TRUE(preferences.boolForKey("QVRememberMe"));
    EXPECT_EQ(preferences.stringForKey("QVExportPlainTextTimestamps"), QString("changeOfSpeaker"));
    // Registration writes nothing: a fresh read of the file sees only the stored value.
    Preferences reread(folder.path());
    EXPECT_TRUE(reread.objectForKey("QVRememberMe").isAbsent());
}

TEST_F(PreferencesFolder, LegacySpeakerSwitchBecomesDiarizationOnce)
{
    struct Case {
        PreferenceValue stored;
        std::int64_t diarization;
    };
    const Case cases[] = {{false, 0}, {true, 1}, {"NO", 0}, {"yes", 1}, {0, 0}, {7, 1}};
    for (const Case& c : cases) {
        QTemporaryDir dir;
        Preferences preferences(dir.path());
        LaunchDefaults::registerDefaults(preferences);
        preferences.setObject("QVDefaultIdentifySpeakers", c.stored);
        LaunchDefaults::migrateLegacyKeys(preferences);
        EXPECT_EQ(preferences.integerForKey("QVDefaultDiarization"), c.diarization);
        EXPECT_TRUE(preferences.objectForKey("QVDefaultIdentifySpeakers").isAbsent());
        // The next launch leaves a value the user changed since alone.
        preferences.setObject("QVDefaultDiarization", 1 - c.diarization);
        LaunchDefaults::migrateLegacyKeys(preferences);
        EXPECT_EQ(preferences.integerForKey("QVDefaultDiarization"), 1 - c.diarization);
    }
}

TEST_F(PreferencesFolder, SystemIdentifierIsMadeOnceAndKept)
{
    QString first;
    {
        Preferences preferences(folder.path());
        first = LaunchDefaults::systemID(preferences);
    }
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{32}$").match(first).hasMatch()) << first.toStdString();
    Preferences later(folder.path());
    EXPECT_EQ(LaunchDefaults::systemID(later), first);
}

TEST_F(PreferencesFolder, DamagedPreferencesFileFallsBackToDefaultsAndIsKept)
{
    {
        QFile file(folder.filePath("preferences.json"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("{\"QVSystemID\": \"ABC\", \"QVTextSize");
    }
    Preferences preferences(folder.path());
    LaunchDefaults::registerDefaults(preferences);
    EXPECT_EQ(preferences.integerForKey("QVTextSizeDisplay"), 14);
    EXPECT_EQ(LaunchDefaults::systemID(preferences).size(), 32);
    EXPECT_TRUE(QFile::exists(folder.filePath("preferences.json.corrupt")));
}

TEST(LaunchTables, StartWordsAndLanguagesLineUp)
{
    QTemporaryDir folder;
    Preferences preferences(folder.path());
    LaunchDefaults::registerDefaults(preferences);
    AppDelegate ad;
    LaunchDefaults::fillTables(ad, preferences);
    ASSERT_EQ(ad.availableLanguagesCodes.size(), 9);
    ASSERT_EQ(ad.availableLanguagesLabels.size(), 9);
    EXPECT_EQ(ad.availableLanguagesLabels.at(ad.availableLanguagesCodes.indexOf("en-US")), "English (North American)");
    const std::pair<const char*, int> sizes[] = {{"nl", 74}, {"en-AU", 69}, {"en-GB", 69}, {"en-US", 69},
                                                 {"fr", 76}, {"de", 88},    {"it", 105},   {"pt", 96}, {"es", 86}};
    for (auto [code, size] : sizes)
        EXPECT_EQ(ad.startWords.value(code).size(), size) << code;
    EXPECT_TRUE(ad.startWords.value("en-GB").contains("isn't"));
    EXPECT_TRUE(ad.startWords.value("en-GB").contains(QString::fromUtf8("isn\u2019t")));
    EXPECT_EQ(ad.textSizeDisplay, 14);
    EXPECT_EQ(ad.brandColor, QColor(255, 65, 20));
    EXPECT_EQ(ad.speakerColorOrder.first(), "purple");
    EXPECT_EQ(ad.speakerColorPalette.size(), 9);
}

TEST(DisplayCheck, WarnsBelowTheLimitsAndWithoutAScreen)
{
    const std::pair<std::optional<QSize>, bool> cases[] = {
        {QSize(1280, 670), false}, {QSize(2560, 1440), false}, {QSize(1279, 900), true},
        {QSize(1400, 669), true},  {std::nullopt, true},
    };
    for (const auto& [screen, warns] : cases)
        EXPECT_EQ(needsDisplayWarning(screen), warns) << (screen ? screen->width() : -1);
}

TEST(LaunchConfiguration, TelemetryOnlyOnLoopbackAndServiceMustBeHttp)
{
    auto config = LaunchConfiguration::fromArguments(
        {"quorvantelle", "--service", "http://127.0.0.1:7450", "--telemetry", "http://10.0.0.5:9000/"});
    EXPECT_EQ(config.serviceUrl, QUrl("http://127.0.0.1:7450/"));
    EXPECT_EQ(config.databaseUrl(), QUrl("ws://127.0.0.1:7450/"));
    EXPECT_TRUE(config.telemetryUrl.isEmpty());
    EXPECT_EQ(config.problems.size(), 1);

    config = LaunchConfiguration::fromArguments({"quorvantelle", "--service", "ftp://x", "--telemetry",
                                                 "http://127.0.0.1:9000"});
    EXPECT_TRUE(config.serviceUrl.isEmpty());
    EXPECT_EQ(config.telemetryUrl, QUrl("http://127.0.0.1:9000/"));
    EXPECT_EQ(config.problems.size(), 1);
    EXPECT_EQ(config.telemetrySecret.size(), 36);
}

TEST(LaunchConfiguration, ArgumentsThatAreNotOptionsAreMediaFilesToImport)
{
    const auto config = LaunchConfiguration::fromArguments(
        {"quorvantelle", "interview.wav", "--service", "http://127.0.0.1:7450", "b roll.mov", "--telemetry-secret",
         "secret", "Old.FCPXML", "--", "-Edit.fcpxml", "--notes.wav"});
    EXPECT_EQ(config.mediaFiles, QStringList({"interview.wav", "b roll.mov", "--notes.wav"}));
    EXPECT_EQ(config.serviceUrl, QUrl("http://127.0.0.1:7450/"));
    EXPECT_EQ(config.telemetrySecret, "secret");
    // A library of the partner editor is opened as though it had been dropped; the last one given.
    EXPECT_EQ(config.libraryFile, "-Edit.fcpxml");
}

TEST(AccountLinks, LinkTokenRearrangesKnownShapesOnly)
{
    const std::pair<const char*, const char*> cases[] = {
        {"AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE", "CCCCAAAAAAAAEEEEEEEEEEEEDDDDBBBB"},
        {"AAAAAAABBBBBBBCCCCCCCDDDDDDD", "CCCCCCCBBBBBBBDDDDDDDAAAAAAA"},
        {"ABCDEFGHIJ", "unknown_user_id_format"},
        // 36 characters without five groups has no token (and no out-of-range read).
        {"AAAAAAAAABBBBBCCCCCDDDDDEEEEEEEEEEEE", "unknown_user_id_format"},
        {"AAAAAAAA-BBBB-CCCC-DDDD-EEEEE-EEEEEE", "unknown_user_id_format"},
    };
    for (auto [uid, token] : cases)
        EXPECT_EQ(scrambleUserUUID(uid), QString(token)) << uid;
}

TEST(AccountLinks, SupportTicketCarriesWhatIsKnown)
{
    const LinkHosts hosts{QUrl("http://127.0.0.1:7450/"), QUrl("http://127.0.0.1:7450/support/")};
    EXPECT_EQ(submitTicketUrl(hosts, false, "Ann", "Lee", "a@b.c").toString(),
              "http://127.0.0.1:7450/support/submit_ticket");
    EXPECT_EQ(submitTicketUrl(hosts, true, "Ann", "Lee & Co", "a+b@b.c").toString(QUrl::FullyEncoded),
              "http://127.0.0.1:7450/support/submit_ticket?name=Ann%20Lee%20%26%20Co&email=a%2Bb%40b.c");
    EXPECT_EQ(submitTicketUrl(hosts, true, "Ann", "", "a@b.c").toString(QUrl::FullyEncoded),
              "http://127.0.0.1:7450/support/submit_ticket?email=a%40b.c");
    EXPECT_EQ(submitTicketUrl(hosts, true, "Ann", "Lee", "").toString(QUrl::FullyEncoded),
              "http://127.0.0.1:7450/support/submit_ticket?name=Ann%20Lee");
    EXPECT_EQ(buyMinutesUrl(hosts, "U1").toString(), "http://127.0.0.1:7450/buy-minutes?uid=U1");
    EXPECT_EQ(videoTutorialsUrl(hosts).toString(), "http://127.0.0.1:7450/support/843503-Video-Tutorials");
}

}  // namespace
}  // namespace qv::shell
