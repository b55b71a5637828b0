// The SDK's HTTP client: every call stays pending until it has a final outcome. Recoverable
// statuses (5xx, 408, 429, none) are retried on the call's schedule with random spread, or after
// the server's "x-ms-retry-after-ms"; a call out of retries pauses the client. A lost network
// keeps calls pending until it is back. Any other status disables the client and cancels every
// other pending call.
#pragma once

#include "sdk/telemetry/Internals/Http/ZEHttpCall.h"
#include "sdk/telemetry/Internals/Http/ZEHttpClientProtocol.h"
#include "sdk/telemetry/Internals/Util/ZE_Reachability.h"

#include <mutex>
#include <set>

namespace ze {

class ZEHttpClient final : public ZEHttpClientProtocol, public std::enable_shared_from_this<ZEHttpClient> {
public:
    // A client watching the machine's internet connection, over libcurl unless `transport` is given.
    static std::shared_ptr<ZEHttpClient> make(std::optional<long> maxHttpConnectionsPerHost = std::nullopt,
        std::shared_ptr<ZE_Reachability> reachability = ZE_Reachability::reachabilityForInternetConnection(),
        std::shared_ptr<ZEHttpTransport> transport = nullptr);
    ~ZEHttpClient() override;
    ZEHttpClient(const ZEHttpClient&) = delete;
    ZEHttpClient& operator=(const ZEHttpClient&) = delete;

    using ZEHttpClientProtocol::sendAsync;
    void sendAsync(const std::string& url, const std::string& method, const ZEHttpHeaders& headers,
        const std::optional<ZEData>& data, const std::vector<double>& retryIntervals, bool compressionEnabled,
        ZEHttpRequestCompletionHandler completion) override;
    void sendCallAsync(const std::shared_ptr<ZEHttpCall>& call);
    void pause() override;
    void resume() override;
    void setEnabled(bool enabled) override;
    void setEnabled(bool enabled, bool deleteDataOnDisabled) override;
    void setDelegate(std::weak_ptr<ZEHttpClientDelegate> delegate) override;

    bool isPaused() const;
    bool isEnabled() const;
    std::size_t pendingCallsCount() const;

private:
    ZEHttpClient(std::optional<long> maxHttpConnectionsPerHost, std::shared_ptr<ZE_Reachability> reachability,
        std::shared_ptr<ZEHttpTransport> transport);
    void start();
    void networkStateChanged();
    void requestCompleted(const std::shared_ptr<ZEHttpCall>& call, const ZEData& body,
        const std::optional<ZEHttpResponse>& response, const std::optional<ZEError>& error);

    mutable std::recursive_mutex mutex_;
    std::optional<long> maxHttpConnectionsPerHost_;
    std::shared_ptr<ZE_Reachability> reachability_;
    int reachabilityToken_ = 0;
    std::shared_ptr<ZEHttpTransport> transport_;
    bool injectedTransport_ = false;
    std::set<std::shared_ptr<ZEHttpCall>> pendingCalls_;
    std::weak_ptr<ZEHttpClientDelegate> delegate_;
    bool paused_ = false;
    bool enabled_ = true;
    // Retry timers fire here, on the SDK's clock.
    ZESerialQueue retryQueue_;
};

} // namespace ze
