// The kernel calls of Mach exception handling that the engine's exception-port pieces use:
// registrations of a task or thread, send-right references, thread state and the raise calls
// that forward an exception. No such kernel exists here; the interface is what the pieces are
// written against, and a test fake stands behind it. On this system the crash reporter's Mach
// mode arms the crash signals instead.
#pragma once

#include <cstddef>
#include <cstdint>

using cecrash_mach_port_t = uint32_t;
using cecrash_kern_return_t = int32_t;

constexpr cecrash_mach_port_t CECRASH_MACH_PORT_NULL = 0;
constexpr cecrash_mach_port_t CECRASH_MACH_PORT_DEAD = 0xffffffff;

constexpr cecrash_kern_return_t CECRASH_KERN_SUCCESS = 0;
constexpr cecrash_kern_return_t CECRASH_KERN_INVALID_ADDRESS = 1;
constexpr cecrash_kern_return_t CECRASH_KERN_PROTECTION_FAILURE = 2;
constexpr cecrash_kern_return_t CECRASH_KERN_FAILURE = 5;

// Exception types.
constexpr int32_t CECRASH_EXC_BAD_ACCESS = 1;
constexpr int32_t CECRASH_EXC_BAD_INSTRUCTION = 2;
constexpr int32_t CECRASH_EXC_ARITHMETIC = 3;
constexpr int32_t CECRASH_EXC_EMULATION = 4;
constexpr int32_t CECRASH_EXC_SOFTWARE = 5;
constexpr int32_t CECRASH_EXC_BREAKPOINT = 6;
constexpr int32_t CECRASH_EXC_GUARD = 12;
// Registrations per task or thread at most (one per exception type).
constexpr uint32_t CECRASH_EXC_TYPES_COUNT = 14;

// Codes of EXC_SOFTWARE that stand for signals.
constexpr int64_t CECRASH_EXC_UNIX_BAD_SYSCALL = 0x10000;
constexpr int64_t CECRASH_EXC_UNIX_BAD_PIPE = 0x10001;
constexpr int64_t CECRASH_EXC_UNIX_ABORT = 0x10002;
constexpr int64_t CECRASH_EXC_SOFT_SIGNAL = 0x10003;

// Behaviours: what a registered port receives. The flag asks for 64-bit codes.
constexpr int32_t CECRASH_EXCEPTION_DEFAULT = 1;
constexpr int32_t CECRASH_EXCEPTION_STATE = 2;
constexpr int32_t CECRASH_EXCEPTION_STATE_IDENTITY = 3;
constexpr int32_t CECRASH_MACH_EXCEPTION_CODES = static_cast<int32_t>(0x80000000u);

// Thread-state flavour of the registrations the engine makes, and the largest state in words.
constexpr int32_t CECRASH_X86_THREAD_STATE = 7;
constexpr uint32_t CECRASH_THREAD_STATE_MAX = 1296;

// The registrations of a task or thread as plain values, readable at crash time: entry i of
// the four arrays is one registration.
struct cecrash_mach_exception_port_set {
    uint32_t count;
    uint32_t masks[CECRASH_EXC_TYPES_COUNT];
    cecrash_mach_port_t ports[CECRASH_EXC_TYPES_COUNT];
    int32_t behaviors[CECRASH_EXC_TYPES_COUNT];
    int32_t flavors[CECRASH_EXC_TYPES_COUNT];
};

// One forwarded exception, as the raise call of the registration's behaviour takes it.
struct cecrash_mach_raise {
    cecrash_mach_port_t port;
    // Without the 64-bit codes flag.
    int32_t behavior;
    // The 64-bit raise calls (codes64) or the 32-bit ones (codes32).
    bool wide_codes;
    cecrash_mach_port_t thread;
    cecrash_mach_port_t task;
    int32_t exception_type;
    const int64_t* codes64;
    const int32_t* codes32;
    uint32_t code_count;
    // The state behaviours only: the flavour and the thread's state of it.
    int32_t flavor;
    const uint32_t* state;
    uint32_t state_count;
};

class CECrashMachPorts {
public:
    virtual ~CECrashMachPorts() = default;

    // Adds delta send-right references to a port.
    virtual cecrash_kern_return_t modRefs(cecrash_mach_port_t port, int32_t delta) = 0;
    // The registrations of a task (isTask) or thread for a mask; each port comes with one send
    // right for the caller. set->count goes in as the capacity.
    virtual cecrash_kern_return_t getExceptionPorts(bool isTask, cecrash_mach_port_t target, uint32_t mask,
                                                    cecrash_mach_exception_port_set* set) = 0;
    // Replaces the registrations for mask with one; the previous ones come back as above.
    virtual cecrash_kern_return_t swapExceptionPorts(bool isTask, cecrash_mach_port_t target, uint32_t mask,
                                                     cecrash_mach_port_t port, int32_t behavior, int32_t flavor,
                                                     cecrash_mach_exception_port_set* previous) = 0;
    // Async-signal-safe in a real implementation. A thread's state of a flavour; count goes in
    // as the capacity in words.
    virtual cecrash_kern_return_t threadGetState(cecrash_mach_port_t thread, int32_t flavor, uint32_t* state,
                                                 uint32_t* count) = 0;
    // Async-signal-safe in a real implementation. Sends the exception to a port and answers
    // the receiver's reply.
    virtual cecrash_kern_return_t raise(const cecrash_mach_raise& request) = 0;
};
