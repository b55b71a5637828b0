// One process-wide handler per registered signal, run on an alternate signal stack, passing
// each delivered signal along a chain of callbacks. The chain ends with a pass-through that
// runs whatever action the signal had before; when no callback handles it, the signal is
// raised again. Signal numbers here are the host's.
#pragma once

#include "sdk/crash-engine/CECrashError.h"

#include <csignal>
#include <cstddef>
#include <ucontext.h>

struct CECrashSignalHandlerNext;

// Answers true when it handled the signal. `next` is null for the last callback of the chain.
using CECrashSignalHandlerCallbackFunc = bool (*)(int signo, siginfo_t* info, ucontext_t* uap, void* context,
                                                  const CECrashSignalHandlerNext* next);

struct CECrashSignalHandlerCallback {
    CECrashSignalHandlerCallbackFunc callback;
    void* context;
};

// What a callback calls to pass the signal on.
struct CECrashSignalHandlerNext {
    CECrashSignalHandlerCallbackFunc callback;
    void* context;
};

// Async-signal-safe. Calls the next handler; false when there is none.
bool CECrashSignalHandlerForward(const CECrashSignalHandlerNext* next, int signo, siginfo_t* info, ucontext_t* uap);

class CECrashSignalHandler {
public:
    // Size of the alternate signal stack, in bytes. Defaults to 64 KiB.
    static constexpr size_t kAlternateStackSize = 0x10000;

    static CECrashSignalHandler& sharedHandler();

    CECrashSignalHandler(const CECrashSignalHandler&) = delete;
    CECrashSignalHandler& operator=(const CECrashSignalHandler&) = delete;

    // Installs the handler for the signal, then puts the callback first in the chain.
    bool registerHandlerForSignal(int signo, CECrashSignalHandlerCallbackFunc callback, void* context, CECrashError* error);
    // Installs the process handler for one signal (once per signal) and the alternate stack
    // for the calling thread.
    bool registerHandlerWithSignal(int signo, CECrashError* error);
    // Forgets every previous action and every callback; installs no sigaction.
    static void resetHandlers();

private:
    CECrashSignalHandler();
    ~CECrashSignalHandler() = default;

    stack_t _sigstk{};
};
