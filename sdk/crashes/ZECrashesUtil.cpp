#include "sdk/crashes/ZECrashesUtil.h"

#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

namespace ze {

namespace {

std::string created(const std::string& component)
{
    ZEUtility::createDirectoryForPathComponent(component);
    return component;
}

} // namespace

std::string ZECrashesUtil::crashesDir()
{
    return created("crashes");
}

std::string ZECrashesUtil::logBufferDir()
{
    return created("crasheslogbuffer");
}

std::string ZECrashesUtil::wrapperExceptionsDir()
{
    return created("crasheswrapperexceptions");
}

std::string ZECrashesUtil::damagedCrashesDir()
{
    return created("crashesdamaged");
}

CECrashBundle ZECrashesUtil::applicationBundle()
{
    const auto info = ZEPlatform::applicationInfo();
    return {info.bundleIdentifier, info.buildVersion, info.shortVersion};
}

} // namespace ze
