// Uncaught C++ exceptions reach the registered handlers with their type, text and throw stack.
// Each case ends a process, so it runs in a forked child that writes what its handler saw.
#include "sdk/crashes/Forwarding/ZECrashesCXXExceptionWrapperException.h"
#include "sdk/crashes/Forwarding/ZECrashesUncaughtCXXExceptionHandlerManager.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace ze {
namespace {

std::string g_report;

void recordingHandler(const CXXExceptionInfo* info)
{
    const auto wrapped = ZECrashesCXXExceptionWrapperException(*info);
    std::ofstream out(g_report);
    out << wrapped.name << "\n" << wrapped.reason.value_or("") << "\n" << (info->message ? "text" : "none") << "\n"
        << (info->frameCount > 0 ? info->frames[0] : 0) << "\n";
}

__attribute__((noinline)) void throwAndCatch()
{
    try {
        throw std::logic_error("caught");
    } catch (const std::logic_error&) {
    }
}

__attribute__((noinline)) void throwRuntimeError()
{
    throw std::runtime_error("boom");
}

// Starts an exception without the program's throw entry, as the C++ runtime's own throws may.
__attribute__((noinline)) void rethrowMadeException() noexcept
{
    std::rethrow_exception(std::make_exception_ptr(std::runtime_error("late")));
}

struct Seen {
    std::string name;
    std::string reason;
    std::string message;
    std::uintptr_t innermost = 0;
};

// Lets nothing that `body` throws be caught, not even by the test framework.
template <class Body>
void callWithoutCatching(Body body) noexcept
{
    body();
}

template <class Body>
Seen runUncaught(Body body)
{
    g_report = (std::filesystem::temp_directory_path() / ("ze-forwarding-" + std::to_string(::getpid()))).string();
    std::filesystem::remove(g_report);
    const pid_t child = ::fork();
    if (child == 0) {
        ZECrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(&recordingHandler);
        callWithoutCatching(body);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) << status;
    Seen seen;
    std::ifstream in(g_report);
    std::getline(in, seen.name);
    std::getline(in, seen.reason);
    std::getline(in, seen.message);
    in >> seen.innermost;
    std::filesystem::remove(g_report);
    return seen;
}

TEST(ExceptionForwardingTest, anUncaughtRuntimeErrorReachesTheHandlerWithItsThrowSite)
{
    const auto seen = runUncaught([] { throwRuntimeError(); });
    EXPECT_EQ(seen.name, "std::runtime_error");
    EXPECT_EQ(seen.reason, "boom");
#if ZE_CAPTURES_THROW_SITES
    const auto function = reinterpret_cast<std::uintptr_t>(&throwRuntimeError);
    EXPECT_GT(seen.innermost, function);
    EXPECT_LT(seen.innermost, function + 256);
#endif
}

TEST(ExceptionForwardingTest, aThrownIntegerHasNoText)
{
    const auto seen = runUncaught([] { throw 7; });
    EXPECT_EQ(seen.name, "int");
    EXPECT_EQ(seen.reason, "");
    EXPECT_EQ(seen.message, "none");
}

TEST(ExceptionForwardingTest, anEarlierCaughtThrowDoesNotLendItsStack)
{
    const auto seen = runUncaught([] {
        throwAndCatch();
        rethrowMadeException();
    });
    EXPECT_EQ(seen.reason, "late");
    const auto earlier = reinterpret_cast<std::uintptr_t>(&throwAndCatch);
    EXPECT_FALSE(seen.innermost > earlier && seen.innermost < earlier + 256)
        << "the stack of the caught exception is not this one's";
}

TEST(ExceptionForwardingTest, aHandlerAddedTwiceAndRemovedOnceStaysInstalled)
{
    const auto before = ZECrashesUncaughtCXXExceptionHandlerManager::countCXXExceptionHandler();
    ZECrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(&recordingHandler);
    ZECrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(&recordingHandler);
    ZECrashesUncaughtCXXExceptionHandlerManager::removeCXXExceptionHandler(&recordingHandler);
    EXPECT_EQ(ZECrashesUncaughtCXXExceptionHandlerManager::countCXXExceptionHandler(), before + 1);
    EXPECT_NE(std::get_terminate(), nullptr);
    ZECrashesUncaughtCXXExceptionHandlerManager::removeCXXExceptionHandler(&recordingHandler);
    EXPECT_EQ(ZECrashesUncaughtCXXExceptionHandlerManager::countCXXExceptionHandler(), before);
}

} // namespace
} // namespace ze
