// How the SDK sees the application: its state, its distribution environment, opening URLs.
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"

namespace ze {

int ZEUtility::applicationState()
{
    std::string executable = ZEPlatform::applicationInfo().executablePath;
    if (executable.empty()) {
        std::error_code error;
        executable = std::filesystem::read_symlink("/proc/self/exe", error).string();
    }
    // Code running inside an application extension cannot know the application's state.
    if (executable.find(".appex/") != std::string::npos) {
        return ZEApplicationStateUnknown;
    }
    const auto executor = ZEPlatform::mainThreadExecutor();
    if (!executor->isMainThread()) {
        return ZEApplicationStateUnknown;
    }
    return executor->isApplicationHidden() ? ZEApplicationStateBackground : ZEApplicationStateActive;
}

int ZEUtility::currentAppEnvironment()
{
    return ZEEnvironmentOther;
}

void ZEUtility::sharedAppOpenUrl(const std::string& url, std::function<void(bool)> completion)
{
    const auto executor = ZEPlatform::mainThreadExecutor();
    executor->post([executor, url, completion = std::move(completion)]() mutable {
        executor->openUrl(url, std::move(completion));
    });
}

} // namespace ze
