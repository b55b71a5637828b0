// Collects what is logged while it lives, for tests that expect a warning.
#pragma once

#include "platform/foundation/Log.h"

#include <mutex>
#include <string>
#include <vector>

namespace qv {

class LogCapture {
public:
    LogCapture()
    {
        previous_ = setLogSink([this](LogLevel level, std::string_view message) {
            std::lock_guard lock(mutex_);
            lines_.push_back(std::string(logLevelName(level)) + ": " + std::string(message));
        });
    }
    ~LogCapture() { setLogSink(std::move(previous_)); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const
    {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    LogSink previous_;
};

}  // namespace qv
