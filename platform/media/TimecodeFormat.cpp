#include "TimecodeFormat.h"

#include "BigEndian.h"

#include <limits>

namespace qv {

std::optional<TimecodeFormat> TimecodeFormat::fromDescription(std::uint32_t subtype,
                                                              std::span<const std::uint8_t> description)
{
    constexpr std::size_t kFixedSize = 18;
    if (description.size() < kFixedSize)
        return std::nullopt;
    TimecodeFormat format;
    format.subtype = subtype;
    format.flags = static_cast<std::uint32_t>(readBigEndian(description, 4, 4));
    std::uint32_t timescale = static_cast<std::uint32_t>(readBigEndian(description, 8, 4));
    std::uint32_t duration = static_cast<std::uint32_t>(readBigEndian(description, 12, 4));
    format.frameQuanta = description[16];
    if (timescale > 0 && timescale <= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())
        && duration > 0)
        format.frameDuration = MediaTime(duration, static_cast<std::int32_t>(timescale));

    // The optional name atom: its text must lie inside both the atom and the description.
    constexpr std::size_t kNameHeader = 12;
    auto atom = description.subspan(kFixedSize);
    if (atom.size() >= kNameHeader && readBigEndian(atom, 4, 4) == fourCC("name")) {
        std::uint64_t atomSize = readBigEndian(atom, 0, 4);
        std::uint64_t textSize = readBigEndian(atom, 8, 2);
        if (atomSize <= atom.size() && kNameHeader + textSize <= atomSize) {
            auto text = atom.subspan(kNameHeader, textSize);
            format.sourceName.assign(text.begin(), text.end());
        }
    }
    return format;
}

std::optional<std::int64_t> TimecodeFormat::frameNumberOfSample(std::span<const std::uint8_t> sample) const
{
    if (subtype == kTimecode32 && sample.size() >= 4)
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(readBigEndian(sample, 0, 4)));
    if (subtype == kTimecode64 && sample.size() >= 8)
        return static_cast<std::int64_t>(readBigEndian(sample, 0, 8));
    return std::nullopt;
}

}  // namespace qv
