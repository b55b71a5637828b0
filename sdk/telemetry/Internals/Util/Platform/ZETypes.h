// The few value types every part of the telemetry SDK shares: bytes, dates and ordered JSON.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <vector>

namespace ze {

using ZEData = std::vector<std::uint8_t>;
// A point in time on the wall clock; dates on the wire keep milliseconds.
using ZEDate = std::chrono::system_clock::time_point;
// JSON whose members keep the order in which they were first set; its writer never escapes "/".
using ZEJson = nlohmann::ordered_json;

inline ZEDate ZEDateFromSeconds(double secondsSince1970)
{
    return ZEDate(std::chrono::duration_cast<ZEDate::duration>(
        std::chrono::duration<double>(secondsSince1970)));
}

} // namespace ze
