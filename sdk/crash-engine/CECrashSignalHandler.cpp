#include "sdk/crash-engine/CECrashSignalHandler.h"

#include "sdk/crash-engine/AsyncList.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace {

struct PreviousAction {
    int signo;
    struct sigaction action;
};

// Async-signal-safe once made (by the first registration, before any handler can run).
// Both registries live for the process; signal handlers may read them at any time.
AsyncList<CECrashSignalHandlerCallback>& callbackChain()
{
    static auto* chain = new AsyncList<CECrashSignalHandlerCallback>;
    return *chain;
}

// Async-signal-safe once made (by the first registration).
AsyncList<PreviousAction>& previousActions()
{
    static auto* actions = new AsyncList<PreviousAction>;
    return *actions;
}

std::mutex g_registerMutex;

using ChainNode = AsyncList<CECrashSignalHandlerCallback>::Node;

bool walkFrom(const ChainNode* node, int signo, siginfo_t* info, ucontext_t* uap);

// Async-signal-safe.
// The next-handler entry: its context is the chain node whose successor runs next.
bool chainWalker(int signo, siginfo_t* info, ucontext_t* uap, void* context, const CECrashSignalHandlerNext*)
{
    const ChainNode* following = AsyncList<CECrashSignalHandlerCallback>::next(static_cast<const ChainNode*>(context));
    return following != nullptr && walkFrom(following, signo, info, uap);
}

// Async-signal-safe.
bool walkFrom(const ChainNode* node, int signo, siginfo_t* info, ucontext_t* uap)
{
    const CECrashSignalHandlerNext next{chainWalker, const_cast<ChainNode*>(node)};
    const bool hasNext = AsyncList<CECrashSignalHandlerCallback>::next(node) != nullptr;
    return node->value.callback(signo, info, uap, node->value.context, hasNext ? &next : nullptr);
}

// Async-signal-safe.
// Runs the action the signal had before registration.
bool passThrough(int signo, siginfo_t* info, ucontext_t* uap, void*, const CECrashSignalHandlerNext* next)
{
    if (next != nullptr && CECrashSignalHandlerForward(next, signo, info, uap))
        return true;
    AsyncList<PreviousAction>& actions = previousActions();
    actions.setReading(true);
    const PreviousAction* found = nullptr;
    for (auto* node = actions.first(); node != nullptr; node = AsyncList<PreviousAction>::next(node)) {
        if (node->value.signo == signo) {
            found = &node->value;
            break;
        }
    }
    bool handled = false;
    if (found != nullptr) {
        if ((found->action.sa_flags & SA_SIGINFO) != 0) {
            found->action.sa_sigaction(signo, info, uap);
            handled = true;
        } else if (found->action.sa_handler == SIG_IGN) {
            handled = true;
        } else if (found->action.sa_handler != SIG_DFL) {
            found->action.sa_handler(signo);
            handled = true;
        }
    }
    actions.setReading(false);
    return handled;
}

// Async-signal-safe.
// The process handler installed for every registered signal.
void processHandler(int signo, siginfo_t* info, void* uapVoid)
{
    auto* uap = static_cast<ucontext_t*>(uapVoid);
    AsyncList<CECrashSignalHandlerCallback>& chain = callbackChain();
    chain.setReading(true);
    const ChainNode* first = chain.first();
    const bool handled = first != nullptr && walkFrom(first, signo, info, uap);
    chain.setReading(false);
    if (handled)
        return;
    // No one handled it: the default action is due. Raised again into this same handler, the
    // signal would come straight back here forever, so the default action goes in first.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signo, &fallback, nullptr);
    raise(signo);
}

}  // namespace

bool CECrashSignalHandlerForward(const CECrashSignalHandlerNext* next, int signo, siginfo_t* info, ucontext_t* uap)
{
    if (next == nullptr)
        return false;
    return next->callback(signo, info, uap, next->context, nullptr);
}

CECrashSignalHandler& CECrashSignalHandler::sharedHandler()
{
    // Lives for the process: its stack may be in use by a handler at exit.
    static auto* shared = new CECrashSignalHandler;
    return *shared;
}

CECrashSignalHandler::CECrashSignalHandler()
{
    _sigstk.ss_sp = malloc(kAlternateStackSize);
    _sigstk.ss_size = kAlternateStackSize;
    _sigstk.ss_flags = 0;
    if (_sigstk.ss_sp == nullptr)
        abort();
}

bool CECrashSignalHandler::registerHandlerForSignal(int signo, CECrashSignalHandlerCallbackFunc callback, void* context,
                                                    CECrashError* error)
{
    if (!registerHandlerWithSignal(signo, error))
        return false;
    callbackChain().prepend({callback, context});
    return true;
}

bool CECrashSignalHandler::registerHandlerWithSignal(int signo, CECrashError* error)
{
    std::lock_guard lock(g_registerMutex);
    if (sigaltstack(&_sigstk, nullptr) != 0) {
        cecrash_make_posix_error(error, errno, "Could not initialize alternative signal stack");
        return false;
    }
    callbackChain().append({passThrough, nullptr});

    AsyncList<PreviousAction>& actions = previousActions();
    bool registered = false;
    actions.setReading(true);
    for (auto* node = actions.first(); node != nullptr; node = AsyncList<PreviousAction>::next(node))
        registered = registered || node->value.signo == signo;
    actions.setReading(false);
    if (registered)
        return true;

    struct sigaction action {};
    action.sa_sigaction = processHandler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    PreviousAction previous{signo, {}};
    if (sigaction(signo, &action, &previous.action) != 0) {
        cecrash_make_posix_error(error, errno, "Failed to register signal handler");
        return false;
    }
    actions.append(previous);
    return true;
}

void CECrashSignalHandler::resetHandlers()
{
    while (previousActions().removeFirst([](const PreviousAction&) { return true; })) {
    }
    while (callbackChain().removeFirst([](const CECrashSignalHandlerCallback&) { return true; })) {
    }
}
