// The host kernel's version, scanned from its release text as major.minor.revision.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct CECrashHostInfoVersion {
    uint64_t major = 0;
    uint64_t minor = 0;
    uint64_t revision = 0;
};

class CECrashHostInfo {
public:
    // Null when the kernel release cannot be read.
    static std::shared_ptr<CECrashHostInfo> currentHostInfo();
    // Scans a release text; a malformed one keeps the numbers scanned so far and logs it.
    explicit CECrashHostInfo(const std::string& release);

    CECrashHostInfoVersion darwinVersion() const { return _darwinVersion; }

private:
    CECrashHostInfoVersion _darwinVersion;
};
