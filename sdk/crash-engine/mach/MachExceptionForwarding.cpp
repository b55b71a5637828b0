#include "sdk/crash-engine/mach/MachExceptionForwarding.h"

#include "sdk/crash-engine/linux/SignalNumbers.h"

namespace {

// Report numbers of the signals only Mach exceptions give.
constexpr int32_t kSignalEmulator = 7;
constexpr int32_t kSignalKill = 9;
constexpr int32_t kSignalBadSystemCall = 12;
constexpr int32_t kSignalPipe = 13;
constexpr int32_t kSegvMapErr = 1;
constexpr int32_t kBusAdrErr = 2;
constexpr int32_t kTrapBreakpoint = 1;

}  // namespace

bool cecrash_mach_exception_map_to_signal(int32_t exception_type, const int64_t* codes, size_t code_count,
                                          cecrash_mach_signal_record* record)
{
    if (code_count < 2)
        return false;
    const int64_t code = codes[0];
    int32_t signo = 0;
    int32_t signalCode = 0;
    switch (exception_type) {
    case CECRASH_EXC_BAD_ACCESS:
        // Only an invalid address is a segmentation fault; every other access failure is a bus error.
        signo = code == CECRASH_KERN_INVALID_ADDRESS ? CECRASH_SIGNAL_SIGSEGV : CECRASH_SIGNAL_SIGBUS;
        signalCode = code == CECRASH_KERN_INVALID_ADDRESS ? kSegvMapErr : kBusAdrErr;
        break;
    case CECRASH_EXC_BAD_INSTRUCTION:
        signo = CECRASH_SIGNAL_SIGILL;
        break;
    case CECRASH_EXC_ARITHMETIC:
        signo = CECRASH_SIGNAL_SIGFPE;
        break;
    case CECRASH_EXC_EMULATION:
        signo = kSignalEmulator;
        break;
    case CECRASH_EXC_SOFTWARE:
        switch (code) {
        case CECRASH_EXC_UNIX_BAD_SYSCALL:
            signo = kSignalBadSystemCall;
            break;
        case CECRASH_EXC_UNIX_BAD_PIPE:
            signo = kSignalPipe;
            break;
        case CECRASH_EXC_SOFT_SIGNAL:
            signo = kSignalKill;
            break;
        default:
            signo = CECRASH_SIGNAL_SIGABRT;
            break;
        }
        break;
    case CECRASH_EXC_BREAKPOINT:
        signo = CECRASH_SIGNAL_SIGTRAP;
        signalCode = kTrapBreakpoint;
        break;
    default:
        return false;
    }
    record->signo = signo;
    record->code = signalCode;
    record->address = static_cast<uint64_t>(codes[1]);
    return true;
}

cecrash_kern_return_t cecrash_mach_exception_forward(CECrashMachPorts* ports, cecrash_mach_port_t task,
                                                     cecrash_mach_port_t thread, int32_t exception_type,
                                                     const int64_t* codes, uint32_t code_count,
                                                     const cecrash_mach_exception_port_set* previous)
{
    if (exception_type < 0 || exception_type >= 32)
        return CECRASH_KERN_FAILURE;
    const uint32_t maskBit = 1u << exception_type;
    const uint32_t count = previous->count < CECRASH_EXC_TYPES_COUNT ? previous->count : CECRASH_EXC_TYPES_COUNT;
    uint32_t found = count;
    for (uint32_t i = 0; i < count; ++i) {
        const cecrash_mach_port_t port = previous->ports[i];
        if (port != CECRASH_MACH_PORT_NULL && port != CECRASH_MACH_PORT_DEAD && (previous->masks[i] & maskBit) != 0) {
            found = i;
            break;
        }
    }
    if (found == count)
        return CECRASH_KERN_FAILURE;

    const int32_t behavior = previous->behaviors[found];
    const int32_t base = behavior & ~CECRASH_MACH_EXCEPTION_CODES;
    if (base != CECRASH_EXCEPTION_DEFAULT && base != CECRASH_EXCEPTION_STATE && base != CECRASH_EXCEPTION_STATE_IDENTITY)
        return CECRASH_KERN_FAILURE;
    uint32_t state[CECRASH_THREAD_STATE_MAX];
    uint32_t stateCount = CECRASH_THREAD_STATE_MAX;
    if (base != CECRASH_EXCEPTION_DEFAULT) {
        const cecrash_kern_return_t result = ports->threadGetState(thread, previous->flavors[found], state, &stateCount);
        if (result != CECRASH_KERN_SUCCESS)
            return result;
    }
    // The 32-bit interfaces take the codes cut to 32 bits.
    int32_t narrow[CECRASH_EXC_TYPES_COUNT] = {};
    const uint32_t codes32 = code_count < CECRASH_EXC_TYPES_COUNT ? code_count : CECRASH_EXC_TYPES_COUNT;
    for (uint32_t i = 0; i < codes32; ++i)
        narrow[i] = static_cast<int32_t>(codes[i]);

    cecrash_mach_raise request{};
    request.port = previous->ports[found];
    request.behavior = base;
    request.wide_codes = (behavior & CECRASH_MACH_EXCEPTION_CODES) != 0;
    request.exception_type = exception_type;
    request.codes64 = request.wide_codes ? codes : nullptr;
    request.codes32 = request.wide_codes ? nullptr : narrow;
    request.code_count = request.wide_codes ? code_count : codes32;
    if (base != CECRASH_EXCEPTION_STATE) {
        request.thread = thread;
        request.task = task;
    }
    if (base != CECRASH_EXCEPTION_DEFAULT) {
        request.flavor = previous->flavors[found];
        request.state = state;
        request.state_count = stateCount;
    }
    return ports->raise(request);
}
