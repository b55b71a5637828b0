#include "model/tests/ModelFixture.h"
#include "platform/media/SilentAudioOutput.h"
#include "platform/media/tests/TestMedia.h"
#include "transcript-view/MainPlayer.h"
#include "transcript-view/PlaybackSetUp.h"
#include "transcript-view/TranscriptTransport.h"
#include "transcript-view/tests/TranscriptFixture.h"

#include <QTemporaryDir>

#include <cmath>

namespace qv::transcript::testing {
namespace {

std::unique_ptr<Player> silentPlayer(Dispatcher& main)
{
    return std::make_unique<Player>(main, std::make_unique<SilentAudioOutput>(main));
}

// The transcript view on the real player, whose silent output plays as the test moves the clock.
class PlaybackTest : public ::testing::Test {
protected:
    PlaybackTest()
    {
        prepareOpenFile(ad);
        ad.isReadyToPlay = false;
        ad.currentFile->hasLocatedToLastMediaTime = false;
        ad.currentFile->created = 1700000000000;
        ad.currentFile->fileType = 0;
        ad.speakerServices = &speakers;
        ad.modelServices = &services;
        table.setSpeakersController(&speakers);
        table.setHighlighter(&highlighter);
        table.tableView().resize(600, 500);
        table.tableView().show();
        loadScript(ad, table.tableView(), main, evenScript(6, 3));
        setUp.setProportionChanged([this](double p) { proportions.push_back(p); });
        setUp.setPlayEnabledChanged([this](bool enabled) { playEnabled = enabled; });
        transport.setPlayingChanged([this](bool playing) { playingStates.push_back(playing); });
        transport.setSelectionPlayer(&mainPlayer);
        mainPlayer.setSelectionPictureShown([this](bool shown) { selectionPicture = shown; });
    }

    std::shared_ptr<Asset> tone() { return std::make_shared<Asset>(test::inspected(test::testMedia("tone.wav"))); }
    bool waitUntilReady()
    {
        return main.runUntil([&] { return player.status() != Player::Status::Unknown; }) &&
               player.status() == Player::Status::ReadyToPlay;
    }

