// One request on its way through the HTTP client, with its retry state. Bodies of 1,400 bytes or
// more are gzip-compressed when the caller allows it; a body that cannot be compressed goes as it is.
#pragma once

#include "sdk/telemetry/Internals/Http/ZEHttpClientProtocol.h"
#include "sdk/telemetry/Internals/Util/Platform/ZESerialQueue.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace ze {

// Bodies from this size on are compressed.
inline constexpr std::size_t kZEHttpMinGZipLength = 1400;

class ZEHttpCall {
public:
    ZEHttpCall(std::string url, std::string method, const ZEHttpHeaders& headers, std::optional<ZEData> data,
        std::vector<double> retryIntervals, bool compressionEnabled, ZEHttpRequestCompletionHandler completion);
    ZEHttpCall(const ZEHttpCall&) = delete;
    ZEHttpCall& operator=(const ZEHttpCall&) = delete;

    const std::string url;
    const std::string method;
    ZEHttpHeaders headers;
    std::optional<ZEData> data;
    const ZEHttpRequestCompletionHandler completionHandler;
    const std::vector<double> retryIntervals;
    std::atomic<bool> inProgress{false};

    int retryCount() const;
    bool hasReachedMaxRetries() const;
    // Cancels the pending retry and starts counting again.
    void resetRetry();
    // Half the interval in milliseconds plus a uniform random part below that half.
    std::uint64_t delayForRetryCount(int retryCount) const;
    // Schedules `event` on `queue` after `retryAfterMs` (the server's wish) or the computed delay,
    // and counts the retry.
    void startRetryTimer(long statusCode, std::optional<std::uint64_t> retryAfterMs, ZESerialQueue& queue,
        std::function<void()> event);

private:
    mutable std::recursive_mutex mutex_;
    int retryCount_ = 0;
    ZETimer timerSource_;
};

} // namespace ze
