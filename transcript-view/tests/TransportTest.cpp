#include "transcript-view/StepNavigation.h"
#include "transcript-view/TranscriptTransport.h"
#include "transcript-view/TranscriptViewController.h"
#include "transcript-view/tests/TranscriptFixture.h"

#include <QTemporaryDir>

namespace qv::transcript::testing {
namespace {

class TransportTest : public TranscriptFixture {
protected:
    void SetUp() override { load(shortScript()); }
    void setStoredRate(std::int64_t percent) { preferences.setObject(TranscriptTransport::kPlaybackRateKey, PreferenceValue(percent)); }

    QTemporaryDir folder;
    Preferences preferences{folder.path()};
    TranscriptTransport transport{ad, main, player, preferences, table, highlighter};
    StepNavigation navigation{ad, main, player, transport, highlighter};
    TranscriptViewController view{table, highlighter, transport, navigation, player};
};

TEST_F(TransportTest, RatesStepBetweenOneAndTwoAndBadValuesFallBack)
{
    const struct {
        std::int64_t stored;
        bool faster;
        std::int64_t after;
    } cases[] = {
        {100, true, 150}, {150, true, 200}, {200, true, 200}, {100, false, 100},
        {200, false, 150}, {175, true, 150}, {0, false, 100}, {-50, true, 150},
    };
    for (const auto& c : cases) {
        setStoredRate(c.stored);
        c.faster ? view.playbackRateFaster() : view.playbackRateSlower();
        EXPECT_EQ(transport.ratePercent(), c.after) << c.stored << (c.faster ? " faster" : " slower");
    }
    setStoredRate(999);
    view.playPauseToggleScrollToGrid(false);
    main.drain();
    EXPECT_EQ(player.playing, 1.0);
    setStoredRate(150);
    view.playbackRateFaster();
    EXPECT_EQ(player.playing, 2.0);
}

TEST_F(TransportTest, PlayStartsAtAWordBoundary)
{
    const struct {
        const char* name;
        std::int64_t playhead;
        std::int64_t startsAt;
    } cases[] = {
        {"inside a word", 1650, 1500},
        {"in a gap: the word before it", 2700, 2000},
        {"at the end: from the top", 60000, 0},
    };
    for (const auto& c : cases) {
        player.playing = 0;
        player.milliseconds = c.playhead;
        player.seeks.clear();
        view.playPauseToggleScrollToGrid(false);
        main.drain();
        EXPECT_EQ(player.milliseconds, c.startsAt) << c.name;
        EXPECT_EQ(player.playing, 1.0) << c.name;
        ASSERT_FALSE(player.seeks.empty()) << c.name;
        EXPECT_TRUE(player.seeks.back().second) << c.name;
    }
    view.playPauseToggleScrollToGrid(false);
    EXPECT_EQ(player.playing, 0);
}

TEST_F(TransportTest, BeforeTheFirstWordPlayStartsWhereThePlayheadIs)
{
    player.milliseconds = 400;
    highlighter.highlightWordAtTime(400, true, false, false);
    ASSERT_TRUE(ad.isBeforeFirstWord);
    view.playPauseToggleScrollToGrid(false);
    main.drain();
    EXPECT_EQ(player.milliseconds, 400);
    EXPECT_EQ(player.playing, 1.0);
    EXPECT_TRUE(player.seeks.empty());
}

TEST_F(TransportTest, ToggleWithASelectionStartsAtItsFirstWord)
{
    ad.selectionWordStart = word(3);
    ad.selectionWordEnd = word(4);
    view.playPauseToggleScrollToGrid(false);
    main.drain();
    EXPECT_EQ(player.milliseconds, 3000);
    EXPECT_EQ(ad.selectionWordStart, nullptr);
    EXPECT_EQ(ad.currentWord, word(3));
    EXPECT_EQ(player.playing, 1.0);
}

TEST_F(TransportTest, ScrubsLandOnTheGridAndOneAtATime)
{
    QVOrderedSet<QVWord> words;
    for (auto [start, end] : {std::pair{1210, 1400}, {1500, 1800}}) {
        auto w = std::make_shared<QVWord>();
        w->start = start;
        w->end = end;
        words.add(w);
    }
    const std::pair<std::int64_t, std::int64_t> cases[] = {{1234, 1220}, {1450, 1220}, {1700, 1520}, {1800, 1800},
                                                           {5000, 5000}, {100, 100}};
    for (const auto& [to, lands] : cases)
        EXPECT_EQ(TranscriptTransport::scrubTarget(words, to), lands) << to;
    EXPECT_EQ(TranscriptTransport::scrubTarget({}, 1234), 1234);

    player.duration = 10;
    ad.selectionWordStart = word(0);
    transport.positionMediaFileAsProportion(0.15);
    EXPECT_TRUE(ad.isSeekingToScrubBarPosition);
    ad.selectionWordStart = word(0);
    transport.positionMediaFileAsProportion(0.5);
    EXPECT_EQ(ad.selectionWordStart, nullptr);
    ASSERT_EQ(player.seeks.size(), 1u);
    EXPECT_EQ(player.seeks[0], (std::pair<std::int64_t, bool>{1520, false}));
    main.drain();
    EXPECT_FALSE(ad.isSeekingToScrubBarPosition);
}

TEST_F(TransportTest, RewindAlwaysPlaysFromAWordStart)
{
    player.milliseconds = 6600;
    view.rewindByTime(5);
    main.drain();
    EXPECT_EQ(player.seeks.front().first, 1500);
    EXPECT_EQ(player.playing, 1.0);
}

TEST_F(TransportTest, WordSentenceAndRangeSteps)
{
    // "Hello there. Third | Ben speaks | Cleo ends."
    word(1)->setName("there.");
    highlighter.highlightWordAtTime(1000, true, false, false);
    view.moveToWordWithOffset(1);
    main.drain();
    EXPECT_EQ(player.milliseconds, 1500);
    EXPECT_TRUE(navigation.flashingButtons().contains("next_word"));
    main.advance(StepNavigation::kFlashSeconds);
    EXPECT_TRUE(navigation.flashingButtons().isEmpty());
    view.moveToWordWithOffset(-1);  // the current word is still word 0: nothing to do
    main.drain();
    EXPECT_EQ(player.seeks.size(), 1u);

    player.milliseconds = 3400;
    highlighter.highlightWordAtTime(3400, true, false, false);
    view.moveToSentenceWithOffset(-1);  // back to "Third", which follows "there."
    main.drain();
    EXPECT_EQ(player.milliseconds, 2000);
    highlighter.highlightWordAtTime(2000, true, false, false);
    player.playing = 1;
    player.milliseconds = 2500;
    view.moveToSentenceWithOffset(-1);  // inside the grace: a sentence starting at word 1 is never taken
    main.drain();
    EXPECT_EQ(player.milliseconds, 1000);

    player.playing = 0;
    highlighter.highlightWordAtTime(3000, true, false, false);
    view.moveToSpeakerRangeWithOffset(-1);  // the first word of its range: the range before
    main.drain();
    EXPECT_EQ(player.milliseconds, 1000);
    highlighter.highlightWordAtTime(3400, true, false, false);
    view.moveToSpeakerRangeWithOffset(-1);  // inside a range: its own start
    main.drain();
    EXPECT_EQ(player.milliseconds, 3000);
    view.moveToSpeakerRangeWithOffset(1);
    main.drain();
    EXPECT_EQ(player.milliseconds, 5000);
}

TEST_F(TransportTest, ButtonStatesFollowTheCurrentWord)
{
    using States = StepNavigation::ButtonStates;
    highlighter.highlightWordAtTime(1000, true, false, false);
    EXPECT_EQ(navigation.buttonStates(), (States{false, false, false, true, true, true}));
    // In the last range, with no sentence end ahead before the last word.
    highlighter.highlightWordAtTime(5000, true, false, false);
    EXPECT_EQ(navigation.buttonStates(), (States{true, true, true, true, false, false}));
    word(5)->setName("Cleo.");
    highlighter.highlightWordAtTime(5000, true, false, false);
    EXPECT_EQ(navigation.buttonStates(), (States{true, true, true, true, true, false}));
    highlighter.highlightWordAtTime(5600, true, false, false);
    EXPECT_EQ(navigation.buttonStates(), (States{true, true, true, false, false, false}));
    highlighter.highlightWordAtTime(200, true, false, false);
    EXPECT_EQ(navigation.buttonStates(), (States{false, false, false, false, false, false}));
}

}  // namespace
}  // namespace qv::transcript::testing
