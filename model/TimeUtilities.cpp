#include "model/TimeUtilities.h"

#include "model/Timecode.h"
#include "platform/foundation/TextCompare.h"

#include <QList>

#include <cmath>
#include <limits>

using qv::MediaTime;

namespace {

QString twoDigits(std::int64_t n)
{
    return QString::asprintf("%02lld", static_cast<long long>(n));
}

SMPTETime smpteTimeForTime(const MediaTime& time, const TimecodeParameters& parameters)
{
    const auto frame = frameNumberForTime(time, parameters);
    if (!frame)
        return {};
    SMPTETime smpte = smpteTimeFromFrameNumber(*frame, static_cast<std::int32_t>(parameters.frameQuanta),
                                               parameters.isDropFrame ? kTimecodeFlagDropFrame : 0);
    if (smpte.hours > 23)
        smpte.hours = static_cast<std::int16_t>(smpte.hours % 24);
    return smpte;
}

}  // namespace

std::int64_t convertCMTimeToMilliseconds(const MediaTime& time)
{
    if (!time.isNumeric())
        return 0;
    const MediaTime converted = time.convertScale(1000, qv::RoundingMethod::TowardZero);
    return converted.isNumeric() ? converted.value : 0;
}

std::int64_t snapMillisecondsToGrid(std::int64_t ms)
{
    const std::int64_t remainder = ms % kMillisecondGrid;
    if (remainder == 0)
        return ms;
    // Whole-number arithmetic: the same as rounding up in double precision wherever a double
    // holds the value exactly, and no overflow at the ends of the range, where a stored
    // position that cannot move up stays on the grid line below it.
    const std::int64_t towardZero = ms - remainder;
    if (ms < 0 || towardZero > std::numeric_limits<std::int64_t>::max() - kMillisecondGrid)
        return towardZero;
    return towardZero + kMillisecondGrid;
}

QString convertToStringTime(const MediaTime& time)
{
    if (time.value == 0 || time == MediaTime::zero())
        return QStringLiteral("0s");
    // A timescale of 0 or -1 would trap in the division; such times keep their fraction.
    if (time.timescale != 0 && time.timescale != -1 && time.value % time.timescale == 0)
        return QString::asprintf("%llds", static_cast<long long>(time.value / time.timescale));
    return QString::asprintf("%lld/%ds", static_cast<long long>(time.value), time.timescale);
}

MediaTime convertTimestringToCMTime(const QString& text)
{
    if (text.isEmpty())
        return MediaTime(0, 0);
    if (text == u"0s")
        return MediaTime::zero();
    const QStringView body = QStringView(text).chopped(1);
    const auto parts = body.split(u'/');
    if (parts.size() == 1)
        return MediaTime(qv::integerValue(parts.front().toString()), 1);
    return MediaTime(qv::integerValue(parts.front().toString()), static_cast<std::int32_t>(qv::integerValue(parts.back().toString())));
}

QString timeAsHMSTextFromMilliseconds(std::int64_t ms)
{
    const std::int64_t hours = ms / 3'600'000;
    const std::int64_t secondsInHour = ms / 1000 - hours * 3600;
    const std::int64_t minutes = secondsInHour / 60;
    const std::int64_t seconds = secondsInHour % 60;
    if (ms < 3'600'000) {
        if (secondsInHour < 60)
            return QString::asprintf("%llds", static_cast<long long>(seconds));
        return QString::asprintf("%lldm %02llds", static_cast<long long>(minutes), static_cast<long long>(seconds));
    }
    return QString::asprintf("%lldh %02lldm %02llds", static_cast<long long>(hours),
                             static_cast<long long>(minutes), static_cast<long long>(seconds));
}

