#include "platform/media/MediaTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace qv {
namespace {

constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

TEST(MediaTime, ZeroIsValidAndInvalidIsAllZero)
{
    MediaTime zero = MediaTime::zero();
    EXPECT_TRUE(zero.isValid());
    EXPECT_EQ(zero.value, 0);
    EXPECT_EQ(zero.timescale, 1);
    MediaTime invalid = MediaTime::invalid();
    EXPECT_FALSE(invalid.isValid());
    EXPECT_EQ(invalid.value, 0);
    EXPECT_EQ(invalid.timescale, 0);
    EXPECT_EQ(invalid.flags, 0u);
    EXPECT_EQ(invalid.epoch, 0);
    EXPECT_FALSE(MediaTime(5, 0).isValid());
}

TEST(MediaTime, FractionsAreNeverReduced)
{
    MediaTime sum = MediaTime(1000, 1000) + MediaTime(500, 1000);
    EXPECT_EQ(sum.value, 1500);
    EXPECT_EQ(sum.timescale, 1000);
    MediaTime difference = MediaTime(3000, 1000) - MediaTime(1500, 1000);
    EXPECT_EQ(difference.value, 1500);
    EXPECT_EQ(difference.timescale, 1000);
    EXPECT_TRUE(MediaTime(1500, 1000) == MediaTime(3, 2));
    EXPECT_FALSE(isIdentical(MediaTime(1500, 1000), MediaTime(3, 2)));
}

TEST(MediaTime, DifferentTimescalesAddInTheirLeastCommonMultiple)
{
    struct Case {
        MediaTime a, b;
        std::int64_t value;
        std::int32_t timescale;
    };
    const Case cases[] = {
        {MediaTime(1, 30), MediaTime(1, 25), 11, 150},
        {MediaTime(1001, 30000), MediaTime(1, 1000), 1031, 30000},
        {MediaTime(3600, 1), MediaTime(-1, 48000), 3600 * 48000 - 1, 48000},
        {MediaTime(0, 1), MediaTime(107999, 30), 107999, 30},
    };
    for (const auto& c : cases) {
        MediaTime sum = c.a + c.b;
        EXPECT_EQ(sum.value, c.value) << c.a.value << "/" << c.a.timescale;
        EXPECT_EQ(sum.timescale, c.timescale);
        EXPECT_EQ(sum.flags & MediaTime::HasBeenRounded, 0u);
    }
}

TEST(MediaTime, SumBeyondTheTimescaleCapIsRounded)
{
    // Two large primes: their least common multiple is far above the cap.
    MediaTime sum = MediaTime(1, 999999937) + MediaTime(1, 999999929);
    EXPECT_EQ(sum.timescale, MediaTime::kMaxTimescale);
    EXPECT_EQ(sum.value, 2);
    EXPECT_NE(sum.flags & MediaTime::HasBeenRounded, 0u);
}

TEST(MediaTime, OverflowHalvesTheTimescaleThenGivesInfinity)
{
    MediaTime half(kInt64Max - 1, 2);
    MediaTime sum = half + half;
    EXPECT_EQ(sum.timescale, 1);
    EXPECT_EQ(sum.value, kInt64Max - 1);
    EXPECT_TRUE((MediaTime(kInt64Max, 1) + MediaTime(1, 1)).isPositiveInfinity());
    EXPECT_TRUE((MediaTime(-kInt64Max, 1) - MediaTime(2, 1)).isNegativeInfinity());
}

TEST(MediaTime, SpecialValuesInArithmetic)
{
    MediaTime one(1, 1);
    EXPECT_FALSE((MediaTime::invalid() + one).isValid());
    EXPECT_FALSE((one - MediaTime::invalid()).isValid());
    EXPECT_TRUE((MediaTime::positiveInfinity() + one).isPositiveInfinity());
    EXPECT_TRUE((one - MediaTime::positiveInfinity()).isNegativeInfinity());
    EXPECT_FALSE((MediaTime::positiveInfinity() + MediaTime::negativeInfinity()).isValid());
    EXPECT_TRUE((MediaTime::indefinite() + one).isIndefinite());
}

// The raw parts of a time as another program may have stored them.
MediaTime rawTime(std::int64_t value, std::int32_t timescale, std::uint32_t flags)
{
    MediaTime time;
    time.value = value;
    time.timescale = timescale;
    time.flags = flags;
    return time;
}

TEST(MediaTime, ValidFlagWithoutAPositiveTimescaleIsInvalidNotADivisionByZero)
{
    const MediaTime one(1, 30);
    for (std::int32_t timescale : {0, -1, -30000}) {
        MediaTime broken = rawTime(5, timescale, MediaTime::Valid);
        EXPECT_FALSE(broken.isValid()) << timescale;
        EXPECT_FALSE(broken.isNumeric()) << timescale;
        EXPECT_FALSE((broken + one).isValid()) << timescale;
        EXPECT_FALSE((one - broken).isValid()) << timescale;
        EXPECT_FALSE(broken.convertScale(1000, RoundingMethod::TowardZero).isValid()) << timescale;
        EXPECT_TRUE(std::isnan(broken.seconds())) << timescale;
        EXPECT_EQ(MediaTime::compare(broken, MediaTime::invalid()), 0) << timescale;
    }
    // Infinities are stored with timescale 0 and stay what they are.
    MediaTime storedInfinity = rawTime(0, 0, MediaTime::Valid | MediaTime::PositiveInfinity);
    EXPECT_TRUE(storedInfinity.isPositiveInfinity());
    EXPECT_TRUE((storedInfinity + one).isPositiveInfinity());
}

TEST(MediaTime, ConvertScaleRoundsAsAsked)
{
    struct Case {
        MediaTime time;
        std::int32_t timescale;
        std::int64_t towardZero;
        std::int64_t halfAway;
    };
    const Case cases[] = {
        {MediaTime(2, 3), 1000, 666, 667},
        {MediaTime(-2, 3), 1000, -666, -667},
        {MediaTime(1001, 30000), 1000, 33, 33},
        {MediaTime(107999, 30), 1000, 3599966, 3599967},
        {MediaTime(1500, 1000), 1000, 1500, 1500},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.time.convertScale(c.timescale, RoundingMethod::TowardZero).value, c.towardZero)
            << c.time.value << "/" << c.time.timescale;
        EXPECT_EQ(c.time.convertScale(c.timescale).value, c.halfAway) << c.time.value << "/" << c.time.timescale;
    }
    EXPECT_FALSE(MediaTime::invalid().convertScale(1000).isValid());
    EXPECT_TRUE(MediaTime(kInt64Max, 1).convertScale(1000).isPositiveInfinity());
}

