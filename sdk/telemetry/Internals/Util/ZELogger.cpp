#include "sdk/telemetry/Internals/Util/ZELogger.h"

#include "sdk/telemetry/Internals/Util/Platform/ZESerialQueue.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace ze {

namespace {

void standardLogHandler(const ZELogMessageProvider& message, ZELogLevel level, const std::string& tag, const char*,
    const char* function, std::uint32_t line)
{
    if (auto text = ZELogger::standardLine(message, level, tag, function, line)) {
        std::fprintf(stderr, "%s\n", text->c_str());
    }
}

struct LoggerState {
    std::mutex mutex;
    std::atomic<ZELogLevel> level{ZELogLevelAssert};
    ZELogHandler handler = standardLogHandler;
    // The standard handler is installed: messages it would not print need not reach it.
    std::atomic<bool> standard{true};
    bool userDefined = false;
    ZESerialQueue queue{"com.doridorir.zavedurov.loggerQueue"};
};

// Never destroyed, so that messages logged while the process exits still find the queue.
LoggerState& state()
{
    static LoggerState* instance = new LoggerState;
    return *instance;
}

const char* levelName(ZELogLevel level)
{
    switch (level) {
    case ZELogLevelVerbose: return "VERBOSE";
    case ZELogLevelDebug: return "DEBUG";
    case ZELogLevelInfo: return "INFO";
    case ZELogLevelWarning: return "WARNING";
    case ZELogLevelError: return "ERROR";
    case ZELogLevelAssert: return "ASSERT";
    default: return "";
    }
}

} // namespace

ZELogLevel ZELogger::currentLogLevel()
{
    return state().level.load();
}

void ZELogger::setCurrentLogLevel(ZELogLevel level)
{
    std::lock_guard lock(state().mutex);
    state().userDefined = true;
    state().level = level;
}

ZELogHandler ZELogger::logHandler()
{
    std::lock_guard lock(state().mutex);
    return state().handler;
}

void ZELogger::setLogHandler(ZELogHandler handler)
{
    std::lock_guard lock(state().mutex);
    state().userDefined = true;
    state().handler = std::move(handler);
    state().standard = false;
}

bool ZELogger::isHandled(ZELogLevel level)
{
    if (!state().standard.load()) {
        return true;
    }
    const ZELogLevel current = state().level.load();
    return level != ZELogLevelNone && current != ZELogLevelNone && level >= current;
}

bool ZELogger::isUserDefinedLogLevel()
{
    std::lock_guard lock(state().mutex);
    return state().userDefined;
}

void ZELogger::setIsUserDefinedLogLevel(bool userDefined)
{
    std::lock_guard lock(state().mutex);
    state().userDefined = userDefined;
}

void ZELogger::logMessage(ZELogMessageProvider message, ZELogLevel level, const std::string& tag, const char* file,
    const char* function, std::uint32_t line)
{
    if (!isHandled(level)) {
        return;
    }
    ZELogHandler handler = logHandler();
    if (!handler) {
        return;
    }
    state().queue.async([handler = std::move(handler), message = std::move(message), level, tag,
                            file = std::string(file ? file : ""), function = std::string(function ? function : ""),
                            line] { handler(message, level, tag, file.c_str(), function.c_str(), line); });
}

void ZELogger::flush()
{
    state().queue.drain();
}

std::optional<std::string> ZELogger::standardLine(const ZELogMessageProvider& message, ZELogLevel level,
    const std::string& tag, const char* function, std::uint32_t line)
{
    if (!message || level < currentLogLevel() || level == ZELogLevelNone) {
        return std::nullopt;
    }
    return ZEFormat("[%@] %@: %@/%d %@", tag, levelName(level), function ? function : "", line, message());
}

} // namespace ze
