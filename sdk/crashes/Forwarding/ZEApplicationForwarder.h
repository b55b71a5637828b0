// Exceptions that the application's event dispatch catches itself would never end the process
// and so never be reported. The shell's event-dispatch override hands each such exception here;
// when the application asked to crash on them ("NSApplicationCrashOnExceptions"), it goes to the
// crash service, which records it and ends the process.
#pragma once

#include <exception>

namespace ze {

inline constexpr const char* kZEApplicationForwarderEnabledKey = "ZavEdurovApplicationForwarderEnabled";
inline constexpr const char* kZECrashOnExceptionsKey = "NSApplicationCrashOnExceptions";

class ZEApplicationForwarder {
public:
    // Reads both switches; forwarding stays on for the life of the process once it is on.
    static void registerForwarding();
    static bool isForwarding();
    // Called by the shell with an exception its event dispatch caught; returns when it is not forwarded.
    static void reportException(const std::exception_ptr& exception);
};

} // namespace ze
