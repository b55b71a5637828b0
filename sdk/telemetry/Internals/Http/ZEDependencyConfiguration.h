// The one injection point of the HTTP layer: a client set here before the SDK starts is used in
// place of a new one.
#pragma once

#include "sdk/telemetry/Internals/Http/ZEHttpClientProtocol.h"

#include <memory>

namespace ze {

class ZEDependencyConfiguration {
public:
    static std::shared_ptr<ZEHttpClientProtocol> httpClient();
    static void setHttpClient(std::shared_ptr<ZEHttpClientProtocol> httpClient);
};

} // namespace ze
