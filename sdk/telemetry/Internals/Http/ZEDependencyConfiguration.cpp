#include "sdk/telemetry/Internals/Http/ZEDependencyConfiguration.h"

#include <mutex>

namespace ze {

namespace {

struct Slot {
    std::mutex mutex;
    std::shared_ptr<ZEHttpClientProtocol> client;
};

Slot& slot()
{
    static auto* instance = new Slot;
    return *instance;
}

} // namespace

std::shared_ptr<ZEHttpClientProtocol> ZEDependencyConfiguration::httpClient()
{
    std::lock_guard lock(slot().mutex);
    return slot().client;
}

void ZEDependencyConfiguration::setHttpClient(std::shared_ptr<ZEHttpClientProtocol> httpClient)
{
    std::lock_guard lock(slot().mutex);
    slot().client = std::move(httpClient);
}

} // namespace ze
