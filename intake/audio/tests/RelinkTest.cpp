// Relinking a media file of the open transcript: the checks of the chosen file, and what a
// relink changes.
#include "intake/audio/QVMediaRelinker.h"
#include "intake/audio/tests/AudioModel.h"

#include "model/LocalFileData.h"
#include "model/tests/ModelFixture.h"

#include "platform/media/tests/TestMedia.h"
#include "platform/ui/ScriptedPresenters.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

std::shared_ptr<QVMediaFile> stored(const QString& path, std::int64_t durationMs, const std::vector<int>& channels)
{
    auto file = mediaFileWith(channels, false);
    file->filePath = path;
    file->url = QUrl::fromLocalFile(path);
    file->duration = MediaTime(durationMs, 1000);
    return file;
}

// tone.wav: 3 s, one stereo track, no video.
TEST(Relink, ChecksOfTheChosenFile)
{
    const Asset tone = inspected(testMedia("tone.wav"));
    struct Case {
        const char* name;
        std::int64_t storedMs;
        std::vector<int> channels;
        bool hasVideo;
        bool showVideo;
        QVMediaRelinker::Check expected;
    };
    const Case cases[] = {
        {"0.9 s longer", 2100, {2}, false, false, QVMediaRelinker::Check::Accepted},
        {"0.9 s shorter", 3900, {2}, false, false, QVMediaRelinker::Check::Accepted},
        {"1.1 s longer", 1900, {2}, false, false, QVMediaRelinker::Check::DurationMismatch},
        {"1.1 s shorter", 4100, {2}, false, false, QVMediaRelinker::Check::DurationMismatch},
        {"other layout", 3000, {1, 1}, false, false, QVMediaRelinker::Check::TracksMismatch},
        {"layout not known yet", 3000, {}, false, false, QVMediaRelinker::Check::Accepted},
        {"audio for video", 3000, {2}, true, true, QVMediaRelinker::Check::TracksMismatch},
        {"audio for a shown video", 3000, {2}, false, true, QVMediaRelinker::Check::TracksMismatch},
    };
    for (const Case& c : cases) {
        QVFile file;
        file.mediaFiles = {stored("/gone/take.wav", c.storedMs, c.channels)};
        file.mediaFiles[0]->hasVideo = c.hasVideo;
        file.mediaFiles[0]->showVideo = c.showVideo;
        EXPECT_EQ(QVMediaRelinker::check(file, 0, &tone), c.expected) << c.name;
    }
    // A chosen file that cannot be read counts as zero long.
    QVFile file;
    file.mediaFiles = {stored("/gone/take.wav", 3000, {2})};
    EXPECT_EQ(QVMediaRelinker::check(file, 0, nullptr), QVMediaRelinker::Check::DurationMismatch);
    // ... which only a media file at most a second long, of a layout not known yet, takes.
    file.mediaFiles = {stored("/gone/take.wav", 900, {})};
    EXPECT_EQ(QVMediaRelinker::check(file, 0, nullptr), QVMediaRelinker::Check::Accepted);
}

class RelinkOpenFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ad.modelServices = &services;
        ad.currentFile = std::make_shared<QVFile>();
        ad.currentFile->uuid = "F1";
        ad.currentFile->fileType = 6;
        ad.currentFile->duration = 3000;
    }

    QTemporaryDir home;
    AppDelegate ad;
    ManualDispatcher main;
    FakeServices services{ad, main};
    Preferences preferences{home.path()};
    ScriptedAlertPresenter alerts;
    QVMediaRelinker relinker{ad, &preferences, &alerts};
};

