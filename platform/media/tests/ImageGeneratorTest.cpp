#include "platform/media/ImageGenerator.h"

#include "TestMedia.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <limits>
#include <sys/resource.h>

namespace qv {
namespace {

using test::inspected;
using test::testMedia;

int centreBrightness(const VideoImage& image)
{
    std::size_t pixel = (static_cast<std::size_t>(image.height / 2) * image.width + image.width / 2) * 3;
    return (image.rgb[pixel] + image.rgb[pixel + 1] + image.rgb[pixel + 2]) / 3;
}

// A composition's frames are its sources' at their offsets, and black where nothing plays.
TEST(ImageGenerator, TakesFramesOfACompositionAndBlackInItsGaps)
{
    ImageGenerator source(inspected(testMedia("video.mov")));
    ImageGenerator composed(test::compositionOf(
        "video.mov", MediaType::Video, {{{MediaTime(1000, 1000), MediaTime(500, 1000)}, MediaTime(500, 1000)}}));
    auto placed = composed.copyImage(MediaTime(600, 1000));
    ASSERT_TRUE(placed) << placed.error().description;
    EXPECT_EQ(placed->width, 320);
    EXPECT_EQ(placed->height, 180);
    EXPECT_NEAR(centreBrightness(placed.value()), centreBrightness(source.copyImage(MediaTime(1100, 1000)).value()), 3);
    // A time of another epoch (as a stored one may be) is taken by its value.
    MediaTime otherEpoch(600, 1000);
    otherEpoch.epoch = 1;
    auto placedAgain = composed.copyImage(otherEpoch);
    ASSERT_TRUE(placedAgain) << placedAgain.error().description;
    EXPECT_EQ(centreBrightness(placedAgain.value()), centreBrightness(placed.value()));
    auto gap = composed.copyImage(MediaTime(200, 1000));
    ASSERT_TRUE(gap);
    EXPECT_EQ(gap->width, 320);
    EXPECT_EQ(centreBrightness(gap.value()), 0);
}

TEST(ImageGenerator, FrameAtATimeFitsTheThumbnailSizeWithItsDisplayAspect)
{
    // video.mov is 720x480 with 32:27 pixels (853x480 on screen); its luma rises 100 a second,
    // so the frame shown at 0.5 s (started at 0.467 s) is about 36 in RGB and the one at 1.5 s
    // about 152.
    ImageGenerator generator(inspected(testMedia("video.mov")));
    auto early = generator.copyImage(MediaTime(500, 1000));
    ASSERT_TRUE(early) << early.error().description << " " << early.error().failureReason;
    EXPECT_EQ(early->width, 320);
    EXPECT_EQ(early->height, 180);
    auto late = generator.copyImage(MediaTime(3, 2));
    ASSERT_TRUE(late);
    EXPECT_NEAR(centreBrightness(early.value()), 36, 6);
    EXPECT_NEAR(centreBrightness(late.value()), 152, 6);
    // Far past the end, the last frame is the one shown.
    auto past = generator.copyImage(MediaTime(std::numeric_limits<std::int64_t>::max(), 1));
    ASSERT_TRUE(past);
    EXPECT_GT(centreBrightness(past.value()), centreBrightness(late.value()) + 20);

    generator.setMaximumSize(0, 0);
    auto full = generator.copyImage(MediaTime::zero());
    ASSERT_TRUE(full);
    EXPECT_EQ(full->width, 853);
    EXPECT_EQ(full->height, 480);
}

TEST(ImageGenerator, WritesJpeg)
{
    ImageGenerator generator(inspected(testMedia("video.mov")));
    auto image = generator.copyImage(MediaTime(1, 1));
    ASSERT_TRUE(image);
    std::string path = test::scratchFolder() + "/thumb.jpg";
    ASSERT_FALSE(writeJpeg(image.value(), path));
    auto bytes = test::readFile(path);
    ASSERT_GT(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
    auto reread = Asset::inspect(path);
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->tracksWithMediaType(MediaType::Video).at(0).video->encodedWidth, 320);

    auto unwritable = writeJpeg(image.value(), test::scratchFolder() + "/no/such/folder.jpg");
    ASSERT_TRUE(unwritable);
    EXPECT_TRUE(unwritable->is(MediaErrorCode::WriteFailed));

    // A write cut short (here by a file size limit, as by a full disk) leaves no file behind.
    std::string cut = test::scratchFolder() + "/cut.jpg";
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previousLimit{};
    getrlimit(RLIMIT_FSIZE, &previousLimit);
    rlimit small = previousLimit;
    small.rlim_cur = 100;
    setrlimit(RLIMIT_FSIZE, &small);
    auto cutShort = writeJpeg(image.value(), cut);
    setrlimit(RLIMIT_FSIZE, &previousLimit);
    std::signal(SIGXFSZ, previousHandler);
    ASSERT_TRUE(cutShort);
    EXPECT_TRUE(cutShort->is(MediaErrorCode::WriteFailed));
    EXPECT_FALSE(std::filesystem::exists(cut));
    EXPECT_FALSE(std::filesystem::exists(cut + ".partial"));
}

TEST(ImageGenerator, UndecodableVideoIsToldApartFromOtherErrors)
{
    // The same movie with the video's codec code changed to one no decoder knows.
    auto bytes = test::readFile(testMedia("video.mov"));
    const std::string code = "apco";  // ProRes proxy
    auto at = std::search(bytes.begin(), bytes.end(), code.begin(), code.end());
    ASSERT_NE(at, bytes.end());
    std::copy_n("qvzz", 4, at);
    std::string undecodable = test::writeScratchFile("undecodable.mov", bytes);
    auto failed = ImageGenerator(inspected(undecodable)).copyImage(MediaTime(1, 1));
    ASSERT_FALSE(failed);
    EXPECT_TRUE(failed.error().is(MediaErrorCode::DecodeFailed));
    EXPECT_NE(failed.error().description.find("undecodable.mov"), std::string::npos);

    auto audioOnly = ImageGenerator(inspected(testMedia("tone.wav"))).copyImage(MediaTime(1, 1));
    ASSERT_FALSE(audioOnly);
    EXPECT_TRUE(audioOnly.error().is(MediaErrorCode::NoVideoTrack));

    std::string copy = test::writeScratchFile("moved.mov", test::readFile(testMedia("video.mov")));
    Asset moved = inspected(copy);
    std::filesystem::remove(copy);
    auto missing = ImageGenerator(moved).copyImage(MediaTime(1, 1));
    ASSERT_FALSE(missing);
    EXPECT_TRUE(missing.error().is(MediaErrorCode::FileNotFound));
}

}  // namespace
}  // namespace qv