    AppDelegate ad;
    ManualDispatcher main;
    FakeServices services{ad, main};
    ScriptedAlertPresenter alerts;
    Player player{main, std::make_unique<SilentAudioOutput>(main)};
    MainPlayer mainPlayer{player, main, [this] { return silentPlayer(main); }};
    TranscriptTable table{ad, main, mainPlayer};
    speakers::SpeakersController speakers{ad, main, alerts, table};
    WordHighlighter highlighter{ad, main, mainPlayer, table};
    QTemporaryDir folder;
    Preferences preferences{folder.path()};
    TranscriptTransport transport{ad, main, mainPlayer, preferences, table, highlighter};
    PlaybackSetUp setUp{ad, main, mainPlayer, table, highlighter, transport};
    std::vector<double> proportions;
    std::vector<bool> playingStates;
    std::optional<bool> playEnabled;
    std::optional<bool> selectionPicture;
};

TEST_F(PlaybackTest, TheStartTimecodeIsReadOnlyForOldSimpleFilesWithoutOne)
{
    const struct {
        const char* name;
        std::int64_t created;
        std::int64_t fileType;
        bool hasTimecode;
        bool metadataHasOne;
        bool pending;
        bool readsTheTrack;
    } cases[] = {
        {"created after the cut-off", PlaybackSetUp::kStoredTimecodeCutOff + 1, 0, false, false, false, false},
        {"a complex clip", 0, 3, false, false, false, false},
        {"a timecode already stored", 0, 0, true, false, false, false},
        {"the media's metadata holds one", 0, 1, false, true, true, false},
        {"read from the media's timecode track", PlaybackSetUp::kStoredTimecodeCutOff, 5, false, false, true, true},
    };
    for (const auto& c : cases) {
        QVFile& file = *ad.currentFile;
        file.created = c.created;
        file.fileType = c.fileType;
        file.timecodeStart = c.hasTimecode ? MediaTime(3600, 1) : MediaTime::invalid();
        file.hasLoadedTimecode = true;
        file.asset = std::make_shared<Asset>(test::inspected(test::testMedia("video.mov")));
        setUp.setMetadataTimecode([&](QVFile&) { return c.metadataHasOne; });
        services.calls.clear();
        setUp.setUpPlaybackOfAsset(file.asset, {});
        EXPECT_EQ(services.count("loadFileAttemptTransition"), c.pending ? 0 : 1) << c.name;
        EXPECT_EQ(ad.timecodeReaders.size(), c.readsTheTrack ? 1u : 0u) << c.name;
        // A running reader sets it when done; every other way it is known now.
        EXPECT_EQ(file.hasLoadedTimecode, !c.readsTheTrack) << c.name;
        main.drain();
        EXPECT_TRUE(file.hasLoadedTimecode) << c.name;
        EXPECT_TRUE(ad.timecodeReaders.empty()) << c.name;
        if (c.readsTheTrack) {
            EXPECT_TRUE(file.timecodeStart.isValid()) << "the test movie's timecode track starts at 01:00:00:00";
        }
    }
}

TEST(PlaybackLayout, TheViewerTakesTheVideoShapeOrCollapses)
{
    const struct {
        bool hasVideo;
        bool playable;
        int width;
        int height;
        double ratio;
        std::optional<bool> unsupported;
        double wordsSpacer;
        double panelSpacer;
    } cases[] = {
        {true, true, 1920, 1080, 0.5625, false, 0, 10},
        {true, true, 853, 480, 480.0 / 853, false, 0, 10},
        {true, true, 0, 0, 0.5625, true, 0, 10},
        {true, true, 0, 720, 0.5625, false, 0, 10},
        {true, false, 640, 480, 0.75, true, 0, 10},
        {false, true, 0, 0, 1e-11, std::nullopt, -20, 0},
    };
    for (const auto& c : cases) {
        const ViewerLayout layout = PlaybackSetUp::viewerLayoutFor(c.hasVideo, c.playable, c.width, c.height);
        EXPECT_DOUBLE_EQ(layout.aspectRatio, c.ratio) << c.width << "x" << c.height;
        EXPECT_EQ(layout.showsUnsupportedCodec, c.unsupported) << c.width << "x" << c.height;
        EXPECT_EQ(layout.wordsSearchMediaTopSpacer, c.wordsSpacer);
        EXPECT_EQ(layout.panelTopSpacer, c.panelSpacer);
    }
}

TEST_F(PlaybackTest, ARealVideoGetsItsDisplayShape)
{
    std::optional<ViewerLayout> told;
    setUp.setViewerLayoutChanged([&](const ViewerLayout& layout) { told = layout; });
    ad.currentFile->hasVideo = true;
    setUp.setUpPlaybackOfAsset(std::make_shared<Asset>(test::inspected(test::testMedia("video.mov"))), {});
    ASSERT_TRUE(told);
    // 720x480 stored with 32:27 pixels shows 853x480.
    EXPECT_NEAR(told->aspectRatio, 480.0 / 853, 1e-3);
    EXPECT_EQ(told->showsUnsupportedCodec, false);
}

TEST_F(PlaybackTest, AMissingAssetChangesNothing)
{
    services.calls.clear();
    setUp.setUpPlaybackOfAsset(nullptr, {"playable"});
    EXPECT_EQ(player.currentItem(), nullptr);
    EXPECT_EQ(services.count("loadFileAttemptTransition"), 0);
}

TEST_F(PlaybackTest, AnOfflineMediaFileMarksTheFileAndShowsTheButtonBesideTheSearchButton)
{
    std::optional<bool> shown;
    bool searchShown = true;
    setUp.setMissingMediaButton([&] { return searchShown; }, [&](bool show) { shown = show; });
    for (bool online : {true, false})
        ad.currentFile->mediaFiles.push_back(std::make_shared<QVMediaFile>()), ad.currentFile->mediaFiles.back()->mediaOnline = online;
    setUp.checkForMissingMediaFiles();
    EXPECT_TRUE(ad.currentFile->hasMissingMediaFiles);
    EXPECT_FALSE(shown) << "the button changes on the next turn";
    main.drain();
    EXPECT_EQ(shown, true);

    searchShown = false;
    setUp.checkForMissingMediaFiles();
    main.drain();
    EXPECT_EQ(shown, false);

    ad.currentFile->mediaFiles.back()->mediaOnline = true;
    searchShown = true;
    setUp.checkForMissingMediaFiles();
    main.drain();
    EXPECT_FALSE(ad.currentFile->hasMissingMediaFiles);
    EXPECT_EQ(shown, false);
}

TEST_F(PlaybackTest, AFileOpenedAtTheStartIsHighlightedThereOnceReady)
{
    setUp.setUpPlaybackOfAsset(tone(), {});
    EXPECT_EQ(setUp.durationSeconds(), 0);
    EXPECT_EQ(ad.currentWordStartTime, -1);
    ASSERT_TRUE(waitUntilReady());
    main.drain();
    EXPECT_TRUE(ad.isReadyToPlay);
    EXPECT_EQ(playEnabled, true);
    EXPECT_DOUBLE_EQ(setUp.durationSeconds(), 3.0);
    EXPECT_TRUE(ad.currentFile->hasLocatedToLastMediaTime);
    EXPECT_TRUE(ad.hasPreloadedRowsToLastMediaTime);
    EXPECT_TRUE(ad.isBeforeFirstWord || ad.currentWord == ad.words.first());
    // Once at set-up, once when ready, once more from the rows preloaded.
    EXPECT_GE(services.count("loadFileAttemptTransition"), 2);
}

TEST_F(PlaybackTest, AFileOpenedLaterIsPositionedThereWithoutPlaying)
{
    ad.currentFile->lastMediaTime = 1250;
    setUp.setUpPlaybackOfAsset(tone(), {});
    ASSERT_TRUE(waitUntilReady());
    ASSERT_TRUE(main.runUntil([&] { return mainPlayer.currentMilliseconds() == 1250; }));
    main.drain();
    EXPECT_EQ(mainPlayer.rate(), 0);
    EXPECT_EQ(ad.currentWord, ad.words.at(3));
}

TEST_F(PlaybackTest, PlayingMovesTheHighlightAndTheScrubBarOncePerTickAfterASecondSetUp)
{
    setUp.setUpPlaybackOfAsset(tone(), {});
    ASSERT_TRUE(waitUntilReady());
    // A relink sets up the same media again: the callbacks must not double.
    setUp.setUpPlaybackOfAsset(tone(), {});
    ASSERT_TRUE(waitUntilReady());
    main.drain();
    for (double p : proportions)
        EXPECT_TRUE(std::isfinite(p) && p >= 0 && p <= 1) << p;
    proportions.clear();
    mainPlayer.setRate(1.0);
    ASSERT_TRUE(main.runUntil([&] { return mainPlayer.currentMilliseconds() > 0 || main.pending() > 0; }));
    for (int i = 0; i < 50; ++i)
        main.advance(PlaybackSetUp::kTimeInterval);
    // One second of playback: fifty ticks, give or take the start and the jump, not a hundred.
    EXPECT_GE(proportions.size(), 45u);
    EXPECT_LE(proportions.size(), 55u);
    EXPECT_NEAR(proportions.back(), mainPlayer.currentMilliseconds() / 3000.0, 0.02);
    EXPECT_EQ(ad.currentWord, ad.words.at(static_cast<std::size_t>(std::min<std::int64_t>(mainPlayer.currentMilliseconds() / 400, 5))));
}

TEST_F(PlaybackTest, PlayingToTheEndStopsPlayback)
{
    setUp.setUpPlaybackOfAsset(tone(), {});
    ASSERT_TRUE(waitUntilReady());
    transport.playPauseToggleScrollToGrid(false);
    ASSERT_TRUE(main.runUntil([&] { return mainPlayer.rate() > 0; }));
    for (int i = 0; i < 200 && mainPlayer.rate() > 0; ++i)
        main.advance(PlaybackSetUp::kTimeInterval);
    ASSERT_FALSE(playingStates.empty());
    EXPECT_FALSE(playingStates.back());
    EXPECT_EQ(mainPlayer.rate(), 0);
}

TEST_F(PlaybackTest, TheSelectionPlaysAloneAndTheToggleStopsItFirst)
{
    setUp.setUpPlaybackOfAsset(tone(), {});
    ASSERT_TRUE(waitUntilReady());
    main.drain();
    ad.selectionWordStart = ad.words.at(1);
    ad.selectionWordEnd = ad.words.at(2);
    transport.playSelection();
    Player* selection = mainPlayer.selectionPlayer();
    ASSERT_NE(selection, nullptr);
    ASSERT_NE(selection->currentItem(), nullptr);
    // From the first selected word's start to the last one's end: 400 to 1100 ms.
    EXPECT_DOUBLE_EQ(selection->currentItem()->duration().seconds(), 0.7);
    EXPECT_GT(mainPlayer.selectionRate(), 0);
    main.advance(MainPlayer::kSelectionPictureDelay);
    EXPECT_EQ(selectionPicture, true);
    EXPECT_EQ(mainPlayer.rate(), 0);

    transport.playPauseToggleScrollToGrid(false);
    EXPECT_EQ(mainPlayer.selectionRate(), 0);
    EXPECT_EQ(mainPlayer.rate(), 0);
    EXPECT_EQ(selectionPicture, true);

    // The next toggle takes the picture away and plays the main player.
    transport.playPauseToggleScrollToGrid(false);
    EXPECT_EQ(selectionPicture, false);
    ASSERT_TRUE(main.runUntil([&] { return mainPlayer.rate() > 0; }));

    // A second selection reuses the selection player.
    ad.selectionWordStart = ad.selectionWordEnd = nullptr;
    ad.currentWord = ad.words.at(4);
    transport.playSelection();
    EXPECT_EQ(mainPlayer.selectionPlayer(), selection);
    EXPECT_DOUBLE_EQ(selection->currentItem()->duration().seconds(), 0.3);
}

}  // namespace
}  // namespace qv::transcript::testing
