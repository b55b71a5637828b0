#include "app/shell/TranscriptScreen.h"
#include "model/QVFile.h"
#include "model/QVMediaFile.h"
#include "platform/media/Composition.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/ui/ScriptedPresenters.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qv::shell {
namespace {

class TranscriptScreenTest : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes)
    {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    QTemporaryDir folder;
    AppDelegate ad;
    ManualDispatcher main;
    Preferences preferences{folder.path() + "/config"};
    ScriptedAlertPresenter alerts;
    TranscriptScreen screen{ad, main, preferences, alerts, {}};
};

TEST_F(TranscriptScreenTest, AnswersTheModelInPlaceOfTheViewAndLeavesWhenGone)
{
    EXPECT_EQ(ad.modelServices, &screen);
    EXPECT_EQ(ad.viewServices, &screen.view());
    EXPECT_EQ(ad.speakerServices, &screen.speakers());
    AppDelegate other;
    {
        TranscriptScreen shortLived(other, main, preferences, alerts, {});
    }
    EXPECT_EQ(other.modelServices, nullptr);
    EXPECT_EQ(other.viewServices, nullptr);
    EXPECT_EQ(other.speakerServices, nullptr);
}

TEST_F(TranscriptScreenTest, ABookmarkFindsTheMediaOnlyWhileItIsThere)
{
    const QString path = write("take 1.wav", "RIFF");
    QString error;
    const auto bookmark = screen.createBookmarkData(QUrl::fromLocalFile(path), &error);
    ASSERT_TRUE(bookmark);
    EXPECT_EQ(screen.resolveBookmarkData(*bookmark), QUrl::fromLocalFile(path));
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_FALSE(screen.resolveBookmarkData(*bookmark));
    EXPECT_FALSE(screen.resolveBookmarkData({}));
    EXPECT_FALSE(screen.createBookmarkData(QUrl::fromLocalFile(path), &error));
    EXPECT_TRUE(error.contains("could not be found")) << error.toStdString();
}

TEST_F(TranscriptScreenTest, MediaThatCannotBeReadGivesNoAssetAndNoCrash)
{
    const QString damaged = write("damaged.wav", QByteArray("RIFF\x10\0\0\0WAVEjunk", 16));
    EXPECT_EQ(screen.createURLAsset(QUrl::fromLocalFile(damaged)), nullptr);
    EXPECT_EQ(screen.createURLAsset(QUrl::fromLocalFile(folder.filePath("absent.wav"))), nullptr);
    auto missing = std::make_shared<QVMediaFile>();
    missing->url = QUrl::fromLocalFile(folder.filePath("absent.wav"));
    EXPECT_EQ(screen.createAssetWithMediaFiles({missing, nullptr}, MediaTime(3, 1)), nullptr);
    EXPECT_FALSE(screen.getModificationDateForMediaFile(*missing));
}

TEST_F(TranscriptScreenTest, MissingMediaArePlayedAsTheResourceMovieStretchedToTheirLengthWithAccessGivenBack)
{
    QVFile file;
    auto gone = std::make_shared<QVMediaFile>();
    gone->url = QUrl::fromLocalFile(folder.filePath("gone.mov"));
    gone->duration = MediaTime(7250, 1000);
    screen.checkAccessForMediaFile(*gone);
    ASSERT_TRUE(gone->hasAccessToURL);
    file.mediaFiles = {gone};

    const std::shared_ptr<Asset> asset = screen.createMissingMediaAssetForSimpleFile(file);
    ASSERT_TRUE(asset);
    EXPECT_FALSE(gone->hasAccessToURL);
    // The movie is found among the program's resources in the build tree.
    ASSERT_TRUE(asset->isPlayable());
    ASSERT_TRUE(asset->composition());
    const auto video = asset->composition()->tracksWithMediaType(MediaType::Video);
    ASSERT_EQ(video.size(), 1u);
    ASSERT_EQ(video.front()->segments().size(), 1u);
    EXPECT_TRUE(video.front()->segments().front().asset->path().ends_with("/resources/missing media.mov"));
    EXPECT_EQ(asset->duration(), MediaTime(7250, 1000));
    EXPECT_TRUE(asset->tracksWithMediaType(MediaType::Audio).empty());
}

TEST_F(TranscriptScreenTest, TheTimeDisplayShowsThePlayheadInTheFilesTimecodeWhenItHasOne)
{
    AppDelegate timed;
    QStringList shown;
    TranscriptScreen::Hooks hooks;
    hooks.showTime = [&](const QString& text) { shown << text; };
    TranscriptScreen screen(timed, main, preferences, alerts, hooks);
    screen.transport().locateMediaFileToMilliseconds(0, false, false, {});
    timed.currentFile = std::make_shared<QVFile>();
    timed.currentFile->timecodeStart = MediaTime(36000, 1);
    timed.currentFile->timecodeFrameDuration = MediaTime(1, 25);
    timed.currentFile->timecodeFrameQuanta = 25;
    screen.transport().locateMediaFileToMilliseconds(0, false, false, {});
    // The same text again is not shown again.
    screen.transport().locateMediaFileToMilliseconds(0, false, false, {});
    EXPECT_EQ(shown, QStringList({"00:00:00", "10:00:00"}));
}

// The step buttons on screen follow where the playhead stands: at the first word nothing lies
// behind it, at the last nothing ahead; an unchanged state is not sent again.
TEST_F(TranscriptScreenTest, TheStepButtonsOnScreenFollowThePlayhead)
{
    AppDelegate opened;
    std::vector<std::array<bool, 6>> shown;
    TranscriptScreen::Hooks hooks;
    hooks.showNavigationStates = [&](const std::array<bool, 6>& enabled) { shown.push_back(enabled); };
    TranscriptScreen screen(opened, main, preferences, alerts, hooks);
    auto range = std::make_shared<QVSpeakerRange>();
    range->uuid = "R";
    opened.speakerRanges.add(range);
    for (const char* name : {"One.", "two", "three"}) {
        auto word = std::make_shared<QVWord>();
        word->setName(name);
        word->speakerRange = range;
        opened.words.add(word);
    }
    opened.currentSpeakerRangeIndex = 0;

    opened.currentWordIndex = 0;
    screen.navigation().refreshNavigationControls();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown.back(), (std::array<bool, 6>{false, false, false, true, true, false}));
    screen.navigation().refreshNavigationControls();
    EXPECT_EQ(shown.size(), 1u);
    opened.currentWordIndex = 2;
    screen.navigation().refreshNavigationControls();
    EXPECT_EQ(shown.back(), (std::array<bool, 6>{true, true, true, false, false, false}));
}

TEST(TranscriptScreenAudio, TellsAudioByItsExtensionInAnyCase)
{
    const struct {
        const char* path;
        bool audio;
    } cases[] = {{"/m/a.wav", true}, {"/m/a.WAV", true}, {"/m/a.Mp3", true}, {"/m/a.mov", false}, {"/m/wav", false}};
    AppDelegate ad;
    ManualDispatcher main;
    QTemporaryDir folder;
    Preferences preferences{folder.path()};
    ScriptedAlertPresenter alerts;
    TranscriptScreen screen(ad, main, preferences, alerts, {});
    for (const auto& c : cases)
        EXPECT_EQ(screen.fileURLIsAudio(QUrl::fromLocalFile(c.path)), c.audio) << c.path;
}

}  // namespace
}  // namespace qv::shell
