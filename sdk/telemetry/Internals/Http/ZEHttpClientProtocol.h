// The HTTP client as the ingestions see it: send with retries, pause, resume, switch off.
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZEHttpTransport.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ze {

using ZEHttpHeaders = std::map<std::string, std::string>;
// Body, response and error of a finished call; the response is absent after a transport error.
using ZEHttpRequestCompletionHandler = std::function<void(const std::optional<ZEData>& body,
    const std::optional<ZEHttpResponse>& response, const std::optional<ZEError>& error)>;

// Retry schedule of a call, in seconds: 10 s, 5 min, 20 min.
inline const std::vector<double> kZEDefaultRetryIntervals{10, 300, 1200};

class ZEHttpClientDelegate {
public:
    virtual ~ZEHttpClientDelegate() = default;
    // Told just before each request goes out.
    virtual void willSendHTTPRequestToURL(const std::string& url, const ZEHttpHeaders& headers) = 0;
};

class ZEHttpClientProtocol {
public:
    virtual ~ZEHttpClientProtocol() = default;
    virtual void sendAsync(const std::string& url, const std::string& method, const ZEHttpHeaders& headers,
        const std::optional<ZEData>& data, const std::vector<double>& retryIntervals, bool compressionEnabled,
        ZEHttpRequestCompletionHandler completion) = 0;
    // The default schedule, with compression allowed.
    void sendAsync(const std::string& url, const std::string& method, const ZEHttpHeaders& headers,
        const std::optional<ZEData>& data, ZEHttpRequestCompletionHandler completion)
    {
        sendAsync(url, method, headers, data, kZEDefaultRetryIntervals, true, std::move(completion));
    }
    virtual void pause() = 0;
    virtual void resume() = 0;
    // Stores the flag only; `setEnabled(enabled, deleteData)` is the full switch.
    virtual void setEnabled(bool enabled) = 0;
    virtual void setEnabled(bool enabled, bool deleteDataOnDisabled) = 0;
    virtual void setDelegate(std::weak_ptr<ZEHttpClientDelegate> delegate) = 0;
};

} // namespace ze
