#include "sdk/crashes/Forwarding/ZEApplicationForwarder.h"

#include "sdk/crashes/ZECrashes.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"

#include <atomic>

namespace ze {

namespace {

std::atomic<bool> g_forwarding{false};

} // namespace

void ZEApplicationForwarder::registerForwarding()
{
    const auto flags = ZEPlatform::applicationInfo().infoFlags;
    const auto found = flags.find(kZEApplicationForwarderEnabledKey);
    if (found != flags.end() && !found->second) {
        ZELogDebug(kZECrashesLogTag, "Application forwarder for info.plist key '%@' disabled. It won't use swizzling.",
            std::string(kZEApplicationForwarderEnabledKey));
        return;
    }
    ZELogDebug(kZECrashesLogTag, "Application forwarder for info.plist key '%@' enabled. It may use swizzling.",
        std::string(kZEApplicationForwarderEnabledKey));
    const auto settings = ZEPlatform::settings();
    const auto value = settings ? settings->objectForKey(kZECrashOnExceptionsKey) : std::nullopt;
    const bool* crashOnExceptions = value ? std::get_if<bool>(&*value) : nullptr;
    if (!crashOnExceptions || !*crashOnExceptions) {
        ZELogInfo(kZECrashesLogTag,
            "Catching uncaught exceptions thrown on the main thread disabled. Set `%@` flag before SDK initialization, to allow crash on uncaught exceptions and the SDK can report them.",
            std::string(kZECrashOnExceptionsKey));
        return;
    }
    g_forwarding = true;
}

bool ZEApplicationForwarder::isForwarding()
{
    return g_forwarding;
}

void ZEApplicationForwarder::reportException(const std::exception_ptr& exception)
{
    if (g_forwarding) {
        ZECrashes::applicationDidReportException(exception);
    }
}

} // namespace ze
