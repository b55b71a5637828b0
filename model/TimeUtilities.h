// Conversions between transcript times (signed 64-bit milliseconds), rational media times and
// their texts: the stored rational strings, clock, duration and SubRip texts, and SMPTE
// timecode texts from explicit timecode parameters.
#pragma once

#include "platform/media/MediaTime.h"

#include <QString>

#include <cstdint>
#include <optional>

// Grid that positions are snapped to, ms.
inline constexpr std::int64_t kMillisecondGrid = 20;

// The time at timescale 1000, rounded toward zero; 0 for a time that is not a number.
std::int64_t convertCMTimeToMilliseconds(const qv::MediaTime& time);
// `ms` moved up (toward positive infinity) onto the 20 ms grid: 1 -> 20, -30 -> -20.
std::int64_t snapMillisecondsToGrid(std::int64_t ms);

// The stored form of a media time: "0s" for zero, "<v/t>s" when the value divides by the
// timescale, otherwise "<v>/<t>s" unreduced.
QString convertToStringTime(const qv::MediaTime& time);
// The inverse of convertToStringTime. Numbers are read like a lenient integer parse (leading
// blanks and sign, digits up to the first other character, none read as 0). A missing or
// empty text gives value 0 over timescale 0.
qv::MediaTime convertTimestringToCMTime(const QString& text);

// Duration texts: "5s", "3m 05s", "1h 03m 05s".
QString timeAsHMSTextFromMilliseconds(std::int64_t ms);
// SubRip time "HH:MM:SS,mmm", hours modulo 24 from 24 hours on.
QString timeAsHMSMsTextFromMilliseconds(std::int64_t ms);
// "45m" or "2h 05m".
QString timeAsHMTextFromMinutes(std::int64_t minutes);
// "3:05".
QString timeAsMSTextFromSeconds(std::int64_t seconds);
// "HH:MM:SS" of whole seconds (value / timescale, 0 for a timescale below 1), hours modulo 24.
QString clockTextFromCMTime(const qv::MediaTime& time);

// What timecode texts are computed from.
struct TimecodeParameters {
    // Timecode of the first media frame; added only when valid.
    qv::MediaTime start = qv::MediaTime::invalid();
    // Duration of one frame.
    qv::MediaTime frameDuration = qv::MediaTime::invalid();
    // Whole frames per second; 0 = no usable timecode.
    std::uint32_t frameQuanta = 0;
    bool isDropFrame = false;
};

// Frames from 00:00:00:00 to `time` counted from the start timecode; none when the frame
// duration or the sum is not a usable number.
std::optional<std::int64_t> frameNumberForTime(const qv::MediaTime& time, const TimecodeParameters& parameters);

// "HH:MM:SS:FF", or "HH:MM:SS;FF" when the timecode is drop-frame and semicolons are asked for;
// "--:--:--:--" / "--:--:--;--" without a frame quanta; the empty text when no frame number
// can be made. Hours above 23 are shown modulo 24.
QString timecodeFromCMTime(const qv::MediaTime& time, const qv::MediaTime& frameDuration, std::uint32_t frameQuanta,
                           bool isDropFrame, const qv::MediaTime& startTimecode, bool useSemiColons);
QString timecodeText(const qv::MediaTime& time, const TimecodeParameters& parameters, bool useSemiColons);
// "HH:MM:SS" in the timecode: "--:--:--" without a frame quanta, the empty text when no frame
// number can be made.
QString timecodeClockText(const qv::MediaTime& time, const TimecodeParameters& parameters);

// Frames per second of a frame duration: timescale / value in single precision, rounded half
// away from zero; 0 for an invalid or zero duration.
std::uint32_t frameQuantaFromFrameDuration(const qv::MediaTime& frameDuration);
