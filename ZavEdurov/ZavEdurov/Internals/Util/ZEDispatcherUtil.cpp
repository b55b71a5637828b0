#include "ZavEdurov/ZavEdurov/Internals/Util/ZEDispatcherUtil.h"

#include "ZavEdurov/ZavEdurov/Internals/Util/Platform/ZEPlatform.h"

namespace ze {

void ZEDispatcherUtil::performBlockOnMainThread(std::function<void()> block)
{
    ZEPlatform::mainThreadExecutor()->post(std::move(block));
}

void ZEDispatcherUtil::dispatchSyncWithTimeout(double timeoutSeconds, ZESerialQueue& queue, std::function<void()> block)
{
    queue.syncWithTimeout(std::chrono::milliseconds(static_cast<long long>(timeoutSeconds * 1000.0)), std::move(block));
}

} // namespace ze
