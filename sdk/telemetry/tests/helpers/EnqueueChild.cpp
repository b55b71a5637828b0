// Started by the kill test: enqueues indexed logs for ever against an ingestion that cannot be
// reached, from one thread or several at once, and writes the index of every log to standard
// output once its enqueue returned.
// Usage: ZavEdurov_enqueue_child <home folder> [threads, default 1]
#include "../ZEEndToEndSupport.h"

#include "sdk/telemetry/Internals/Http/ZEDependencyConfiguration.h"
#include "sdk/telemetry/Internals/Http/ZEHttpClient.h"
#include "sdk/telemetry/Internals/Util/ZEArchiverUtil.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"
#include "sdk/telemetry/ZEZavEdurov.h"

#include <unistd.h>

#include <algorithm>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv)
{
    using namespace ze;
    if (argc < 2) {
        return 2;
    }
    const std::filesystem::path home = argv[1];
    ZEPlatform::setHomeOverride(home / "data", home / "config");
    ZELogger::setLogHandler(nullptr);
    // Port 1 refuses connections: every send fails and every log stays stored.
    ZEDependencyConfiguration::setHttpClient(ZEHttpClient::make(std::nullopt, nullptr));
    ZEZavEdurov::setLogUrl("http://127.0.0.1:1");
    auto service = std::make_shared<test::EndToEndService>();
    ZEZavEdurov::start("app-secret", {service});
    const int threads = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    // Thread t enqueues the indexes t, t + threads, t + 2 threads...; a line this short reaches
    // the pipe whole, whichever thread writes it.
    const auto enqueueFrom = [&](int first) {
        for (int index = first;; index += threads) {
            service->channelUnit()->enqueueItem(test::indexedLog(index), ZEFlagsNormal);
            const std::string line = std::to_string(index) + "\n";
            if (::write(STDOUT_FILENO, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
                std::_Exit(1);
            }
        }
    };
    std::vector<std::thread> others;
    for (int t = 1; t < threads; ++t) {
        others.emplace_back(enqueueFrom, t);
    }
    enqueueFrom(0);
}
