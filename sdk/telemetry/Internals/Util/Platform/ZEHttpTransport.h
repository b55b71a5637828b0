// Carries one HTTP request at a time to a server and hands back what came of it. The default
// transport is libcurl on a thread of its own, reusing connections; tests replace it.
#pragma once

#include "sdk/telemetry/Internals/Util/ZEError.h"
#include "sdk/telemetry/Internals/Util/Platform/ZETypes.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace ze {

struct ZEHttpRequest {
    std::string url;
    std::string method;
    std::map<std::string, std::string> headers;
    ZEData body;
};

struct ZEHttpResponse {
    long statusCode = 0;
    std::map<std::string, std::string> headers;
    // The value of the header whose name matches `name` case-insensitively.
    std::optional<std::string> header(const std::string& name) const;
};

// Called once per task, on a thread of the transport, unless the task was cancelled.
using ZEHttpTaskCompletion = std::function<void(const ZEData& body, const std::optional<ZEHttpResponse>& response,
    const std::optional<ZEError>& error)>;

class ZEHttpTransport {
public:
    virtual ~ZEHttpTransport() = default;
    virtual void start(ZEHttpRequest request, ZEHttpTaskCompletion completion) = 0;
    // Abandons every task not yet completed; their completions are never called.
    virtual void cancelAll() = 0;
};

// libcurl without cookies or caches, a 60-second time-out, at most `maxConnectionsPerHost`
// connections (0: libcurl's default). Transport failures map to the URL-loading codes
// (-1001 timed out, -1003/-1004 host not found or refused, -1005 connection lost, -1200 TLS).
std::shared_ptr<ZEHttpTransport> ZEMakeCurlTransport(long maxConnectionsPerHost);

} // namespace ze
