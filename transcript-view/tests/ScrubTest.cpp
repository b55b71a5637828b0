#include "transcript-view/QVScrubBar.h"
#include "transcript-view/QVScrubWaveforms.h"
#include "transcript-view/TranscriptTransport.h"
#include "transcript-view/tests/TranscriptFixture.h"

#include <QMouseEvent>
#include <QTemporaryDir>

namespace qv::transcript::testing {
namespace {

TEST(ScrubGeometry, PositionsClampToTheViewAndTheLineStaysInside)
{
    const struct {
        double x, width, proportion;
    } positions[] = {{-5, 200, 0}, {0, 200, 0}, {50, 200, 0.25}, {200, 200, 1}, {260, 200, 1}, {10, 0, 0}};
    for (const auto& c : positions)
        EXPECT_DOUBLE_EQ(QVScrubView::proportionAt(c.x, c.width), c.proportion) << c.x << " of " << c.width;

    const struct {
        double proportion, width, x;
    } lines[] = {{0, 100, 0}, {0.005, 100, 0}, {0.5, 100, 49}, {0.995, 100, 98}, {1, 100, 98}};
    for (const auto& c : lines)
        EXPECT_DOUBLE_EQ(QVScrubWaveforms::playheadX(c.proportion, c.width), c.x) << c.proportion;
}

// The transcript's scrub bar driving the transport and the player on a clock the test moves.
class ScrubTest : public TranscriptFixture {
protected:
    ScrubTest()
    {
        load(shortScript());
        bar.resize(200, 30);
        bar.setTarget(&transport);
        player.duration = 10;
    }
    void mouse(QEvent::Type type, double x)
    {
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(x, 15), bar.mapToGlobal(QPointF(x, 15)),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(&bar, &event);
        main.drain();
    }
    std::int64_t lastSeek() const { return player.seeks.empty() ? -1 : player.seeks.back().first; }

    QTemporaryDir folder;
    Preferences preferences{folder.path()};
    TranscriptTransport transport{ad, main, player, preferences, table, highlighter};
    QVScrubBar bar;
};

TEST_F(ScrubTest, AClickSeeksAtOnceAndADragPastTheEndsClamps)
{
    mouse(QEvent::MouseButtonPress, 50);
    // A quarter of 10 s: 2500 ms falls in the gap after "Third" (2000-2400), which it snaps to.
    EXPECT_EQ(lastSeek(), 2020);
    EXPECT_TRUE(ad.isScrubbingMedia);
    // Past the right end: the whole duration, beyond the last word, unsnapped.
    mouse(QEvent::MouseMove, 400);
    EXPECT_EQ(lastSeek(), 10000);
    mouse(QEvent::MouseMove, -30);
    EXPECT_EQ(lastSeek(), 0);
    mouse(QEvent::MouseButtonRelease, -30);
    EXPECT_FALSE(ad.isScrubbingMedia);
    EXPECT_FALSE(bar.isDragging());
    EXPECT_EQ(player.playing, 0) << "a drag begun while paused does not start playback";
}

TEST_F(ScrubTest, ADragPausesPlaybackAndResumesIt)
{
    player.playing = 1;
    mouse(QEvent::MouseButtonPress, 100);
    EXPECT_EQ(player.playing, 0);
    mouse(QEvent::MouseMove, 65);
    mouse(QEvent::MouseButtonRelease, 65);
    // Playback resumes from the start of the word under the playhead ("Ben", 3000 ms).
    EXPECT_GT(player.playing, 0);
    EXPECT_EQ(lastSeek(), 3000);
}

TEST_F(ScrubTest, ADragEndsWhenThePlayerLosesItsItemAndLeavesNoFlagRaised)
{
    player.playing = 1;
    mouse(QEvent::MouseButtonPress, 100);
    const std::size_t seeks = player.seeks.size();
    player.item = false;
    mouse(QEvent::MouseMove, 150);
    EXPECT_FALSE(ad.isScrubbingMedia);
    EXPECT_FALSE(bar.isDragging());
    EXPECT_EQ(player.seeks.size(), seeks);
    // The mouse-up that follows neither seeks nor resumes.
    mouse(QEvent::MouseButtonRelease, 150);
    EXPECT_EQ(player.playing, 0);
    // A later drag while paused does not resume the earlier one's playback either.
    player.item = true;
    mouse(QEvent::MouseButtonPress, 10);
    mouse(QEvent::MouseButtonRelease, 10);
    EXPECT_EQ(player.playing, 0);
}

TEST(ScrubDrawing, TheBarShowsThePlayedPartAndThePendingPanelsIsDarker)
{
    for (bool pending : {false, true}) {
        QVScrubBar bar;
        bar.resize(200, 30);
        bar.setIsForPendingFiles(pending);
        bar.setProportionValue(0.5f);
        const QImage image = bar.grab().toImage();
        const int barY = 30 - QVScrubBar::kBarBottomOffset - QVScrubBar::kBarHeight / 2;
        EXPECT_EQ(qGray(image.pixel(50, barY)), 230) << pending;
        EXPECT_EQ(qGray(image.pixel(150, barY)), pending ? 64 : 115) << pending;
    }
    QVScrubWaveforms waveforms;
    waveforms.resize(100, 40);
    waveforms.setProportionValue(1);
    waveforms.setIsActive(true);
    QImage image(100, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    waveforms.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(qGray(image.pixel(97, 20)), 0);
    EXPECT_EQ(qGray(image.pixel(98, 20)), 204);
    EXPECT_EQ(qGray(image.pixel(99, 20)), 204);
}

}  // namespace
}  // namespace qv::transcript::testing
