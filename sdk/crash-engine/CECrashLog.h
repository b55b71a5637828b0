// The engine's few informational lines ("[CECrashReporter] ..."): to stderr unless a test or
// the application installs another sink. Never called at crash time.
#pragma once

#include <functional>
#include <string>

using CECrashLogSink = std::function<void(const std::string& line)>;

// Writes one line; the caller gives the whole text, prefix included.
void CECrashLog(const std::string& line);
// Replaces where lines go; returns the previous sink. An empty sink restores stderr.
CECrashLogSink CECrashSetLogSink(CECrashLogSink sink);
