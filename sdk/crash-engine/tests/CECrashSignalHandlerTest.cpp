// Each case changes process-wide signal state, so each runs in a child.
#include "sdk/crash-engine/CECrashSignalHandler.h"
#include "sdk/crash-engine/tests/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

namespace {

// Records the order in which callbacks ran, in signal context: a fixed buffer only.
char g_trace[16];
int g_traceLength = 0;

void trace(char mark)
{
    if (g_traceLength < static_cast<int>(sizeof(g_trace)))
        g_trace[g_traceLength++] = mark;
}

bool first(int, siginfo_t*, ucontext_t*, void*, const CECrashSignalHandlerNext*)
{
    trace('1');
    return true;
}

bool second(int signo, siginfo_t* info, ucontext_t* uap, void*, const CECrashSignalHandlerNext* next)
{
    trace('2');
    return CECrashSignalHandlerForward(next, signo, info, uap);
}

bool secondAlone(int, siginfo_t*, ucontext_t*, void*, const CECrashSignalHandlerNext*)
{
    trace('2');
    return true;
}

void previousAction(int)
{
    trace('P');
}

TEST(CECrashSignalHandlerTest, LaterCallbackRunsFirstAndTheEarlierOnlyWhenForwardedTo)
{
    struct Case {
        CECrashSignalHandlerCallbackFunc later;
        const char* trace;
    };
    const Case cases[] = {{second, "21"}, {secondAlone, "2"}};
    for (const Case& c : cases) {
        const int status = runInChild([&] {
            CECrashSignalHandler& handler = CECrashSignalHandler::sharedHandler();
            if (!handler.registerHandlerForSignal(SIGUSR1, first, nullptr, nullptr)
                || !handler.registerHandlerForSignal(SIGUSR1, c.later, nullptr, nullptr))
                _exit(2);
            raise(SIGUSR1);
            _exit(std::string(g_trace, static_cast<size_t>(g_traceLength)) == c.trace ? 0 : 3);
        });
        EXPECT_TRUE(exitedWith(status, 0)) << c.trace << " status " << status;
    }
}

TEST(CECrashSignalHandlerTest, PassThroughRunsThePreviousActionOrReRaises)
{
    // A previous handler runs and counts as handled.
    int status = runInChild([] {
        signal(SIGUSR2, previousAction);
        if (!CECrashSignalHandler::sharedHandler().registerHandlerWithSignal(SIGUSR2, nullptr))
            _exit(2);
        raise(SIGUSR2);
        _exit(std::string(g_trace, static_cast<size_t>(g_traceLength)) == "P" ? 0 : 3);
    });
    EXPECT_TRUE(exitedWith(status, 0)) << status;

    // An ignored signal stays ignored: the handler counts it as handled and does not re-raise.
    status = runInChild([] {
        signal(SIGUSR2, SIG_IGN);
        if (!CECrashSignalHandler::sharedHandler().registerHandlerWithSignal(SIGUSR2, nullptr))
            _exit(2);
        raise(SIGUSR2);
    });
    EXPECT_TRUE(exitedWith(status, 0)) << status;

    // A default action is not handled: the signal is raised again and ends the process.
    status = runInChild([] {
        signal(SIGUSR2, SIG_DFL);
        if (!CECrashSignalHandler::sharedHandler().registerHandlerWithSignal(SIGUSR2, nullptr))
            _exit(2);
        raise(SIGUSR2);
    });
    EXPECT_TRUE(diedOfSignal(status, SIGUSR2)) << status;
}

TEST(CECrashSignalHandlerTest, RegisteringTwiceKeepsTheFirstPreviousAction)
{
    const int status = runInChild([] {
        signal(SIGUSR1, previousAction);
        CECrashSignalHandler& handler = CECrashSignalHandler::sharedHandler();
        handler.registerHandlerWithSignal(SIGUSR1, nullptr);
        // The process handler is in place now; registering again must not record it as the
        // previous action, or the pass-through would call itself.
        handler.registerHandlerWithSignal(SIGUSR1, nullptr);
        raise(SIGUSR1);
        _exit(std::string(g_trace, static_cast<size_t>(g_traceLength)) == "P" ? 0 : 3);
    });
    EXPECT_TRUE(exitedWith(status, 0)) << status;
}

TEST(CECrashSignalHandlerTest, ResetForgetsCallbacksAndPreviousActions)
{
    const int status = runInChild([] {
        signal(SIGUSR1, previousAction);
        CECrashSignalHandler::sharedHandler().registerHandlerForSignal(SIGUSR1, first, nullptr, nullptr);
        CECrashSignalHandler::resetHandlers();
        // The process handler stays installed but finds no one: the default action follows.
        raise(SIGUSR1);
    });
    EXPECT_TRUE(diedOfSignal(status, SIGUSR1)) << status;
}

}  // namespace
