#include "sdk/crash-engine/CECrashLog.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace {

std::mutex g_mutex;
CECrashLogSink g_sink;

}  // namespace

void CECrashLog(const std::string& line)
{
    std::lock_guard lock(g_mutex);
    if (g_sink)
        g_sink(line);
    else
        std::fprintf(stderr, "%s\n", line.c_str());
}

CECrashLogSink CECrashSetLogSink(CECrashLogSink sink)
{
    std::lock_guard lock(g_mutex);
    return std::exchange(g_sink, std::move(sink));
}
