// Frame-rate codes and the editor's format names, and the picture a video track describes.
#include "fcpx/FCPXFormat.h"
#include "platform/media/AssetTrack.h"

#include <gtest/gtest.h>

namespace {

TEST(FCPXFormat, FrameRateCodesTakeOpenIntervalsAndDefaultTo30)
{
    const struct {
        float fps;
        std::int64_t code;
    } cases[] = {
        {23.976f, 2398}, {23.98f, 2398}, {23.97f, 30}, {23.99f, 30}, {24.01f, 30},
        {24.0f, 24}, {25.0f, 25}, {29.97f, 2997}, {29.96f, 30}, {30.0f, 30},
        {48.0f, 30}, {50.0f, 50}, {59.94f, 5994}, {60.0f, 60}, {0.0f, 30}, {-25.0f, 30},
    };
    for (const auto& c : cases)
        EXPECT_EQ(convertFps(c.fps), c.code) << c.fps;
}

TEST(FCPXFormat, FormatNamesFollowSizeFlagsAndAcceptedCodes)
{
    const struct {
        std::int64_t width, height, code;
        bool dv, interlaced, widescreen;
        const char* name;
    } cases[] = {
        {1920, 1080, 2398, false, false, false, "FFVideoFormat1080p2398"},
        {1920, 1080, 2997, false, true, false, "FFVideoFormat1080i5994"},
        {1920, 1080, 25, false, true, false, "FFVideoFormat1080i50"},
        {1920, 1080, 24, false, true, false, "FFVideoFormatRateUndefined"},
        {1280, 720, 5994, false, false, false, "FFVideoFormat720p5994"},
        {720, 480, 2997, true, false, true, "FFVideoFormatDV720x480p2997_16x9"},
        {720, 480, 2997, true, true, false, "FFVideoFormatDV720x480i5994"},
        {720, 480, 25, true, true, false, "FFVideoFormatRateUndefined"},
        {720, 480, 30, true, false, false, "FFVideoFormatRateUndefined"},
        {720, 486, 2398, false, false, true, "FFVideoFormat720x486p2398_16x9"},
        {720, 576, 25, true, true, true, "FFVideoFormatDV720x576i50_16x9"},
        {720, 576, 25, false, false, false, "FFVideoFormat720x576p25"},
        {720, 576, 2997, false, true, false, "FFVideoFormatRateUndefined"},
        {640, 360, 2997, false, false, false, "FFVideoFormat640x360p2997"},
        {640, 360, 25, false, false, false, "FFVideoFormatRateUndefined"},
        {640, 480, 50, false, false, false, "FFVideoFormatRateUndefined"},
        {960, 540, 30, false, false, false, "FFVideoFormat960x540p30"},
        {1440, 1080, 2997, false, true, false, "FFVideoFormat1440x1080i5994"},
        {1280, 1080, 60, false, false, false, "FFVideoFormat1280x1080p60"},
        {3840, 2160, 2398, false, false, false, "FFVideoFormat3840x2160p2398"},
        {4096, 3112, 24, false, false, false, "FFVideoFormat4096x3112p24"},
        {3840, 2160, 2398, false, true, false, "FFVideoFormatRateUndefined"},
        {1920, 1000, 25, false, false, false, "FFVideoFormatRateUndefined"},
        {1280, 720, 25, true, false, false, "FFVideoFormatRateUndefined"},
        {0, 0, 0, false, false, false, "FFVideoFormatRateUndefined"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(getVideoFormatNameForWidth(c.width, c.height, c.code, c.dv, c.interlaced, c.widescreen), c.name)
            << c.width << "x" << c.height << " " << c.code;
}

TEST(FCPXFormat, PictureOfAVideoTrack)
{
    qv::VideoTrackFormat anamorphic{720, 480, 853, 480, 29.97, 1, "h264"};
    const PictureDescription wide = pictureDescriptionOfVideo(anamorphic);
    EXPECT_TRUE(wide.isDV);  // every 720x480 picture counts as DV
    EXPECT_TRUE(wide.isWidescreenSD);
    EXPECT_FALSE(wide.isInterlaced);
    EXPECT_EQ(getVideoFormatNameForWidth(wide.width, wide.height, wide.frameRateCode, wide.isDV, wide.isInterlaced,
                                         wide.isWidescreenSD),
              "FFVideoFormatDV720x480p2997_16x9");

    qv::VideoTrackFormat palDV{720, 576, 1024, 576, 25.0, 2, "dvvideo"};
    const PictureDescription pal = pictureDescriptionOfVideo(palDV);
    EXPECT_TRUE(pal.isDV && pal.isInterlaced && pal.isWidescreenSD);
    EXPECT_EQ(pal.frameRateCode, 25);

    // The high-definition variants of DV are not DV pictures; wide pixels outside SD are not
    // widescreen SD.
    qv::VideoTrackFormat hdDV{1440, 1080, 1920, 1080, 29.97, 2, "dvvideo"};
    const PictureDescription hd = pictureDescriptionOfVideo(hdDV);
    EXPECT_FALSE(hd.isDV);
    EXPECT_FALSE(hd.isWidescreenSD);
    EXPECT_EQ(getVideoFormatNameForWidth(hd.width, hd.height, hd.frameRateCode, hd.isDV, hd.isInterlaced,
                                         hd.isWidescreenSD),
              "FFVideoFormat1440x1080i5994");

    // A track whose size is unknown cannot be widescreen (no division by a zero height).
    qv::VideoTrackFormat unknown{720, 576, 0, 0, 0, 1, "mpeg2video"};
    EXPECT_FALSE(pictureDescriptionOfVideo(unknown).isWidescreenSD);
}

}  // namespace
