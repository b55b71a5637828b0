// The processes of the end-to-end test, one launch each, over one home folder:
//   ZavEdurovCrashes_crash_child <home> <log url> segv|throw <facts file>
//     starts the SDK with the crash service, stores two logs, holds the channel group's queue so
//     that three more stay in flight (only the crash-time buffer has them), writes the facts the
//     test checks, then crashes by a null write or an uncaught std::runtime_error("boom");
//   ZavEdurovCrashes_crash_child <home> <log url> relaunch
//     starts the SDK again under other ids and runs until the test ends it.
#include "ZEEndToEndSupport.h"

#include "sdk/crashes/ZECrashTimeLogBuffer.h"
#include "sdk/crashes/ZECrashes.h"
#include "sdk/telemetry/Internals/Context/Session/ZESessionContext.h"
#include "sdk/telemetry/Internals/Http/ZEDependencyConfiguration.h"
#include "sdk/telemetry/Internals/Http/ZEHttpClient.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"
#include "sdk/telemetry/ZEZavEdurov.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using namespace ze;

__attribute__((noinline)) void throwUncaught()
{
    throw std::runtime_error("boom");
}

// The undefined-behaviour checker would stop the write before the fault it is meant to cause,
// and an optimiser that sees a constant null drops the write; the empty asm hides the value.
__attribute__((noinline, no_sanitize("undefined"))) void writeThroughNull()
{
    volatile int* target = nullptr;
    asm volatile("" : "+r"(target));
    *target = 42;
}

void startSdk(const std::string& logUrl, const std::shared_ptr<test::EndToEndService>& service)
{
    ZELogger::setLogHandler(nullptr);
    ZEDependencyConfiguration::setHttpClient(ZEHttpClient::make(std::nullopt, nullptr));
    ZEZavEdurov::setLogUrl(logUrl);
    ZEZavEdurov::start("app-secret", {ZECrashes::sharedInstance(), service});
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        return 2;
    }
    const std::filesystem::path home = argv[1];
    const std::string logUrl = argv[2];
    const std::string mode = argv[3];
    ZEPlatform::setHomeOverride(home / "data", home / "config");
    ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    auto service = std::make_shared<test::EndToEndService>();

    if (mode == "relaunch") {
        startSdk(logUrl, service);
        ZESessionContext::sharedInstance()->setSessionId("session-after-the-crash");
        ZEZavEdurov::setUserId("user-after-the-crash");
        for (;;) {
            ::pause();
        }
    }
    if (argc < 5) {
        return 2;
    }
    startSdk(logUrl, service);
    ZESessionContext::sharedInstance()->setSessionId("session-at-the-crash");
    ZEZavEdurov::setUserId("user-at-the-crash");
    service->channelUnit()->enqueueItem(test::indexedLog(1), ZEFlagsNormal);
    service->channelUnit()->enqueueItem(test::indexedLog(2), ZEFlagsNormal);
    auto queue = ZEZavEdurov::channelGroup()->logsDispatchQueue();
    queue->drain();
    queue->async([] {
        for (;;) {
            ::pause();
        }
    });
    // An enqueue waits for the queue to store the log, after the crash service buffered it.
    for (int index = 100; index < 103; ++index) {
        std::thread([service, index] { service->channelUnit()->enqueueItem(test::indexedLog(index), ZEFlagsNormal); }).detach();
    }
    while (ZECrashTimeLogBuffer::shared().usedSlotCount() < 3) {
        ::usleep(1'000);
    }
    {
        std::ofstream facts(argv[4]);
        facts << reinterpret_cast<std::uintptr_t>(&throwUncaught) << "\n";
    }
    if (mode == "throw") {
        throwUncaught();
    }
    writeThroughNull();
    return 1;
}