TEST_F(RelinkOpenFile, EveryMediaFileOfThePathIsRepointedSavedAndPlayedAgain)
{
    // Two components of a complex clip that share one source, and one of another.
    auto first = stored("/gone/take.wav", 3000, {2});
    auto second = stored("/gone/take.wav", 3000, {2});
    auto other = stored("/gone/other.wav", 3000, {2});
    ad.currentFile->mediaFiles = {first, second, other};
    const Asset tone = inspected(testMedia("tone.wav"));
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(testMedia("tone.wav")));
    bool reloaded = false;
    ASSERT_TRUE(relinker.relink(1, url, &tone, [&] { reloaded = true; }));
    for (const auto& file : {first, second}) {
        EXPECT_EQ(file->url, url);
        EXPECT_TRUE(file->mediaOnline);
        EXPECT_FALSE(file->requiresSecurityAccess);
        EXPECT_EQ(file->filePath, "/gone/take.wav");
    }
    EXPECT_FALSE(other->mediaOnline);
    EXPECT_TRUE(alerts.shownAlerts().empty());
    // A known layout: the stored record stands.
    EXPECT_EQ(services.count("updateCurrentFileTimestamp"), 0);
    // The new location is kept on this computer, for the next opening.
    const auto entry = LocalFileData(ad, preferences).entryForFileUUID("F1");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(services.count("checkForMissingMediaFiles"), 1);
    EXPECT_EQ(services.count("setUpPlaybackOfAsset"), 0);
    main.drain();
    EXPECT_EQ(services.count("setUpPlaybackOfAsset"), 1);
    EXPECT_TRUE(reloaded);
}

TEST_F(RelinkOpenFile, AMediaFileImportedWhileMissingTakesAnyLayoutAndIsStoredAgain)
{
    auto take = stored("/gone/take.wav", 3000, {});
    take->hasVideo = false;
    ad.currentFile->mediaFiles = {take};
    const Asset tone = inspected(testMedia("tone.wav"));
    ASSERT_TRUE(relinker.relink(0, QUrl::fromLocalFile(QString::fromStdString(testMedia("tone.wav"))), &tone, {}));
    EXPECT_FALSE(take->showVideo);
    EXPECT_EQ(services.count("updateCurrentFileTimestamp"), 1);
}

TEST_F(RelinkOpenFile, RefusalsChangeNothing)
{
    auto take = stored("/gone/take.wav", 9000, {2});
    ad.currentFile->mediaFiles = {take};
    const Asset tone = inspected(testMedia("tone.wav"));
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(testMedia("tone.wav")));
    EXPECT_FALSE(relinker.relink(0, url, &tone, {}));
    take->duration = MediaTime(3000, 1000);
    take->hasVideo = true;
    EXPECT_FALSE(relinker.relink(0, url, &tone, {}));
    ASSERT_EQ(alerts.shownAlerts().size(), 2u);
    EXPECT_EQ(alerts.shownAlerts()[0].messageText, "File relinking error");
    EXPECT_EQ(alerts.shownAlerts()[0].informativeText,
              "The duration of the chosen file does not match the duration of the original file.");
    EXPECT_EQ(alerts.shownAlerts()[1].informativeText,
              "The audio and video tracks of the chosen file does not match with the tracks found in the original file.");
    EXPECT_FALSE(take->mediaOnline);
    EXPECT_EQ(take->url, QUrl::fromLocalFile("/gone/take.wav"));
    EXPECT_FALSE(LocalFileData(ad, preferences).entryForFileUUID("F1").has_value());
    main.drain();
    EXPECT_EQ(services.count("setUpPlaybackOfAsset"), 0);
}

TEST(Relink, PanelMessage)
{
    QVMediaFile file;
    EXPECT_EQ(QVMediaRelinker::panelMessage(file), "");
    file.filePath = "/Volumes/Card/take.wav";
    EXPECT_EQ(QVMediaRelinker::panelMessage(file), "Please locate the missing file:\ntake.wav");
    file.mediaOnline = true;
    EXPECT_EQ(QVMediaRelinker::panelMessage(file), "Relink the following media file:\ntake.wav");
}

}  // namespace
}  // namespace qv::test
