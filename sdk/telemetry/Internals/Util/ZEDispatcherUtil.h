// Running work on the application's main thread, and on a queue with a bounded wait.
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZESerialQueue.h"

#include <functional>

namespace ze {

class ZEDispatcherUtil {
public:
    // Runs `block` on the main thread later; never waits, also when called on the main thread.
    static void performBlockOnMainThread(std::function<void()> block);
    // Queues `block` on `queue` and waits until it has run or `timeoutSeconds` have passed; a
    // block still running then goes on running.
    static void dispatchSyncWithTimeout(double timeoutSeconds, ZESerialQueue& queue, std::function<void()> block);
};

} // namespace ze
