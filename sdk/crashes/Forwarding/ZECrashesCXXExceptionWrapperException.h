// Carries a C++ exception that nobody caught to the crash engine's uncaught-exception handler:
// its readable type as name, its text as reason, and the stack of its throw.
#pragma once

#include "sdk/crashes/Forwarding/ZECrashesUncaughtCXXExceptionHandlerManager.h"
#include "sdk/crash-engine/CECrashLogWriter.h"

namespace ze {

CECrashUncaughtException ZECrashesCXXExceptionWrapperException(const CXXExceptionInfo& info);

// The crash service's C++ handler: hands the exception to the engine's handler and ends the process.
[[noreturn]] void uncaughtCXXExceptionHandler(const CXXExceptionInfo* info);

} // namespace ze
