// Host and process facts from uname, sysconf, sysfs and /proc, in the shapes the original
// design read them through its kernel queries. Not crash-time: all of them allocate or read
// files, and are gathered before a crash.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

// The kernel release ("6.1.0-18-amd64"), in place of the kernel's release query.
std::optional<std::string> cecrash_kernel_release();
// The kernel version text ("#1 SMP PREEMPT_DYNAMIC Debian ..."), the operating system build.
std::optional<std::string> cecrash_kernel_version();
// The hardware model (the DMI product name), absent when unreadable.
std::optional<std::string> cecrash_hardware_model();
// Processor counts: physical cores and logical processors.
uint32_t cecrash_physical_processor_count();
uint32_t cecrash_logical_processor_count();

struct CECrashKernelProcess {
    // The command name as the kernel keeps it (at most 15 bytes here).
    std::string name;
    pid_t parentProcessID = 0;
    int64_t startSeconds = 0;
    int32_t startMicroseconds = 0;
    bool traced = false;
};

// The kernel's record of a process, absent when there is no such process.
std::optional<CECrashKernelProcess> cecrash_kernel_process(pid_t pid);

// The path of the running executable; empty when unknown.
std::string cecrash_executable_path();

// Fills bytes from the kernel's random source; false when it fails.
bool cecrash_random_bytes(void* bytes, size_t length);
