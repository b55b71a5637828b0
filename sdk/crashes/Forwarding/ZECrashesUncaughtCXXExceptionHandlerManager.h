// Uncaught C++ exceptions: a terminate handler that describes the exception (type, message and
// the stack of its throw) to every registered handler before the process ends.
#pragma once

#include <cstdint>

namespace ze {

// Lives on the terminate handler's stack while the handlers run.
struct CXXExceptionInfo {
    const void* exceptionPointer;
    // Mangled.
    const char* typeName;
    // Null when the exception carries no text.
    const char* message;
    std::uint32_t frameCount;
    // Innermost first, starting at the function that threw.
    const std::uint64_t* frames;
};

using ZECrashesUncaughtCXXExceptionHandler = void (*)(const CXXExceptionInfo* info);

class ZECrashesUncaughtCXXExceptionHandlerManager {
public:
    // Installs the terminate handler with the first handler; the same handler may be added twice.
    static void addCXXExceptionHandler(ZECrashesUncaughtCXXExceptionHandler handler);
    // Removes the first entry; the previous terminate handler comes back with the last one.
    static void removeCXXExceptionHandler(ZECrashesUncaughtCXXExceptionHandler handler);
    static std::uint64_t countCXXExceptionHandler();
};

} // namespace ze
