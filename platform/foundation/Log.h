// The application's logger: one line per message with a level, to stderr unless a test or the
// shell installs another sink. Safe from any thread.
#pragma once

#include <functional>
#include <string_view>

namespace qv {

enum class LogLevel { Debug, Info, Warning, Error };

using LogSink = std::function<void(LogLevel, std::string_view)>;

void log(LogLevel level, std::string_view message);
inline void logDebug(std::string_view message) { log(LogLevel::Debug, message); }
inline void logInfo(std::string_view message) { log(LogLevel::Info, message); }
inline void logWarning(std::string_view message) { log(LogLevel::Warning, message); }
inline void logError(std::string_view message) { log(LogLevel::Error, message); }

// Replaces where messages go; returns the previous sink. An empty sink restores stderr.
LogSink setLogSink(LogSink sink);
// Messages below `level` are dropped. Defaults to Info.
void setMinimumLogLevel(LogLevel level);

const char* logLevelName(LogLevel level);

}  // namespace qv
