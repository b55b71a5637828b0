#include "sdk/crash-engine/CECrashProcessInfo.h"

#include "sdk/crash-engine/linux/SystemFacts.h"

#include <unistd.h>

namespace {

// The kernel's command-name field is 16 bytes wide.
constexpr size_t kNameBytes = 16;

}  // namespace

size_t cecrash_sysctl_utf8_prefix_length(const char* bytes, size_t length)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes);
    size_t at = 0;
    if (length > 2 && data[0] == 0xef && data[1] == 0xbb && data[2] == 0xbf)
        at = 3;
    while (at < length) {
        const unsigned char lead = data[at];
        if (lead == 0)
            break;
        size_t continuation = 0;
        if (lead < 0x80)
            continuation = 0;
        else if (lead >= 0xc0 && lead <= 0xdf)
            continuation = 1;
        else if (lead >= 0xe0 && lead <= 0xef)
            continuation = 2;
        else if (lead >= 0xf0 && lead <= 0xf7)
            continuation = 3;
        else
            break;
        if (length - at - 1 < continuation)
            break;
        bool whole = true;
        for (size_t i = 1; i <= continuation; ++i)
            whole = whole && data[at + i] >= 0x80 && data[at + i] <= 0xbf;
        if (!whole)
            break;
        at += 1 + continuation;
    }
    return at;
}

std::shared_ptr<CECrashProcessInfo> CECrashProcessInfo::currentProcessInfo()
{
    return initWithProcessID(getpid());
}

std::shared_ptr<CECrashProcessInfo> CECrashProcessInfo::initWithProcessID(pid_t pid)
{
    const std::optional<CECrashKernelProcess> kernel = cecrash_kernel_process(pid);
    if (!kernel)
        return nullptr;
    auto info = std::make_shared<CECrashProcessInfo>();
    info->_processID = pid;
    const std::string& name = kernel->name;
    const size_t length = cecrash_sysctl_utf8_prefix_length(name.data(), name.size() < kNameBytes ? name.size() : kNameBytes);
    if (length > 0)
        info->_processName = name.substr(0, length);
    info->_parentProcessID = kernel->parentProcessID;
    info->_startTime = {kernel->startSeconds, kernel->startMicroseconds};
    info->_traced = kernel->traced;
    return info;
}
