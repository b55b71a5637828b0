// The generic ingestion: one batch becomes one request to `baseURL` + `apiPath` with fixed
// headers and query, sent through the HTTP client with the retry schedule. Kinds of ingestion
// supply the headers, the body and the method.
#pragma once

#include "sdk/telemetry/Internals/Http/ZEHttpClientProtocol.h"
#include "sdk/telemetry/Internals/Ingestion/ZEIngestionProtocol.h"
#include "sdk/telemetry/Internals/Util/Platform/ZESerialQueue.h"

#include <mutex>
#include <vector>

namespace ze {

// The SDK-wide switch that allows network requests, in the SDK settings; YES when absent.
inline constexpr const char* kZENetworkRequestsAllowedKey = "NetworkRequestsAllowed";

using ZEQueryStrings = std::vector<std::pair<std::string, std::string>>;

class ZEHttpIngestion : public ZEIngestionProtocol,
                        public ZEHttpClientDelegate,
                        public std::enable_shared_from_this<ZEHttpIngestion> {
public:
    // Retry intervals default to 10, 300 and 1,200 s; connections per host to 4.
    ZEHttpIngestion(std::shared_ptr<ZEHttpClientProtocol> httpClient, std::string baseUrl, std::string apiPath,
        ZEHttpHeaders headers, const ZEQueryStrings& queryStrings,
        std::vector<double> retryIntervals = kZEDefaultRetryIntervals, long maxNumberOfConnections = 4);

    // Makes the ingestion the client's delegate; call once it is owned by a shared pointer.
    void attachToClient();

    bool isEnabled() const override;
    bool isReadyToSend() const override { return true; }
    void setEnabled(bool enabled, bool deleteDataOnDisabled) override;
    void sendAsync(const std::shared_ptr<ZELogContainer>& container, ZESendAsyncCompletionHandler completion) override;
    void sendAsync(const std::shared_ptr<ZELogContainer>& container, const std::optional<std::string>& eTag,
        const std::string& callId, ZESendAsyncCompletionHandler completion);
    void willSendHTTPRequestToURL(const std::string& url, const ZEHttpHeaders& headers) override { (void)url, (void)headers; }
    // Returns once every batch accepted so far has been handed to the HTTP client.
    void drainRequests() { requests_.drain(); }

    std::string baseURL() const;
    // Keeps the path and query; an address that does not parse leaves the URL as it was.
    void setBaseURL(const std::string& baseURL);
    std::string sendURL() const;
    const std::string& apiPath() const { return apiPath_; }
    const ZEHttpHeaders& httpHeaders() const { return httpHeaders_; }
    const std::vector<double>& callsRetryIntervals() const { return retryIntervals_; }
    long maxNumberOfConnections() const { return maxNumberOfConnections_; }
    const std::shared_ptr<ZEHttpClientProtocol>& httpClient() const { return httpClient_; }

    static std::optional<std::string> eTagFromResponse(const std::optional<ZEHttpResponse>& response);
    static bool isNetworkRequestsAllowed();

protected:
    virtual std::optional<ZEHttpHeaders> getHeadersWithData(const ZELogContainer& container,
        const std::optional<std::string>& eTag);
    virtual std::optional<ZEData> getPayloadWithData(const ZELogContainer& container);
    virtual std::optional<std::string> obfuscateResponsePayload(const std::optional<std::string>& payload);
    virtual std::string getHttpMethod() const { return "POST"; }
    virtual std::string className() const { return "ZEHttpIngestion"; }
    void printResponse(const std::optional<ZEHttpResponse>& response, const std::optional<ZEData>& body,
        const std::optional<ZEError>& error);
    // A missing or invalid batch: logs and reports error 1 "Invalid log container." and answers true.
    static bool rejectInvalidContainer(const std::shared_ptr<ZELogContainer>& container,
        const ZESendAsyncCompletionHandler& completion);

    mutable std::recursive_mutex mutex_;

private:
    // On `requests_`: makes the body of a batch accepted by `sendAsync` and hands it to the client.
    void startCall(const std::shared_ptr<ZELogContainer>& container, std::optional<ZEHttpHeaders> headers,
        const std::string& callId, ZESendAsyncCompletionHandler completion);

    std::shared_ptr<ZEHttpClientProtocol> httpClient_;
    std::string baseURL_;
    std::string apiPath_;
    ZEHttpHeaders httpHeaders_;
    std::string query_;
    std::string sendURL_;
    std::vector<double> retryIntervals_;
    long maxNumberOfConnections_;
    bool enabled_ = true;
    ZESerialQueue requests_{"com.doridorir.zavedurov.IngestionRequests"};
};

} // namespace ze
