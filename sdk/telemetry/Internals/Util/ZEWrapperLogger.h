// The logging entry for SDKs that wrap this one: hands their messages to the SDK logger.
#pragma once

#include "sdk/telemetry/Internals/Util/ZELogger.h"

namespace ze {

class ZEWrapperLogger {
public:
    static void ZEWrapperLog(ZELogMessageProvider message, const std::string& tag, ZELogLevel level)
    {
        ZELogger::logMessage(std::move(message), level, tag, __FILE__, "ZEWrapperLog", __LINE__);
    }
};

} // namespace ze
