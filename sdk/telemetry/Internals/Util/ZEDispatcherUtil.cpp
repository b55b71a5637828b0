#include "sdk/telemetry/Internals/Util/ZEDispatcherUtil.h"

#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"

namespace ze {

void ZEDispatcherUtil::performBlockOnMainThread(std::function<void()> block)
{
    ZEPlatform::mainThreadExecutor()->post(std::move(block));
}

void ZEDispatcherUtil::dispatchSyncWithTimeout(double timeoutSeconds, ZESerialQueue& queue, std::function<void()> block)
{
    // A time-out that is not a positive number waits not at all; one too long to count in
    // milliseconds (beyond 30,000 years) waits until the block has run.
    const double milliseconds = timeoutSeconds * 1000.0;
    std::chrono::milliseconds timeout{0};
    if (milliseconds >= 1e15) {
        timeout = std::chrono::milliseconds::max();
    } else if (milliseconds > 0) {
        timeout = std::chrono::milliseconds(static_cast<std::int64_t>(milliseconds));
    }
    queue.syncWithTimeout(timeout, std::move(block));
}

} // namespace ze
