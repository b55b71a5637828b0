#include "Log.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace qv {
namespace {

std::mutex sinkMutex;
LogSink currentSink;
std::atomic<LogLevel> minimumLevel{LogLevel::Info};

}  // namespace

const char* logLevelName(LogLevel level)
{
    switch (level) {
    case LogLevel::Debug: return "debug";
    case LogLevel::Info: return "info";
    case LogLevel::Warning: return "warning";
    case LogLevel::Error: return "error";
    }
    return "info";
}

void log(LogLevel level, std::string_view message)
{
    if (level < minimumLevel.load())
        return;
    std::lock_guard lock(sinkMutex);
    if (currentSink) {
        currentSink(level, message);
        return;
    }
    std::fprintf(stderr, "[%s] %.*s\n", logLevelName(level), static_cast<int>(message.size()),
                 message.data());
}

LogSink setLogSink(LogSink sink)
{
    std::lock_guard lock(sinkMutex);
    std::swap(currentSink, sink);
    return sink;
}

void setMinimumLogLevel(LogLevel level)
{
    minimumLevel.store(level);
}

}  // namespace qv
