// The format of a timecode track ('tmcd' with 32-bit samples, 'tc64' with 64-bit samples) and
// the reading of its samples. Both parse untrusted bytes from the file through bounded views.
#pragma once

#include "MediaTime.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace qv {

constexpr std::uint32_t fourCC(const char (&code)[5])
{
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24)
         | (static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16)
         | (static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8)
         | static_cast<std::uint32_t>(static_cast<unsigned char>(code[3]));
}

struct TimecodeFormat {
    static constexpr std::uint32_t kTimecode32 = fourCC("tmcd");
    static constexpr std::uint32_t kTimecode64 = fourCC("tc64");
    // Bits of `flags`.
    static constexpr std::uint32_t kDropFrame = 0x1;
    static constexpr std::uint32_t kTwentyFourHourMax = 0x2;
    static constexpr std::uint32_t kNegativeTimesOK = 0x4;
    static constexpr std::uint32_t kCounter = 0x8;

    std::uint32_t subtype = kTimecode32;
    std::uint32_t flags = 0;
    MediaTime frameDuration;        // invalid when the description gives no positive rate
    std::uint32_t frameQuanta = 0;  // whole frames per second as stored
    std::string sourceName;         // reel name; empty when there is none

    bool isDropFrame() const { return (flags & kDropFrame) != 0; }

    // Reads a timecode sample description: reserved (4), flags (4), timescale (4), frame
    // duration (4), frame quanta (1), reserved (1), then an optional 'name' atom (size (4),
    // 'name', text length (2), language (2), text), all big-endian. Nothing for too few bytes.
    static std::optional<TimecodeFormat> fromDescription(std::uint32_t subtype,
                                                         std::span<const std::uint8_t> description);

    // The frame number one sample holds: a signed big-endian 32-bit value for 'tmcd', 64-bit for
    // 'tc64'. Nothing when the sample is too short or the subtype is another.
    std::optional<std::int64_t> frameNumberOfSample(std::span<const std::uint8_t> sample) const;
};

}  // namespace qv