TEST(MediaTime, CompareOrdersSpecialValues)
{
    const MediaTime ascending[] = {
        MediaTime::negativeInfinity(), MediaTime(-1, 1), MediaTime::zero(), MediaTime(1001, 30000),
        MediaTime(1, 1),  MediaTime::positiveInfinity(), MediaTime::indefinite(), MediaTime::invalid(),
    };
    for (std::size_t i = 0; i + 1 < std::size(ascending); ++i) {
        EXPECT_LT(MediaTime::compare(ascending[i], ascending[i + 1]), 0) << i;
        EXPECT_GT(MediaTime::compare(ascending[i + 1], ascending[i]), 0) << i;
    }
    EXPECT_EQ(MediaTime::compare(MediaTime::invalid(), MediaTime::invalid()), 0);
    MediaTime laterEpoch(0, 1);
    laterEpoch.epoch = 1;
    EXPECT_LT(MediaTime(100, 1), laterEpoch);
}

TEST(MediaTime, Seconds)
{
    EXPECT_DOUBLE_EQ(MediaTime(1500, 1000).seconds(), 1.5);
    EXPECT_DOUBLE_EQ(MediaTime(-3000, 1000).seconds(), -3.0);
    EXPECT_TRUE(std::isnan(MediaTime::invalid().seconds()));
    EXPECT_TRUE(std::isinf(MediaTime::positiveInfinity().seconds()));
}

TEST(MediaTimeRange, Containment)
{
    MediaTimeRange range{MediaTime(1, 1), MediaTime(2, 1)};
    EXPECT_TRUE(range.containsTime(MediaTime(1, 1)));
    EXPECT_FALSE(range.containsTime(MediaTime(3, 1)));
    EXPECT_TRUE(range.containsTimeRange({MediaTime(1500, 1000), MediaTime(1500, 1000)}));
    EXPECT_FALSE(range.containsTimeRange({MediaTime(1500, 1000), MediaTime(1501, 1000)}));
    EXPECT_FALSE((MediaTimeRange{MediaTime(0, 1), MediaTime(-1, 1)}).isValid());
    EXPECT_TRUE(isIdentical(MediaTimeRange::fromStartEnd(MediaTime(1, 2), MediaTime(3, 2)).duration, MediaTime(2, 2)));
}

}  // namespace
}  // namespace qv
