// Speed of reading back one stored analytics event (a name and 5 string properties, with the
// device, session and time the pipeline adds) as the log store does: Base64 text to bytes, bytes
// to the log. Archiving the same event, its encoding and making an identifier are timed beside it.
//
// Usage: archive_bench [rounds, default 20] [iterations per round, default 20000]
// Prints the best and the median round, in microseconds per call.
#include "sdk/bench/telemetry/BenchSdk.h"
#include "sdk/analytics/Model/ZEAnalyticsLogs.h"
#include "sdk/telemetry/Internals/Util/ZEDeviceTracker.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEUuid.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

using namespace ze;
using Clock = std::chrono::steady_clock;

std::shared_ptr<ZEEventLog> makeEvent()
{
    auto event = std::make_shared<ZEEventLog>();
    event->name = "Transcribe file(s)";
    event->eventId = ZEUuid::create().UUIDString();
    event->sid = ZEUuid::create().UUIDString();
    event->timestamp = ZEUtility::now();
    event->device = ZEDeviceTracker::sharedInstance()->device();
    event->typedProperties = std::make_shared<ZEEventProperties>();
    event->typedProperties->setString(std::string("thread-0"), "thread")
        .setString(std::string("12345"), "index")
        .setString(std::string("video/quicktime"), "type")
        .setString(std::string("en-US"), "language")
        .setString(std::string("speaker labels"), "options");
    return event;
}

// Times `rounds` rounds of `iterations` calls; answers the best and the median round per call.
template <class Work>
std::pair<double, double> time(int rounds, int iterations, Work work)
{
    std::vector<double> perCall;
    for (int round = 0; round < rounds; ++round) {
        const auto start = Clock::now();
        for (int i = 0; i < iterations; ++i) {
            work();
        }
        perCall.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / iterations);
    }
    std::sort(perCall.begin(), perCall.end());
    return {perCall.front(), perCall[perCall.size() / 2]};
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    const int iterations = argc > 2 ? std::atoi(argv[2]) : 20'000;
    if (rounds <= 0 || iterations <= 0) {
        std::fprintf(stderr, "usage: archive_bench [rounds] [iterations per round], each above 0\n");
        return 2;
    }
    const auto home = bench::setUpTelemetrySdk("archive-bench");

    const auto event = makeEvent();
    const ZEData archive = *ZEUtility::archiveKeyedData(event);
    const std::string stored = crypto::base64Encode(archive);
    if (!ZEUtility::unarchiveKeyedData<ZEAbstractLog>(archive)) {
        std::fprintf(stderr, "the event does not read back\n");
        return 1;
    }
    std::printf("event archive: %zu bytes, %zu as Base64\n", archive.size(), stored.size());

    const auto report = [](const char* what, std::pair<double, double> figures) {
        std::printf("%-28s best %7.2f us, median %7.2f us\n", what, figures.first, figures.second);
    };
    report("unarchive", time(rounds, iterations, [&] {
        if (!ZEUtility::unarchiveKeyedData<ZEAbstractLog>(archive)) {
            std::abort();
        }
    }));
    report("base64 decode", time(rounds, iterations, [&] {
        if (!crypto::base64DecodeIgnoringUnknown(stored)) {
            std::abort();
        }
    }));
    report("base64 decode + unarchive", time(rounds, iterations, [&] {
        if (!ZEUtility::unarchiveKeyedData<ZEAbstractLog>(crypto::base64DecodeIgnoringUnknown(stored))) {
            std::abort();
        }
    }));
    report("archive", time(rounds, iterations, [&] {
        if (!ZEUtility::archiveKeyedData(event)) {
            std::abort();
        }
    }));
    report("base64 encode", time(rounds, iterations, [&] { (void)crypto::base64Encode(archive); }));
    report("identifier as text", time(rounds, iterations, [] { (void)ZEUuid::create().UUIDString(); }));
    ZEDeviceTracker::resetSharedInstance();
    std::filesystem::remove_all(home);
    return 0;
}
