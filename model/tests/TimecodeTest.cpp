#include "model/Timecode.h"
#include "model/TimeUtilities.h"

#include <gtest/gtest.h>

#include <limits>

using qv::MediaTime;

namespace {

SMPTETime smpte(int h, int m, int s, int f)
{
    SMPTETime t;
    t.hours = static_cast<std::int16_t>(h);
    t.minutes = static_cast<std::int16_t>(m);
    t.seconds = static_cast<std::int16_t>(s);
    t.frames = static_cast<std::int16_t>(f);
    t.flags = kSMPTETimeValid;
    return t;
}

QString label(const SMPTETime& t)
{
    return QString::asprintf("%02hd:%02hd:%02hd:%02hd", t.hours, t.minutes, t.seconds, t.frames);
}

TEST(SMPTE, KnownDropFrameLabels)
{
    struct Case {
        std::int64_t frame;
        std::int32_t quanta;
        const char* text;
    };
    const Case cases[] = {
        {0, 30, "00:00:00:00"},      {1799, 30, "00:00:59:29"},   {1800, 30, "00:01:00:02"},
        {17981, 30, "00:09:59:29"},  {17982, 30, "00:10:00:00"},  {107892, 30, "01:00:00:00"},
        {3599, 60, "00:00:59:59"},   {3600, 60, "00:01:00:04"},   {35964, 60, "00:10:00:00"},
        {215784, 60, "01:00:00:00"},
    };
    for (const Case& c : cases) {
        const SMPTETime t = smpteTimeFromFrameNumber(c.frame, c.quanta, kTimecodeFlagDropFrame);
        EXPECT_EQ(label(t), QString::fromLatin1(c.text)) << c.frame << " at " << c.quanta;
        EXPECT_EQ(t.flags, kSMPTETimeValid);
        EXPECT_EQ(frameNumberFromSMPTETime(static_cast<std::uint32_t>(c.quanta), kTimecodeFlagDropFrame, t), c.frame);
    }
}

TEST(SMPTE, EveryFrameOfTwentyMinutesRoundTrips)
{
    for (std::int32_t quanta : {24, 25, 30, 48, 50, 60}) {
        for (std::uint32_t flags : {0u, kTimecodeFlagDropFrame}) {
            if (flags && quanta != 30 && quanta != 60)
                continue;
            for (std::int64_t frame = 0; frame < quanta * 60 * 20; ++frame) {
                const SMPTETime t = smpteTimeFromFrameNumber(frame, quanta, flags);
                ASSERT_EQ(frameNumberFromSMPTETime(static_cast<std::uint32_t>(quanta), flags, t), frame)
                    << quanta << " " << flags;
            }
        }
    }
}

TEST(SMPTE, SkippedDropFrameLabelsMapToTheFrameBeforeTheMinute)
{
    EXPECT_EQ(frameNumberFromSMPTETime(30, kTimecodeFlagDropFrame, smpte(0, 1, 0, 0)), 1799);
    EXPECT_EQ(frameNumberFromSMPTETime(30, kTimecodeFlagDropFrame, smpte(0, 1, 0, 1)), 1799);
    EXPECT_EQ(frameNumberFromSMPTETime(30, kTimecodeFlagDropFrame, smpte(0, 10, 0, 0)), 17982);
}

TEST(SMPTE, NegativeFramesAreMarkedInTheMinutes)
{
    const SMPTETime t = smpteTimeFromFrameNumber(-30 * 61 - 5, 30, 0);
    EXPECT_EQ(t.hours, 0);
    EXPECT_EQ(t.minutes, 0x80 | 1);
    EXPECT_EQ(t.seconds, 1);
    EXPECT_EQ(t.frames, 5);
    EXPECT_EQ(frameNumberFromSMPTETime(30, 0, t), -30 * 61 - 5);
}

TEST(SMPTE, HoursAreNotReducedAndBadQuantaGivesAnInvalidRecord)
{
    EXPECT_EQ(smpteTimeFromFrameNumber(25LL * 3600 * 25, 25, 0).hours, 25);
    EXPECT_EQ(smpteTimeFromFrameNumber(100, 0, 0).flags, 0u);
    EXPECT_EQ(smpteTimeFromFrameNumber(100, 65535, 0).flags, 0u);
    EXPECT_EQ(frameNumberFromSMPTETime(0, kTimecodeFlagDropFrame, smpte(0, 1, 0, 5)), 5);
    // Drop-frame labels of a count near the 64-bit limit would pass it: no record, no overflow.
    EXPECT_EQ(smpteTimeFromFrameNumber(std::numeric_limits<std::int64_t>::max(), 30, kTimecodeFlagDropFrame).flags, 0u);
    EXPECT_EQ(smpteTimeFromFrameNumber(std::numeric_limits<std::int64_t>::max(), 30, 0).flags, kSMPTETimeValid);
}

struct RateCase {
    const char* rate;
    MediaTime frameDuration;
    std::uint32_t quanta;
    bool drop;
    const char* atOneHour;  // text of one hour of media from a start of 00:00:00:00
};

TEST(TimecodeText, EachFrameRateAtOneHourOfMedia)
{
    const RateCase cases[] = {
        {"23.976", MediaTime(1001, 24000), 24, false, "00:59:56:09"},
        {"24", MediaTime(1, 24), 24, false, "01:00:00:00"},
        {"25", MediaTime(1, 25), 25, false, "01:00:00:00"},
        {"29.97DF", MediaTime(1001, 30000), 30, true, "01:00:00;00"},
        {"29.97NDF", MediaTime(1001, 30000), 30, false, "00:59:56:12"},
        {"30", MediaTime(1, 30), 30, false, "01:00:00:00"},
        {"47.952", MediaTime(1001, 48000), 48, false, "00:59:56:19"},
        {"48", MediaTime(100, 4800), 48, false, "01:00:00:00"},
        {"50", MediaTime(1, 50), 50, false, "01:00:00:00"},
        {"59.94DF", MediaTime(1001, 60000), 60, true, "01:00:00;00"},
        {"59.94NDF", MediaTime(1001, 60000), 60, false, "00:59:56:24"},
        {"60", MediaTime(1, 60), 60, false, "01:00:00:00"},
    };
    const MediaTime hour(3600 * 600, 600);
    for (const RateCase& c : cases) {
        EXPECT_EQ(frameQuantaFromFrameDuration(c.frameDuration), c.quanta) << c.rate;
        EXPECT_EQ(timecodeFromCMTime(hour, c.frameDuration, c.quanta, c.drop, MediaTime(0, 600), true),
                  QString::fromLatin1(c.atOneHour))
            << c.rate;
        // Without the semicolon flag drop-frame labels keep the colon form.
        EXPECT_EQ(timecodeFromCMTime(hour, c.frameDuration, c.quanta, c.drop, MediaTime::invalid(), false),
                  QString::fromLatin1(c.atOneHour).replace(u';', u':'))
            << c.rate;
    }
}

TEST(TimecodeText, StartTimecodePlaceholderAndWrapping)
{
    const MediaTime frame25(1, 25);
    EXPECT_EQ(timecodeFromCMTime(MediaTime(1, 1), frame25, 25, false, MediaTime(36000, 1), false), u"10:00:01:00");
    EXPECT_EQ(timecodeFromCMTime(MediaTime(6006, 100), MediaTime(1001, 30000), 30, true, MediaTime::zero(), true),
              u"00:01:00;02");
    EXPECT_EQ(timecodeFromCMTime(MediaTime(2 * 3600, 1), frame25, 25, false, MediaTime(23 * 3600, 1), false),
              u"01:00:00:00");
    EXPECT_EQ(timecodeFromCMTime(MediaTime(1, 1), frame25, 0, false, MediaTime::zero(), true), u"--:--:--:--");
    EXPECT_EQ(timecodeFromCMTime(MediaTime(1, 1), frame25, 0, true, MediaTime::zero(), true), u"--:--:--;--");
    EXPECT_EQ(timecodeFromCMTime(MediaTime(1, 1), frame25, 0, true, MediaTime::zero(), false), u"--:--:--:--");
    // A frame duration of zero length gives no frame number rather than a division by zero, and
    // so does the one quotient that overflows.
    EXPECT_EQ(timecodeFromCMTime(MediaTime(1, 1), MediaTime(0, 25), 25, false, MediaTime::zero(), false), u"");
    EXPECT_EQ(timecodeFromCMTime(MediaTime(std::numeric_limits<std::int64_t>::min(), 25), MediaTime(-1, 25), 25, false,
                                 MediaTime::invalid(), false),
              u"");
}

TEST(TimecodeText, ClockTextInTimecode)
{
    const TimecodeParameters p{MediaTime(36000, 1), MediaTime(1, 25), 25, false};
    EXPECT_EQ(timecodeClockText(MediaTime(3723, 1), p), u"11:02:03");
    EXPECT_EQ(timecodeClockText(MediaTime(1, 1), TimecodeParameters{}), u"--:--:--");
}

}  // namespace
