// Names and limits of the analytics service.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ze {

inline constexpr const char* kZEAnalyticsLogTag = "ZavEdurovAnalytics";
inline constexpr const char* kZEAnalyticsServiceName = "Analytics";
inline constexpr const char* kZEAnalyticsCriticalSuffix = "critical";
// Event and page names: at most 256 UTF-16 units.
inline constexpr std::size_t kZEAnalyticsMaxEventNameLength = 256;
// Typed properties: at most 20 per event, keys and string values at most 125 UTF-16 units.
inline constexpr std::size_t kZEAnalyticsMaxTypedProperties = 20;
inline constexpr std::size_t kZEAnalyticsMaxTypedPropertyLength = 125;
// Transmission interval of the normal unit, in seconds: 6 by default, from 6 to 86,400 (one day).
inline constexpr std::uint64_t kZEAnalyticsDefaultFlushInterval = 6;
inline constexpr std::uint64_t kZEAnalyticsMinFlushInterval = 6;
inline constexpr std::uint64_t kZEAnalyticsMaxFlushInterval = 86400;
// A session ends after 20 s without activity.
inline constexpr double kZESessionTimeoutSeconds = 20.0;

} // namespace ze
