#include "transcript-view/tests/TranscriptFixture.h"

#include <QScrollBar>

namespace qv::transcript::testing {
namespace {

class HighlightTest : public TranscriptFixture {
protected:
    void SetUp() override { load(shortScript()); }
    std::optional<QColor> colourAt(const std::shared_ptr<QVWord>& w)
    {
        return w->speakerRange->textView->model().temporaryForegroundAt(w->characterStart);
    }
    QColor half() const
    {
        QColor c = ad.brandColor;
        c.setAlphaF(0.5f);
        return c;
    }
};

TEST_F(HighlightTest, PlaybackWalksWordByWordThroughGaps)
{
    highlighter.highlightWordAtTime(1000, true, false, true);
    EXPECT_EQ(ad.currentWord, word(0));
    EXPECT_EQ(colourAt(word(0)), ad.brandColor);
    EXPECT_EQ(ad.currentWordEndTime, 1400);
    EXPECT_EQ(ad.nextWordStartTime, 1500);

    player.playing = 1.5;
    tick(1200);  // still inside: nothing moves
    EXPECT_EQ(ad.currentWord, word(0));
    tick(1450);  // the gap: the word dims to half and counts as heard
    EXPECT_TRUE(ad.isAfterCurrentWord);
    EXPECT_EQ(colourAt(word(0)), half());
    EXPECT_EQ(word(0)->status, 1);
    EXPECT_EQ(rowView(0)->model().attributesAt(0).foreground, ad.defaultTextColor);
    tick(1500);
    EXPECT_FALSE(ad.isAfterCurrentWord);
    EXPECT_EQ(ad.currentWord, word(1));
    EXPECT_EQ(colourAt(word(1)), ad.brandColor);
    EXPECT_FALSE(colourAt(word(0)));
    // Into the next range: the row changes and the highlight follows it.
    for (std::int64_t t : {1900, 2000, 2500, 3000})
        tick(t);
    EXPECT_EQ(ad.currentWord, word(3));
    EXPECT_EQ(ad.currentSpeakerRangeIndex, 1);
    EXPECT_EQ(ad.currentTextView, rowView(1));
    EXPECT_EQ(word(2)->status, 1);
}

TEST_F(HighlightTest, HeardMarkingNeedsPlaybackAtUpToDoubleSpeedAndOneStep)
{
    const struct {
        double rate;
        std::int64_t from;
        std::int64_t to;
        bool heard;
    } cases[] = {
        {1.0, 1000, 1500, true},   // one word on
        {1.0, 1000, 3000, false},  // a jump over words
        {0.0, 1000, 1500, false},  // paused: positioning only
        {2.0, 1000, 1500, true},
        {2.5, 1000, 1500, false},
    };
    for (const auto& c : cases) {
        word(0)->status = 0;
        player.playing = c.rate;
        highlighter.highlightWordAtTime(c.from, true, false, false);
        highlighter.highlightWordAtTime(c.to, true, false, false);
        EXPECT_EQ(word(0)->status == 1, c.heard) << c.rate << " " << c.to;
    }
}

TEST_F(HighlightTest, BeforeTheFirstWordTheMarkShowsAndTheTopComesBack)
{
    table.tableView().scrollToPoint({0, 60});
    highlighter.highlightWordAtTime(300, true, false, true);
    EXPECT_TRUE(ad.isBeforeFirstWord);
    EXPECT_EQ(ad.currentWord, nullptr);
    EXPECT_EQ(ad.currentWordIndex, -1);
    EXPECT_EQ(ad.currentWordStartTime, 0);
    EXPECT_EQ(ad.currentWordEndTime, 1000);
    EXPECT_TRUE(table.wordsCell(1, false)->preFirstWordIndicator()->isVisibleTo(table.wordsCell(1, false)));
    main.drain();
    EXPECT_EQ(table.tableView().verticalScrollBar()->value(), 0);

    highlighter.highlightWordAtTime(1000, true, false, true);
    EXPECT_FALSE(ad.isBeforeFirstWord);
    EXPECT_FALSE(table.wordsCell(1, false)->preFirstWordIndicator()->isVisibleTo(table.wordsCell(1, false)));
}

TEST_F(HighlightTest, PlayingOntoTheFirstWordEndsTheBeforeFirstWordMark)
{
    // The state an opened file is in: a word current, the position marked before the first word.
    highlighter.highlightWordAtTime(1000, true, false, true);
    ad.isBeforeFirstWord = true;
    player.playing = 1.0;
    tick(1200);
    EXPECT_FALSE(ad.isBeforeFirstWord);
    EXPECT_EQ(ad.currentWord, word(0));
    tick(1500);
    EXPECT_FALSE(ad.isBeforeFirstWord);
    EXPECT_EQ(ad.currentWord, word(1));
}

TEST_F(HighlightTest, CentringPicksTheWordBeforeAGapAndUnforcedCallsKeepASelection)
{
    highlighter.highlightWordAtTime(2700, true, true, false);
    EXPECT_EQ(ad.currentWord, word(2));
    EXPECT_FALSE(ad.isAfterCurrentWord);

    ad.selectionWordStart = word(0);
    ad.selectionWordEnd = word(1);
    player.playing = 1;
    tick(5000);
    EXPECT_EQ(ad.currentWord, word(2));
}

TEST_F(HighlightTest, AWordWithoutTextIsNeverHighlighted)
{
    word(4)->setName("");
    highlighter.highlightWordAtTime(1000, true, false, false);
    highlighter.highlightWordAtTime(3500, true, false, false);
    EXPECT_EQ(ad.currentWord, word(4));
    EXPECT_EQ(ad.currentWordStartTime, 1000);
}

TEST_F(HighlightTest, MissingPreconditionsChangeNothing)
{
    ad.isReadyToPlay = false;
    highlighter.highlightWordAtTime(1000, true, false, false);
    EXPECT_EQ(ad.currentWord, nullptr);
    ad.isReadyToPlay = true;
    ad.currentFile->hasLoadedTimecode = false;
    highlighter.highlightWordAtTime(1000, true, false, false);
    EXPECT_EQ(ad.currentWord, nullptr);
}

TEST(FollowingTest, MarginsAndCentring)
{
    const struct {
        double below;
        std::optional<double> lineLandsAt;
    } cases[] = {{60, 75}, {430, 425}, {200, std::nullopt}, {-40, 75}};
    const double top = 1000;
    for (const auto& c : cases) {
        const double y = top + c.below;
        const auto target = WordHighlighter::followTarget(y, top, 500, 25);
        ASSERT_EQ(target.has_value(), c.lineLandsAt.has_value()) << c.below;
        if (target) {
            EXPECT_EQ(y - *target, *c.lineLandsAt) << c.below;
        }
    }
    EXPECT_EQ(WordHighlighter::centringDistance(800, true), 316);
    EXPECT_EQ(WordHighlighter::centringDistance(800, false), 336);
    EXPECT_EQ(WordHighlighter::centringDistance(-1, true), -85);
}

TEST(ScrollEasingTest, CubicEaseInOut)
{
    const std::pair<float, float> cases[] = {{0, 0}, {0.25f, 100 / 16.0f}, {0.5f, 50}, {0.75f, 100 * 15 / 16.0f}, {1, 100}};
    for (const auto& [t, moved] : cases)
        EXPECT_FLOAT_EQ(QVScrollAnimation::easeInOut(t, 100), moved) << t;
}

class ScrollAnimationTest : public TranscriptFixture {};

TEST_F(ScrollAnimationTest, RunsOnTheMainQueueToTheTarget)
{
    load(evenScript(400, 20));
    ViewTable& view = table.tableView();
    view.scrollToPoint({0, 100});
    auto animation = QVScrollAnimation::animatedScrollToPoint({0, 500}, &view, main);
    EXPECT_EQ(animation->originPoint(), QPointF(0, 100));
    main.drain();
    main.advance(0.2);
    EXPECT_NEAR(view.verticalScrollBar()->value(), 300, 40);
    main.advance(0.3);
    EXPECT_EQ(view.verticalScrollBar()->value(), 500);
    EXPECT_FALSE(animation->isAnimating());

    auto detached = QVScrollAnimation::animatedScrollToPoint({0, 50}, nullptr, main);
    EXPECT_EQ(detached->originPoint(), QPointF(0, 0));
    detached->setCurrentProgress(1);
    main.advance(1);
    EXPECT_EQ(view.verticalScrollBar()->value(), 500);
}

TEST_F(ScrollAnimationTest, PlaybackFollowsTheCurrentLine)
{
    load(evenScript(600, 100, 350));
    ViewTable& view = table.tableView();
    highlighter.highlightWordAtTime(0, true, false, true);
    main.drain();
    player.playing = 1;
    for (std::int64_t t = 0; t < 200 * 400; t += 20) {
        tick(t);
        main.advance(0.02);
    }
    main.advance(1);
    const QRectF rect = word(199)->speakerRange->textView->boundingRectForRange({word(199)->characterStart, 4});
    const double y = rect.y() + 3 + view.rectOfRow(view.rowForView(word(199)->speakerRange->textView)).y() - 3;
    const double d = y - view.visibleRect().y();
    EXPECT_GE(d, 3 * 25 - 1);
    EXPECT_LE(d, view.viewport()->height() - 3 * 25);
    EXPECT_EQ(ad.currentWord, word(199));
    for (std::size_t i = 0; i < 199; ++i)
        ASSERT_EQ(word(i)->status, 1) << i;
}

}  // namespace
}  // namespace qv::transcript::testing
