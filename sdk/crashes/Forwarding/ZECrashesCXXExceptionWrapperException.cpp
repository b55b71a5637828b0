#include "sdk/crashes/Forwarding/ZECrashesCXXExceptionWrapperException.h"

#include "sdk/crashes/Model/ZEExceptionModel.h"
#include "sdk/crash-engine/CECrashReporter.h"

#include <cstdlib>

namespace ze {

CECrashUncaughtException ZECrashesCXXExceptionWrapperException(const CXXExceptionInfo& info)
{
    CECrashUncaughtException exception;
    exception.name = ZEDemangle(info.typeName);
    exception.reason = info.message ? info.message : "";
    exception.callStackReturnAddresses.assign(info.frames, info.frames + info.frameCount);
    return exception;
}

void uncaughtCXXExceptionHandler(const CXXExceptionInfo* info)
{
    if (const auto handler = CECrashGetUncaughtExceptionHandler(); handler && info) {
        handler(ZECrashesCXXExceptionWrapperException(*info));
    }
    std::abort();
}

} // namespace ze
