#include "model/Timecode.h"

#include <cstdlib>
#include <limits>

namespace {

// Frame labels skipped at the start of each minute not divisible by ten.
std::int64_t droppedLabelsPerMinute(std::int64_t quanta)
{
    return quanta == 60 ? 4 : 2;
}

}  // namespace

std::int64_t frameNumberFromSMPTETime(std::uint32_t frameQuanta, std::uint32_t timecodeFlags,
                                      const SMPTETime& time)
{
    const std::int64_t q = static_cast<std::int16_t>(frameQuanta);
    const std::int64_t minutes = time.minutes & ~kSMPTENegativeMinutesBit;
    std::int64_t n = time.frames + q * time.seconds + q * 60 * minutes + q * 3600 * time.hours;

    const std::int64_t perMinute = q * 60;
    if ((timecodeFlags & kTimecodeFlagDropFrame) && perMinute > 0) {
        const std::int64_t h = droppedLabelsPerMinute(q);
        const std::int64_t blocks = n / (perMinute * 10);
        const std::int64_t rest = n % (perMinute * 10);
        n -= 9 * h * blocks;
        if (rest >= perMinute && rest >= 2) {
            const std::int64_t k = rest / perMinute;
            const std::int64_t r = rest % perMinute;
            n -= (k - 1) * h;
            n -= r < 2 ? r + 1 : h;
        }
    }
    return (time.minutes & kSMPTENegativeMinutesBit) ? -n : n;
}

SMPTETime smpteTimeFromFrameNumber(std::int64_t frameNumber, std::int32_t frameQuanta,
                                   std::uint32_t timecodeFlags)
{
    SMPTETime result;
    const std::int64_t q = static_cast<std::int16_t>(frameQuanta);
    if (q <= 0 || frameNumber == std::numeric_limits<std::int64_t>::min())
        return result;

    std::int64_t n = std::llabs(frameNumber);
    if (timecodeFlags & kTimecodeFlagDropFrame) {
        const std::int64_t h = droppedLabelsPerMinute(q);
        const std::int64_t perTenMinutesDropped = 9 * h;
        const std::int64_t framesPerTenMinutes = q * 600 - perTenMinutesDropped;
        const std::int64_t framesPerMinute = q * 60;
        const std::int64_t blocks = n / framesPerTenMinutes;
        const std::int64_t rest = n % framesPerTenMinutes;
        std::int64_t skipped = blocks * perTenMinutesDropped;
        if (rest >= framesPerMinute) {
            const auto step = static_cast<std::int32_t>((rest - framesPerMinute) / (framesPerMinute - h));
            skipped += h * (step + 1);
        }
        // A count whose labels lie beyond the 64-bit range has no record.
        if (__builtin_add_overflow(n, skipped, &n))
            return result;
    }

    const std::int64_t seconds = n / q;
    result.frames = static_cast<std::int16_t>(n % q);
    result.seconds = static_cast<std::int16_t>(seconds % 60);
    result.minutes = static_cast<std::int16_t>((seconds / 60) % 60);
    result.hours = static_cast<std::int16_t>(seconds / 3600);
    if (frameNumber < 0)
        result.minutes = static_cast<std::int16_t>(result.minutes | kSMPTENegativeMinutesBit);
    result.flags = kSMPTETimeValid;
    return result;
}
