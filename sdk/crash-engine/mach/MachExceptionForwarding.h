// What a Mach exception means as a signal, and passing an exception on to the registration it
// was meant for before the engine took the ports over.
#pragma once

#include "sdk/crash-engine/mach/CECrashMachPorts.h"

#include <cstddef>
#include <cstdint>

// The fields of a signal record that a mapping sets. Signal numbers are those of reports.
struct cecrash_mach_signal_record {
    int32_t signo;
    int32_t code;
    uint64_t address;
};

// Async-signal-safe. Maps an exception to its signal; false (record untouched) with fewer than
// two codes or for a type without one (EXC_GUARD included). The fault address is codes[1].
bool cecrash_mach_exception_map_to_signal(int32_t exception_type, const int64_t* codes, size_t code_count,
                                          cecrash_mach_signal_record* record);

// Async-signal-safe. Raises the exception to the first previous registration whose port is
// valid and whose mask covers the type, in the form its behaviour asks for; KERN_FAILURE when
// none covers it or its behaviour is unknown, the state query's error for the state
// behaviours, else the receiver's answer.
cecrash_kern_return_t cecrash_mach_exception_forward(CECrashMachPorts* ports, cecrash_mach_port_t task,
                                                     cecrash_mach_port_t thread, int32_t exception_type,
                                                     const int64_t* codes, uint32_t code_count,
                                                     const cecrash_mach_exception_port_set* previous);
