#include "model/TimeUtilities.h"

#include <gtest/gtest.h>

#include <limits>

using qv::MediaTime;

namespace {

TEST(Milliseconds, SnapToTheTwentyMillisecondGrid)
{
    const std::pair<std::int64_t, std::int64_t> cases[] = {
        {0, 0}, {20, 20}, {-40, -40}, {1, 20}, {19, 20}, {21, 40}, {39, 40}, {-30, -20}, {-1, 0}, {-19, 0},
        // A stored position at the ends of the range stays on the grid instead of overflowing.
        {std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::max() - 7},
        {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::min() + 8},
    };
    for (auto [in, out] : cases)
        EXPECT_EQ(snapMillisecondsToGrid(in), out) << in;
}

TEST(Milliseconds, ConvertRoundsTowardZero)
{
    const std::pair<MediaTime, std::int64_t> cases[] = {
        {MediaTime(1001, 30000), 33},  {MediaTime(-1001, 30000), -33}, {MediaTime(3, 2), 1500},
        {MediaTime(1999, 1000), 1999}, {MediaTime::invalid(), 0},      {MediaTime(7, 0), 0},
        {MediaTime::positiveInfinity(), 0},
    };
    for (auto [time, ms] : cases)
        EXPECT_EQ(convertCMTimeToMilliseconds(time), ms) << time.value << "/" << time.timescale;
}

TEST(RationalStrings, WrittenUnreduced)
{
    const std::pair<MediaTime, const char*> cases[] = {
        {MediaTime::invalid(), "0s"},     {MediaTime(0, 600), "0s"},          {MediaTime(60000, 1000), "60s"},
        {MediaTime(6000, 600), "10s"},    {MediaTime(1001, 30000), "1001/30000s"},
        {MediaTime(1500, 1000), "1500/1000s"}, {MediaTime(-3000, 1000), "-3s"}, {MediaTime(5, 0), "5/0s"},
    };
    for (auto [time, text] : cases)
        EXPECT_EQ(convertToStringTime(time), QString::fromLatin1(text));
}

TEST(RationalStrings, Read)
{
    struct Case {
        QString text;
        std::int64_t value;
        std::int32_t timescale;
    };
    const Case cases[] = {
        {"0s", 0, 1},
        {"30s", 30, 1},
        {"1001/30000s", 1001, 30000},
        {"1500/1000s", 1500, 1000},
        {"-3s", -3, 1},
        {" 7x/25s", 7, 25},
        {"s", 0, 1},
        {"1/2/3s", 1, 3},
        {"", 0, 0},
        {QString(), 0, 0},
        {"99999999999999999999999s", std::numeric_limits<std::int64_t>::max(), 1},
    };
    for (const Case& c : cases) {
        const MediaTime t = convertTimestringToCMTime(c.text);
        EXPECT_EQ(t.value, c.value) << c.text.toStdString();
        EXPECT_EQ(t.timescale, c.timescale) << c.text.toStdString();
    }
    EXPECT_TRUE(convertTimestringToCMTime("0s").isValid());
    EXPECT_FALSE(convertTimestringToCMTime("").isValid());
}

TEST(RationalStrings, RoundTrip)
{
    for (MediaTime t : {MediaTime(1001, 30000), MediaTime(1500, 1000), MediaTime(-7, 3), MediaTime(86400, 1)}) {
        const MediaTime back = convertTimestringToCMTime(convertToStringTime(t));
        EXPECT_EQ(back, t);
    }
}

TEST(DurationTexts, Table)
{
    const std::pair<std::int64_t, const char*> hms[] = {
        {0, "0s"}, {5000, "5s"}, {59'999, "59s"}, {60'000, "1m 00s"}, {185'000, "3m 05s"},
        {3'599'999, "59m 59s"}, {3'600'000, "1h 00m 00s"}, {3'785'000, "1h 03m 05s"}, {90'000'000, "25h 00m 00s"},
    };
    for (auto [ms, text] : hms)
        EXPECT_EQ(timeAsHMSTextFromMilliseconds(ms), QString::fromLatin1(text)) << ms;

    const std::pair<std::int64_t, const char*> subrip[] = {
        {0, "00:00:00,000"}, {3'723'045, "01:02:03,045"}, {86'399'999, "23:59:59,999"},
        {86'400'000, "00:00:00,000"}, {90'000'000, "01:00:00,000"},
    };
    for (auto [ms, text] : subrip)
        EXPECT_EQ(timeAsHMSMsTextFromMilliseconds(ms), QString::fromLatin1(text)) << ms;

    EXPECT_EQ(timeAsHMTextFromMinutes(45), u"45m");
    EXPECT_EQ(timeAsHMTextFromMinutes(60), u"1h 00m");
    EXPECT_EQ(timeAsHMTextFromMinutes(125), u"2h 05m");
    EXPECT_EQ(timeAsMSTextFromSeconds(185), u"3:05");
    EXPECT_EQ(timeAsMSTextFromSeconds(5), u"0:05");
}

TEST(ClockText, WholeSecondsModuloADay)
{
    EXPECT_EQ(clockTextFromCMTime(MediaTime(3723, 1)), u"01:02:03");
    EXPECT_EQ(clockTextFromCMTime(MediaTime(25 * 3600 * 600 + 599, 600)), u"01:00:00");
    EXPECT_EQ(clockTextFromCMTime(MediaTime(100, 0)), u"00:00:00");
}

}  // namespace
