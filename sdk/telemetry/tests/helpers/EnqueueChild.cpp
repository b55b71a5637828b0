// Started by the kill test: enqueues indexed logs for ever against an ingestion that cannot be
// reached, and writes the index of every log to standard output once its enqueue returned.
// Usage: ZavEdurov_enqueue_child <home folder>
#include "../ZEEndToEndSupport.h"

#include "sdk/telemetry/Internals/Http/ZEDependencyConfiguration.h"
#include "sdk/telemetry/Internals/Http/ZEHttpClient.h"
#include "sdk/telemetry/Internals/Util/ZEArchiverUtil.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"
#include "sdk/telemetry/ZEZavEdurov.h"

#include <unistd.h>

#include <cstdio>
#include <string>

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
    for (int index = 0;; ++index) {
        service->channelUnit()->enqueueItem(test::indexedLog(index), ZEFlagsNormal);
        const std::string line = std::to_string(index) + "\n";
        if (::write(STDOUT_FILENO, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            return 1;
        }
    }
}
