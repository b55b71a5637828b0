#include "transcript-view/StepNavigation.h"
#include "transcript-view/TranscriptTransport.h"
#include "transcript-view/tests/TranscriptFixture.h"

#include <QScrollBar>
#include <QTemporaryDir>

namespace qv::transcript::testing {
namespace {

struct OddTranscript {
    const char* name;
    std::vector<ScriptWord> script;
    // The word the playhead finds at `probe` ms when playing through; -1 for none.
    std::int64_t probe;
    int wordAtProbe;
};

void PrintTo(const OddTranscript& c, std::ostream* out) { *out << c.name; }

class BadInputTest : public TranscriptFixture, public ::testing::WithParamInterface<OddTranscript> {
protected:
    QTemporaryDir folder;
    Preferences preferences{folder.path()};
    TranscriptTransport transport{ad, main, player, preferences, table, highlighter};
    StepNavigation navigation{ad, main, player, transport, highlighter};
};

// Every odd transcript shows, scrolls end to end, plays through with the highlight never
// pointing outside the words, and takes steps and the play toggle.
TEST_P(BadInputTest, TheTranscriptShowsScrollsAndPlays)
{
    const OddTranscript& c = GetParam();
    load(c.script);
    ViewTable& view = table.tableView();
    EXPECT_EQ(view.numberOfRows(), static_cast<qsizetype>(2 * ad.speakerRanges.size()));
    for (double y = 0; y <= view.documentHeight(); y += view.viewport()->height())
        view.scrollToPoint({0, y});
    EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());

    std::int64_t last = 0;
    for (const ScriptWord& w : c.script)
        last = std::max({last, w.start, w.end});
    player.playing = 1;
    highlighter.highlightWordAtTime(0, true, false, true);
    for (std::int64_t t = 0; t <= last + 500; t += 20) {
        tick(t);
        main.advance(0.02);
        ASSERT_TRUE(!ad.currentWord || ad.words.contains(ad.currentWord)) << t;
        ASSERT_LT(ad.currentWordIndex, static_cast<std::int64_t>(ad.words.size())) << t;
        if (t == c.probe) {
            EXPECT_EQ(ad.currentWord, c.wordAtProbe < 0 ? nullptr : word(static_cast<std::size_t>(c.wordAtProbe))) << t;
        }
    }
    player.playing = 0;
    for (std::int64_t offset : {1, 1, -1, -1, -1}) {
        navigation.moveToWordWithOffset(offset);
        navigation.moveToSentenceWithOffset(offset);
        navigation.moveToSpeakerRangeWithOffset(offset);
        main.drain();
    }
    player.milliseconds = 0;
    transport.playPauseToggleScrollToGrid(false);
    main.drain();
    EXPECT_GT(player.playing, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Transcripts, BadInputTest,
    ::testing::Values(
        OddTranscript{"OneWord", {{"Only", 1000, 1400, 0}}, 1200, 0},
        OddTranscript{"WordsWithoutTimes", {{"no", 0, 0, 0}, {"times", 0, 0}, {"here", 0, 0, 1}}, 100, 2},
        OddTranscript{"UnorderedTimes",
                      {{"third", 3000, 3400, 0}, {"first", 1000, 1400}, {"second", 2000, 2400, 1}, {"zeroth", 500, 900}},
                      -1, -1},
        OddTranscript{"OverlappingTimes", {{"long", 1000, 2000, 0}, {"inside", 1500, 2500}, {"over", 1800, 1900, 1}}, 1200, 0}),
    [](const ::testing::TestParamInfo<OddTranscript>& info) { return std::string(info.param.name); });

class OddInputTest : public TranscriptFixture {
protected:
    QTemporaryDir folder;
    Preferences preferences{folder.path()};
    TranscriptTransport transport{ad, main, player, preferences, table, highlighter};
};

TEST_F(OddInputTest, AHundredThousandWordsOpenAndPlayAtTheEnd)
{
    load(evenScript(100000, 30));
    ViewTable& view = table.tableView();
    EXPECT_EQ(view.numberOfRows(), 2 * 3334);
    // A seek near the end finds the word and brings its row into view.
    player.milliseconds = 99990 * 400 + 100;
    highlighter.highlightWordAtTime(player.milliseconds, true, true, true);
    main.drain();
    EXPECT_EQ(ad.currentWord, word(99990));
    EXPECT_TRUE(view.visibleRect().intersects(view.rectOfRow(2 * 3333 + 1)));
    player.playing = 1;
    for (std::int64_t t = player.milliseconds; t < 100000 * 400; t += 20) {
        tick(t);
        main.advance(0.02);
    }
    EXPECT_EQ(ad.currentWord, word(99999));
}

TEST_F(OddInputTest, WithoutMediaTheTranscriptShowsButNothingPlays)
{
    load(shortScript());
    player.item = false;
    player.duration = 0;
    std::vector<bool> playing;
    transport.setPlayingChanged([&](bool p) { playing.push_back(p); });
    transport.playPauseToggleScrollToGrid(false);
    transport.rewindByTime(5);
    main.drain();
    EXPECT_EQ(player.playing, 0);
    EXPECT_TRUE(std::find(playing.begin(), playing.end(), true) == playing.end());
    EXPECT_EQ(table.tableView().numberOfRows(), 6);
    EXPECT_NE(rowView(2), nullptr);
}

}  // namespace
}  // namespace qv::transcript::testing
