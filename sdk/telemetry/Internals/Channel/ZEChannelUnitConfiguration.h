// The settings of one channel unit: its log group, how often it flushes and how much it sends at once.
#pragma once

#include <cstdint>
#include <string>

namespace ze {

// Defaults: a flush 6 s after the last saved log, batches of at most 50 logs, 3 batches in flight.
inline constexpr std::uint64_t kZEChannelDefaultFlushInterval = 6;
inline constexpr std::uint64_t kZEChannelDefaultBatchSizeLimit = 50;
inline constexpr std::uint64_t kZEChannelDefaultPendingBatchesLimit = 3;

struct ZEChannelUnitConfiguration {
    ZEChannelUnitConfiguration(std::string groupId, std::int64_t priority, std::uint64_t flushInterval,
        std::uint64_t batchSizeLimit, std::uint64_t pendingBatchesLimit)
        : groupId(std::move(groupId))
        , priority(priority)
        , batchSizeLimit(batchSizeLimit)
        , pendingBatchesLimit(pendingBatchesLimit)
        , flushInterval(flushInterval)
    {
    }
    // Priority 1, batches of 50, 3 in flight.
    static ZEChannelUnitConfiguration defaultConfiguration(std::string groupId,
        std::uint64_t flushInterval = kZEChannelDefaultFlushInterval)
    {
        return {std::move(groupId), 1, flushInterval, kZEChannelDefaultBatchSizeLimit, kZEChannelDefaultPendingBatchesLimit};
    }

    std::string groupId;
    std::int64_t priority;
    std::uint64_t batchSizeLimit;
    std::uint64_t pendingBatchesLimit;
    std::uint64_t flushInterval; // whole seconds
};

} // namespace ze