QString timeAsHMSMsTextFromMilliseconds(std::int64_t ms)
{
    std::int64_t hours = ms / 3'600'000;
    if (ms >= 86'400'000)
        hours %= 24;
    return QStringLiteral("%1:%2:%3,%4")
        .arg(twoDigits(hours), twoDigits((ms / 60'000) % 60), twoDigits((ms / 1000) % 60),
             QString::asprintf("%03lld", static_cast<long long>(ms % 1000)));
}

QString timeAsHMTextFromMinutes(std::int64_t minutes)
{
    if (minutes < 60)
        return QString::asprintf("%lldm", static_cast<long long>(minutes));
    return QString::asprintf("%lldh %02lldm", static_cast<long long>(minutes / 60), static_cast<long long>(minutes % 60));
}

QString timeAsMSTextFromSeconds(std::int64_t seconds)
{
    return QString::asprintf("%lld:%02lld", static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60));
}

QString clockTextFromCMTime(const MediaTime& time)
{
    const std::int64_t seconds = time.timescale < 1 ? 0 : time.value / time.timescale;
    return QString::asprintf("%02d:%02d:%02d", static_cast<int>((seconds / 3600) % 24),
                             static_cast<int>((seconds / 60) % 60), static_cast<int>(seconds % 60));
}

std::optional<std::int64_t> frameNumberForTime(const MediaTime& time, const TimecodeParameters& parameters)
{
    const MediaTime& frame = parameters.frameDuration;
    if (!frame.isNumeric() || frame.value == 0 || frame.timescale <= 0)
        return std::nullopt;
    const MediaTime sum = parameters.start.isValid() ? parameters.start + time : time;
    if (!sum.isNumeric())
        return std::nullopt;
    const MediaTime converted = sum.convertScale(frame.timescale, qv::RoundingMethod::TowardZero);
    // The one quotient that does not fit (and would trap): the most negative value by -1.
    if (!converted.isNumeric() || (converted.value == std::numeric_limits<std::int64_t>::min() && frame.value == -1))
        return std::nullopt;
    return converted.value / frame.value;
}

QString timecodeText(const MediaTime& time, const TimecodeParameters& parameters, bool useSemiColons)
{
    const bool semicolon = parameters.isDropFrame && useSemiColons;
    if (parameters.frameQuanta == 0)
        return semicolon ? QStringLiteral("--:--:--;--") : QStringLiteral("--:--:--:--");
    const SMPTETime smpte = smpteTimeForTime(time, parameters);
    if (!(smpte.flags & kSMPTETimeValid))
        return QStringLiteral("");
    return QString::asprintf(semicolon ? "%02hd:%02hd:%02hd;%02hd" : "%02hd:%02hd:%02hd:%02hd", smpte.hours,
                             smpte.minutes, smpte.seconds, smpte.frames);
}

QString timecodeFromCMTime(const MediaTime& time, const MediaTime& frameDuration, std::uint32_t frameQuanta,
                           bool isDropFrame, const MediaTime& startTimecode, bool useSemiColons)
{
    return timecodeText(time, {startTimecode, frameDuration, frameQuanta, isDropFrame}, useSemiColons);
}

QString timecodeClockText(const MediaTime& time, const TimecodeParameters& parameters)
{
    if (parameters.frameQuanta == 0)
        return QStringLiteral("--:--:--");
    const SMPTETime smpte = smpteTimeForTime(time, parameters);
    if (!(smpte.flags & kSMPTETimeValid))
        return QStringLiteral("");
    return QString::asprintf("%02hd:%02hd:%02hd", smpte.hours, smpte.minutes, smpte.seconds);
}

std::uint32_t frameQuantaFromFrameDuration(const MediaTime& frameDuration)
{
    if (!frameDuration.isNumeric() || frameDuration.value == 0)
        return 0;
    const float perSecond = static_cast<float>(frameDuration.timescale) / static_cast<float>(frameDuration.value);
    const float rounded = std::round(perSecond);
    if (!(rounded >= 0) || rounded > static_cast<float>(std::numeric_limits<std::uint32_t>::max()))
        return 0;
    return static_cast<std::uint32_t>(rounded);
}
