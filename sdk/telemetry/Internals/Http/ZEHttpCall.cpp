#include "sdk/telemetry/Internals/Http/ZEHttpCall.h"

#include "sdk/telemetry/Internals/Http/ZECompression.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"

#include <random>

namespace ze {

ZEHttpCall::ZEHttpCall(std::string url, std::string method, const ZEHttpHeaders& headers, std::optional<ZEData> data,
    std::vector<double> retryIntervals, bool compressionEnabled, ZEHttpRequestCompletionHandler completion)
    : url(std::move(url))
    , method(std::move(method))
    , headers(headers)
    , data(std::move(data))
    , completionHandler(std::move(completion))
    , retryIntervals(std::move(retryIntervals))
{
    if (compressionEnabled && this->data && this->data->size() >= kZEHttpMinGZipLength) {
        // A body that cannot be compressed is sent as it is: sending it empty would lose the batch.
        if (auto compressed = ZECompression::compressData(*this->data)) {
            this->data = std::move(compressed);
            this->headers["Content-Encoding"] = "gzip";
        }
    }
    if (this->data && this->headers.count("Content-Type") == 0) {
        this->headers["Content-Type"] = "application/json";
    }
}

int ZEHttpCall::retryCount() const
{
    std::lock_guard lock(mutex_);
    return retryCount_;
}

bool ZEHttpCall::hasReachedMaxRetries() const
{
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(retryCount_) >= retryIntervals.size();
}

void ZEHttpCall::resetRetry()
{
    std::lock_guard lock(mutex_);
    timerSource_.cancel();
    retryCount_ = 0;
}

std::uint64_t ZEHttpCall::delayForRetryCount(int retryCount) const
{
    if (retryCount < 0 || static_cast<std::size_t>(retryCount) >= retryIntervals.size()) {
        return 0;
    }
    const auto half = static_cast<std::uint64_t>(retryIntervals[static_cast<std::size_t>(retryCount)] * 1e9 * 0.5 / 1e6);
    if (half == 0) {
        return 0;
    }
    thread_local std::mt19937_64 random{std::random_device{}()};
    return half + std::uniform_int_distribution<std::uint64_t>(0, half - 1)(random);
}

void ZEHttpCall::startRetryTimer(long statusCode, std::optional<std::uint64_t> retryAfterMs, ZESerialQueue& queue,
    std::function<void()> event)
{
    std::lock_guard lock(mutex_);
    const std::uint64_t delay = retryAfterMs ? *retryAfterMs : delayForRetryCount(retryCount_);
    ZELogWarning(kZELogTag, "Call attempt #%d failed with status code: %tu, it will be retried in %d ms.", retryCount_ + 1,
        statusCode, delay);
    ++retryCount_;
    timerSource_.cancel();
    timerSource_ = queue.after(std::chrono::milliseconds(delay), std::move(event));
}

} // namespace ze
