#include "sdk/crash-engine/CECrashHostInfo.h"

#include "sdk/crash-engine/CECrashLog.h"
#include "sdk/crash-engine/linux/SystemFacts.h"

#include <cerrno>
#include <cstring>

namespace {

// Scans an unsigned decimal at `at`; false when there is none.
bool scanNumber(const std::string& text, size_t& at, uint64_t& value)
{
    const size_t start = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9')
        value = value * 10 + static_cast<uint64_t>(text[at++] - '0');
    return at > start;
}

bool scanDot(const std::string& text, size_t& at)
{
    if (at < text.size() && text[at] == '.') {
        ++at;
        return true;
    }
    return false;
}

}  // namespace

std::shared_ptr<CECrashHostInfo> CECrashHostInfo::currentHostInfo()
{
    const std::optional<std::string> release = cecrash_kernel_release();
    if (!release) {
        const int error = errno;
        CECrashLog("[CECrashReporter] Failed to fetch kern.osrelease value " + std::to_string(error) + ": "
                   + std::strerror(error));
        return nullptr;
    }
    return std::make_shared<CECrashHostInfo>(*release);
}

CECrashHostInfo::CECrashHostInfo(const std::string& release)
{
    size_t at = 0;
    const bool complete = scanNumber(release, at, _darwinVersion.major) && scanDot(release, at)
        && scanNumber(release, at, _darwinVersion.minor) && scanDot(release, at)
        && scanNumber(release, at, _darwinVersion.revision);
    if (!complete)
        CECrashLog("[CECrashReporter] Unexpected kern.osrelease string format: " + release);
}
