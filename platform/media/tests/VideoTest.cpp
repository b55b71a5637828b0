#include "platform/media/ImageGenerator.h"
#include "platform/media/Player.h"
#include "platform/media/SilentAudioOutput.h"
#include "platform/media/VideoFrameReader.h"
#include "platform/media/VideoView.h"

#include "TestMedia.h"

#include "platform/foundation/ManualDispatcher.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

namespace qv {
namespace {

using test::inspected;
using test::testMedia;

constexpr double kFrame = 1001.0 / 30000;  // video.mov's frame duration

double meanLevel(const VideoImage& image)
{
    double sum = 0;
    for (auto byte : image.rgb)
        sum += byte;
    return image.rgb.empty() ? 0 : sum / static_cast<double>(image.rgb.size());
}

// The still that the image generator takes at `seconds`, as the reference picture.
double referenceLevel(const Asset& asset, double seconds)
{
    auto still = ImageGenerator(asset).copyImage(MediaTime(std::llround(seconds * 30000), 30000));
    return still ? meanLevel(still.value()) : -1;
}

TEST(VideoFrameReader, GivesThePictureShowingAtTheStartThenEachInTurnAndBlackInGaps)
{
    Asset video = inspected(testMedia("video.mov"));
    auto ms = [](std::int64_t milliseconds) { return MediaTime(milliseconds, 1000); };
    Composition composition = test::compositionOf("video.mov", MediaType::Video,
                                                  {{{ms(0), ms(500)}, ms(0)}, {{ms(1000), ms(500)}, ms(1000)}});

    auto reader = VideoFrameReader::make(composition, composition.tracks().front().trackID(), 0.25);
    ASSERT_TRUE(reader);
    std::vector<VideoFrame> frames;
    while (auto frame = reader.value()->next())
        frames.push_back(std::move(*frame));
    ASSERT_FALSE(reader.value()->error());
    ASSERT_GT(frames.size(), 20u);
    EXPECT_EQ(frames.front().time, 0.25);
    EXPECT_NEAR(meanLevel(frames.front().image), referenceLevel(video, 0.25), 3);
    EXPECT_NEAR(frames.front().pixelAspect, 32.0 / 27, 1e-9);
    for (std::size_t i = 1; i < frames.size(); ++i)
        ASSERT_GT(frames[i].time, frames[i - 1].time);
    // The gap from 0.5 s to 1 s is one black picture; then the source's second second follows.
    auto black = std::find_if(frames.begin(), frames.end(), [](const VideoFrame& f) { return f.image.rgb.empty(); });
    ASSERT_NE(black, frames.end());
    EXPECT_DOUBLE_EQ(black->time, 0.5);
    ASSERT_NE(black + 1, frames.end());
    EXPECT_NEAR((black + 1)->time, 1.0, kFrame);
    EXPECT_NEAR(meanLevel((black + 1)->image), referenceLevel(video, 1.0), 3);
    EXPECT_LT(frames.back().time, 1.5);
}

TEST(Player, ShowsThePictureAtTheTimeItSeeksToAndFollowsPlayback)
{
    static int argc = 1;
    static char name[] = "media-tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance())
        new QApplication(argc, argv);
    ManualDispatcher main;
    Player player(main, std::make_unique<SilentAudioOutput>(main));
    Asset video = inspected(testMedia("video.mov"));
    player.replaceCurrentItem(PlayerItem(video));
    std::optional<bool> finished;
    player.seek(MediaTime(1500, 1000), MediaTime::zero(), MediaTime::zero(), [&](bool done) { finished = done; });
    ASSERT_TRUE(main.runUntil([&] { return finished.has_value(); }));
    ASSERT_TRUE(*finished);
    auto picture = player.videoSurface()->frameAt(player.currentTime().seconds());
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->time, 1.5);
    EXPECT_NEAR(meanLevel(picture->image), referenceLevel(video, 1.5), 3);

    VideoView view;
    view.resize(200, 200);
    view.setPlayer(&player);
    QImage shown = view.grab().toImage();
    shown.save("video-view.png");
    // 720 x 480 pixels of 32:27 show 16:9: black above and below in a square view.
    EXPECT_EQ(shown.pixelColor(100, 2), QColor(Qt::black));
    EXPECT_EQ(shown.pixelColor(100, 197), QColor(Qt::black));
    EXPECT_GT(qGray(shown.pixel(100, 100)), 100);
    EXPECT_GT(qGray(shown.pixel(100, 50)), 100);

    player.play();  // ready since the seek: it starts at once
    main.advance(0.3);
    double now = player.currentTime().seconds();
    picture = player.videoSurface()->frameAt(now);
    ASSERT_TRUE(picture);
    // How far the decoder got in the meantime is up to the machine; never past the time heard.
    EXPECT_LE(picture->time, now);
    EXPECT_GE(picture->time, 1.5);
}

TEST(VideoSurface, ShowsTheLatestPictureStartedAndHoldsTheDecoderAFewAhead)
{
    VideoSurface surface;
    EXPECT_FALSE(surface.frameAt(0));
    auto never = [] { return false; };
    for (std::size_t i = 0; i < VideoSurface::kAhead; ++i)
        ASSERT_TRUE(surface.push({static_cast<double>(i) / 10, 1.0, {}}, never));
    // Full: a push waits until told to stop.
    EXPECT_FALSE(surface.push({1.0, 1.0, {}}, [] { return true; }));
    EXPECT_EQ(surface.frameAt(-1)->time, 0.0);  // before the first: the first
    EXPECT_EQ(surface.frameAt(0.35)->time, 0.3);
    EXPECT_EQ(surface.frameAt(0.2)->time, 0.3);  // what was shown stays until a later one
    EXPECT_TRUE(surface.push({0.8, 1.0, {}}, never));
    EXPECT_EQ(surface.frameAt(5)->time, 0.8);
    surface.reset();
    EXPECT_FALSE(surface.frameAt(5));
}

}  // namespace
}  // namespace qv
