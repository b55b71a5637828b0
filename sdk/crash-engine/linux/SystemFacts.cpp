#include "sdk/crash-engine/linux/SystemFacts.h"

#include <cstdlib>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>
#include <sys/random.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <utility>

namespace {

std::optional<std::string> readFirstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::nullopt;
    return line;
}

std::optional<std::string> readWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<int64_t> bootTimeSeconds()
{
    std::ifstream in("/proc/stat");
    std::string key;
    while (in >> key) {
        if (key == "btime") {
            int64_t seconds = 0;
            if (in >> seconds)
                return seconds;
            return std::nullopt;
        }
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> cecrash_kernel_release()
{
    utsname names{};
    if (uname(&names) != 0)
        return std::nullopt;
    return std::string(names.release);
}

std::optional<std::string> cecrash_kernel_version()
{
    utsname names{};
    if (uname(&names) != 0)
        return std::nullopt;
    return std::string(names.version);
}

std::optional<std::string> cecrash_hardware_model()
{
    std::optional<std::string> model = readFirstLine("/sys/class/dmi/id/product_name");
    if (model && model->empty())
        return std::nullopt;
    return model;
}

uint32_t cecrash_logical_processor_count()
{
    const long count = sysconf(_SC_NPROCESSORS_CONF);
    return count > 0 ? static_cast<uint32_t>(count) : 0;
}

uint32_t cecrash_physical_processor_count()
{
    // A core is one (package, core) pair; hyper-threads share it.
    std::set<std::pair<std::string, std::string>> cores;
    const uint32_t logical = cecrash_logical_processor_count();
    for (uint32_t cpu = 0; cpu < logical; ++cpu) {
        const std::string base = "/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/topology/";
        const std::optional<std::string> package = readFirstLine(base + "physical_package_id");
        const std::optional<std::string> core = readFirstLine(base + "core_id");
        if (!package || !core)
            return logical;
        cores.insert({*package, *core});
    }
    return cores.empty() ? logical : static_cast<uint32_t>(cores.size());
}

std::optional<CECrashKernelProcess> cecrash_kernel_process(pid_t pid)
{
    const std::string base = "/proc/" + std::to_string(pid) + "/";
    // Read whole: a process name may hold a line break.
    const std::optional<std::string> stat = readWhole(base + "stat");
    if (!stat)
        return std::nullopt;
    // "pid (comm) state ppid ...": the name may itself hold ")" so the last one closes it.
    const size_t open = stat->find('(');
    const size_t close = stat->rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return std::nullopt;
    CECrashKernelProcess process;
    process.name = stat->substr(open + 1, close - open - 1);
    std::istringstream fields(stat->substr(close + 1));
    std::string state;
    fields >> state >> process.parentProcessID;
    // Field 22 is the start time in clock ticks after boot; 4 fields are read by now.
    std::string skipped;
    for (int field = 5; field < 22; ++field)
        fields >> skipped;
    uint64_t startTicks = 0;
    fields >> startTicks;
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    const std::optional<int64_t> boot = bootTimeSeconds();
    if (fields && ticksPerSecond > 0 && boot) {
        process.startSeconds = *boot + static_cast<int64_t>(startTicks / static_cast<uint64_t>(ticksPerSecond));
        process.startMicroseconds = static_cast<int32_t>((startTicks % static_cast<uint64_t>(ticksPerSecond)) * 1000000
                                                         / static_cast<uint64_t>(ticksPerSecond));
    }
    std::ifstream status(base + "status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0) {
            process.traced = std::strtol(line.c_str() + 10, nullptr, 10) != 0;
            break;
        }
    }
    return process;
}

std::string cecrash_executable_path()
{
    char buffer[4096];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer));
    if (length <= 0 || static_cast<size_t>(length) >= sizeof(buffer))
        return {};
    return std::string(buffer, static_cast<size_t>(length));
}

bool cecrash_random_bytes(void* bytes, size_t length)
{
    auto* out = static_cast<unsigned char*>(bytes);
    size_t done = 0;
    while (done < length) {
        const ssize_t got = getrandom(out + done, length - done, 0);
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}
