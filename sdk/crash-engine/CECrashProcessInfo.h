// A process's name, identifiers, start time and traced flag, as the kernel keeps them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

struct CECrashTimeval {
    int64_t seconds = 0;
    int32_t microseconds = 0;
};

class CECrashProcessInfo {
public:
    static std::shared_ptr<CECrashProcessInfo> currentProcessInfo();
    // Null when the kernel has no such process.
    static std::shared_ptr<CECrashProcessInfo> initWithProcessID(pid_t pid);

    pid_t processID() const { return _processID; }
    // The longest valid UTF-8 prefix of the kernel's name within 16 bytes; absent when empty.
    const std::optional<std::string>& processName() const { return _processName; }
    pid_t parentProcessID() const { return _parentProcessID; }
    CECrashTimeval startTime() const { return _startTime; }
    bool isTraced() const { return _traced; }

private:
    pid_t _processID = 0;
    std::optional<std::string> _processName;
    pid_t _parentProcessID = 0;
    CECrashTimeval _startTime;
    bool _traced = false;
};

// The length of the longest valid UTF-8 prefix of bytes (a leading byte order mark counts).
size_t cecrash_sysctl_utf8_prefix_length(const char* bytes, size_t length);
