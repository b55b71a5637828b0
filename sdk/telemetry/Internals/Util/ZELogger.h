// The SDK's diagnostic log: one call with a level, a tag naming the component, the source
// position and a provider that builds the text only when a handler wants it. Handlers run one at a
// time, in call order, on the serial queue "com.doridorir.zavedurov.loggerQueue".
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZEFormat.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>

namespace ze {

enum ZELogLevel : unsigned {
    ZELogLevelVerbose = 2,
    ZELogLevelDebug = 3,
    ZELogLevelInfo = 4,
    ZELogLevelWarning = 5,
    ZELogLevelError = 6,
    ZELogLevelAssert = 7,
    ZELogLevelNone = 99,
};

inline constexpr const char* kZELogTag = "ZavEdurov";

using ZELogMessageProvider = std::function<std::string()>;
using ZELogHandler = std::function<void(const ZELogMessageProvider& message, ZELogLevel level, const std::string& tag,
    const char* file, const char* function, std::uint32_t line)>;

class ZELogger {
public:
    // Default: Assert (7); setting it marks the level as chosen by the user.
    static ZELogLevel currentLogLevel();
    static void setCurrentLogLevel(ZELogLevel level);
    // Default: the standard handler, writing "[tag] LEVEL: function/line message" to standard
    // error. An empty handler silences the logger.
    static ZELogHandler logHandler();
    static void setLogHandler(ZELogHandler handler);
    // False only when the standard handler is installed and would print nothing at `level`: such
    // messages are dropped before they are queued. Any other handler gets every message.
    static bool isHandled(ZELogLevel level);
    static bool isUserDefinedLogLevel();
    static void setIsUserDefinedLogLevel(bool userDefined);

    // Returns at once; the installed handler gets the call later on the logger queue.
    static void logMessage(ZELogMessageProvider message, ZELogLevel level, const std::string& tag, const char* file,
        const char* function, std::uint32_t line);
    // Waits until every message logged so far has been handled.
    static void flush();
    // The standard handler's line for a message, or nothing when it would write none.
    static std::optional<std::string> standardLine(const ZELogMessageProvider& message, ZELogLevel level,
        const std::string& tag, const char* function, std::uint32_t line);

    // Formats lazily: the arguments are copied now and filled into `format` when the handler asks,
    // later and on another thread. C strings are copied as text, since the buffer behind a pointer
    // (a local string's c_str()) may be gone by then.
    template <class... Args>
    static void log(ZELogLevel level, const std::string& tag, const char* file, const char* function,
        std::uint32_t line, const char* format, const Args&... args)
    {
        if (!isHandled(level)) {
            return;
        }
        logMessage([format, values = std::make_tuple(captured(args)...)] {
            return std::apply([format](const auto&... v) { return ZEFormat(format, v...); }, values);
        }, level, tag, file, function, line);
    }

private:
    template <class T>
    static auto captured(const T& value)
    {
        if constexpr (std::is_convertible_v<const T&, const char*>) {
            const char* text = value;
            return text ? std::optional<std::string>(text) : std::nullopt;
        } else {
            return value;
        }
    }
};

} // namespace ze

#define ZE_LOG(level, tag, ...) ::ze::ZELogger::log(level, tag, __FILE__, __func__, __LINE__, __VA_ARGS__)
#define ZELogVerbose(tag, ...) ZE_LOG(::ze::ZELogLevelVerbose, tag, __VA_ARGS__)
#define ZELogDebug(tag, ...) ZE_LOG(::ze::ZELogLevelDebug, tag, __VA_ARGS__)
#define ZELogInfo(tag, ...) ZE_LOG(::ze::ZELogLevelInfo, tag, __VA_ARGS__)
#define ZELogWarning(tag, ...) ZE_LOG(::ze::ZELogLevelWarning, tag, __VA_ARGS__)
#define ZELogError(tag, ...) ZE_LOG(::ze::ZELogLevelError, tag, __VA_ARGS__)
#define ZELogAssert(tag, ...) ZE_LOG(::ze::ZELogLevelAssert, tag, __VA_ARGS__)
