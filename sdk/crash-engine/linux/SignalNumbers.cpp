#include "sdk/crash-engine/linux/SignalNumbers.h"

#include <csignal>

namespace {

struct Pair {
    int host;
    int32_t report;
};

const Pair kSignals[] = {
    {SIGHUP, 1}, {SIGINT, 2}, {SIGQUIT, 3}, {SIGILL, 4}, {SIGTRAP, 5}, {SIGABRT, 6}, {SIGFPE, 8},
    {SIGKILL, 9}, {SIGBUS, 10}, {SIGSEGV, 11}, {SIGSYS, 12}, {SIGPIPE, 13}, {SIGALRM, 14},
    {SIGTERM, 15}, {SIGURG, 16}, {SIGSTOP, 17}, {SIGTSTP, 18}, {SIGCONT, 19}, {SIGCHLD, 20},
    {SIGTTIN, 21}, {SIGTTOU, 22}, {SIGIO, 23}, {SIGXCPU, 24}, {SIGXFSZ, 25}, {SIGVTALRM, 26},
    {SIGPROF, 27}, {SIGWINCH, 28}, {SIGUSR1, 30}, {SIGUSR2, 31},
};

const Pair kIllCodes[] = {
    {ILL_ILLOPC, 1}, {ILL_ILLOPN, 4}, {ILL_ILLADR, 5}, {ILL_ILLTRP, 2},
    {ILL_PRVOPC, 3}, {ILL_PRVREG, 6}, {ILL_COPROC, 7}, {ILL_BADSTK, 8},
};

const Pair kFpeCodes[] = {
    {FPE_INTDIV, 7}, {FPE_INTOVF, 8}, {FPE_FLTDIV, 1}, {FPE_FLTOVF, 2},
    {FPE_FLTUND, 3}, {FPE_FLTRES, 4}, {FPE_FLTINV, 5}, {FPE_FLTSUB, 6},
};

// Async-signal-safe.
template <size_t N>
bool lookup(const Pair (&table)[N], int host, int32_t* report)
{
    for (const Pair& pair : table) {
        if (pair.host == host) {
            *report = pair.report;
            return true;
        }
    }
    return false;
}

}  // namespace

int32_t cecrash_signal_number_from_host(int host_signal)
{
    int32_t report = 0;
    if (lookup(kSignals, host_signal, &report))
        return report;
    return -host_signal;
}

int32_t cecrash_signal_code_from_host(int host_signal, int host_code)
{
    if (host_code <= 0)
        return 0;
    // A breakpoint instruction traps with the kernel's own code rather than TRAP_BRKPT.
    if (host_signal == SIGTRAP && host_code == SI_KERNEL)
        return 1;
    int32_t report = host_code;
    if (host_signal == SIGILL)
        lookup(kIllCodes, host_code, &report);
    else if (host_signal == SIGFPE)
        lookup(kFpeCodes, host_code, &report);
    return report;
}
