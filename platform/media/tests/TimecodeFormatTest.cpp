#include "platform/media/TimecodeFormat.h"

#include <gtest/gtest.h>

#include <vector>

namespace qv {
namespace {

// A 'tmcd' description as a QuickTime writer stores it: 29.97 non-drop, quanta 30, reel REEL1.
const std::vector<std::uint8_t> kDescription = {
    0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0x75, 0x30,  0, 0, 0x03, 0xe9,  30, 0,
    0, 0, 0, 0x11,  'n', 'a', 'm', 'e',  0, 5,  0, 0,  'R', 'E', 'E', 'L', '1'};

TEST(TimecodeFormat, ReadsTheSampleDescription)
{
    auto format = TimecodeFormat::fromDescription(TimecodeFormat::kTimecode32, kDescription);
    ASSERT_TRUE(format);
    EXPECT_TRUE(isIdentical(format->frameDuration, MediaTime(1001, 30000)));
    EXPECT_EQ(format->frameQuanta, 30u);
    EXPECT_FALSE(format->isDropFrame());
    EXPECT_EQ(format->sourceName, "REEL1");

    auto dropFrame = kDescription;
    dropFrame[7] = TimecodeFormat::kDropFrame;
    EXPECT_TRUE(TimecodeFormat::fromDescription(TimecodeFormat::kTimecode32, dropFrame)->isDropFrame());
}

TEST(TimecodeFormat, BadDescriptionsAreReadWithinTheirBytes)
{
    EXPECT_FALSE(TimecodeFormat::fromDescription(TimecodeFormat::kTimecode32,
                                                 std::span(kDescription).first(17)));

    auto noRate = kDescription;
    noRate[10] = noRate[11] = 0;  // timescale 0
    EXPECT_FALSE(TimecodeFormat::fromDescription(TimecodeFormat::kTimecode32, noRate)->frameDuration.isValid());

    // A name atom that claims more bytes than the description holds gives no name.
    auto longName = kDescription;
    longName[27] = 200;
    auto format = TimecodeFormat::fromDescription(TimecodeFormat::kTimecode32, longName);
    ASSERT_TRUE(format);
    EXPECT_EQ(format->sourceName, "");
    auto cut = TimecodeFormat::fromDescription(TimecodeFormat::kTimecode32,
                                               std::span(kDescription).first(kDescription.size() - 2));
    EXPECT_EQ(cut->sourceName, "");
}

TEST(TimecodeFormat, SamplesAreBigEndianFrameNumbersOfTheSubtypesWidth)
{
    struct Case {
        std::uint32_t subtype;
        std::vector<std::uint8_t> bytes;
        std::optional<std::int64_t> frame;
    };
    const Case cases[] = {
        {TimecodeFormat::kTimecode32, {0x00, 0x01, 0xa5, 0xdf}, 107999},
        {TimecodeFormat::kTimecode32, {0xff, 0xff, 0xff, 0xfe}, -2},
        {TimecodeFormat::kTimecode32, {0x00, 0x01, 0xa5, 0xdf, 0xff}, 107999},
        {TimecodeFormat::kTimecode32, {0x00, 0x01, 0xa5}, std::nullopt},
        {TimecodeFormat::kTimecode64, {0, 0, 0, 1, 0, 0, 0, 0}, 4294967296},
        {TimecodeFormat::kTimecode64, {0xff, 0xff, 0xff, 0xff, 0xff, 0xfe, 0x5a, 0x21}, -107999},
        {TimecodeFormat::kTimecode64, {0, 0, 0, 0, 0, 0x01, 0xa5}, std::nullopt},
        {fourCC("abcd"), {0, 0, 0, 1, 0, 0, 0, 0}, std::nullopt},
    };
    for (const auto& c : cases) {
        TimecodeFormat format;
        format.subtype = c.subtype;
        EXPECT_EQ(format.frameNumberOfSample(c.bytes), c.frame) << c.bytes.size() << " bytes";
    }
}

}  // namespace
}  // namespace qv
