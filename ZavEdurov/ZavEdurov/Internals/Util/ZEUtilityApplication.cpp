// How the SDK sees the application: its state, its distribution environment, opening URLs.
#include "ZavEdurov/ZavEdurov/Internals/Util/ZEUtility.h"

#include "ZavEdurov/ZavEdurov/Internals/Util/Platform/ZEPlatform.h"

namespace ze {

int ZEUtility::applicationState()
{
    if (ZEPlatform::applicationInfo().executablePath.find(".appex/") != std::string::npos) {
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
