// Dates of ZEUtility: one text form for the wire and stored settings, UTC with milliseconds.
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"

#include <cstdio>
#include <ctime>

namespace ze {

ZEDate ZEUtility::now()
{
    return ZEPlatform::clock()->now();
}

double ZEUtility::nowInMilliseconds()
{
    return std::chrono::duration<double, std::milli>(now().time_since_epoch()).count();
}

std::string ZEUtility::dateToISO8601(ZEDate date)
{
    const auto millis = std::chrono::floor<std::chrono::milliseconds>(date.time_since_epoch()).count();
    const long long seconds = millis >= 0 ? millis / 1000 : -((-millis + 999) / 1000);
    const int fraction = static_cast<int>(millis - seconds * 1000);
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    ::gmtime_r(&time, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
        utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, fraction);
    return text;
}

std::optional<ZEDate> ZEUtility::dateFromISO8601(std::string_view text)
{
    // yyyy-MM-ddTHH:mm:ss.SSSZ: 24 characters, digits everywhere but the fixed separators.
    static constexpr std::string_view shape = "0000-00-00T00:00:00.000Z";
    if (text.size() != shape.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == '0' ? !digit : text[i] != shape[i]) {
            return std::nullopt;
        }
    }
    auto number = [&text](std::size_t at, std::size_t length) {
        int value = 0;
        for (std::size_t i = at; i < at + length; ++i) {
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    std::tm utc{};
    utc.tm_year = number(0, 4) - 1900;
    utc.tm_mon = number(5, 2) - 1;
    utc.tm_mday = number(8, 2);
    utc.tm_hour = number(11, 2);
    utc.tm_min = number(14, 2);
    utc.tm_sec = number(17, 2);
    if (utc.tm_mon > 11 || utc.tm_mday < 1 || utc.tm_mday > 31 || utc.tm_hour > 23 || utc.tm_min > 59 || utc.tm_sec > 59) {
        return std::nullopt;
    }
    std::tm check = utc;
    const std::time_t seconds = ::timegm(&check);
    if (check.tm_mday != utc.tm_mday) {
        return std::nullopt;
    }
    return ZEDate(std::chrono::seconds(seconds)) + std::chrono::milliseconds(number(20, 3));
}

} // namespace ze
