// SMPTE timecode arithmetic: frame numbers to hours, minutes, seconds and frames and back,
// counting drop-frame labels the way broadcast timecode does.
#pragma once

#include "platform/media/TimecodeFormat.h"

#include <cstdint>

// One SMPTE time. A negative time is marked by bit 0x80 of `minutes`; the other fields then
// hold its magnitude. `flags` is 1 for a valid record.
struct SMPTETime {
    std::int16_t subframes = 0;
    std::int16_t subframeDivisor = 0;
    std::uint32_t counter = 0;
    std::uint32_t type = 0;
    std::uint32_t flags = 0;
    std::int16_t hours = 0;
    std::int16_t minutes = 0;
    std::int16_t seconds = 0;
    std::int16_t frames = 0;
};

inline constexpr std::uint32_t kSMPTETimeValid = 1;
// Bit 0 of the timecode flags word, as timecode tracks store it: the timecode counts drop-frame.
inline constexpr std::uint32_t kTimecodeFlagDropFrame = qv::TimecodeFormat::kDropFrame;
// Bit of `SMPTETime::minutes` that marks a negative time.
inline constexpr std::int16_t kSMPTENegativeMinutesBit = 0x80;

// Frame count from 00:00:00:00 of `time` at `frameQuanta` whole frames per second.
std::int64_t frameNumberFromSMPTETime(std::uint32_t frameQuanta, std::uint32_t timecodeFlags,
                                      const SMPTETime& time);

// The SMPTE time of `frameNumber`. Hours are not reduced modulo 24. A frame quanta that is not
// positive as a 16-bit number, or a drop-frame count whose labels pass the 64-bit range, gives a
// record that is not valid.
SMPTETime smpteTimeFromFrameNumber(std::int64_t frameNumber, std::int32_t frameQuanta,
                                   std::uint32_t timecodeFlags);
