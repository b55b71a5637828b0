// The ingestion of the service's "/logs?api-version=1.0.0" endpoint: a JSON body {"logs":[...]}
// with the install id and the application secret as headers. It cannot send without a secret.
#pragma once

#include "sdk/telemetry/Internals/Ingestion/ZEHttpIngestion.h"

namespace ze {

class ZEZavEdurovIngestion final : public ZEHttpIngestion {
public:
    static std::shared_ptr<ZEZavEdurovIngestion> make(std::shared_ptr<ZEHttpClientProtocol> httpClient,
        const std::string& baseUrl, const std::string& installId);
    ZEZavEdurovIngestion(std::shared_ptr<ZEHttpClientProtocol> httpClient, const std::string& baseUrl,
        const std::string& installId);

    std::optional<std::string> appSecret() const;
    void setAppSecret(std::optional<std::string> appSecret);

    bool isReadyToSend() const override;
    // The batch id of the container stands in for the call id in the completion.
    void sendAsync(const std::shared_ptr<ZELogContainer>& container, ZESendAsyncCompletionHandler completion) override;
    void willSendHTTPRequestToURL(const std::string& url, const ZEHttpHeaders& headers) override;

protected:
    std::optional<ZEHttpHeaders> getHeadersWithData(const ZELogContainer& container,
        const std::optional<std::string>& eTag) override;
    std::optional<ZEData> getPayloadWithData(const ZELogContainer& container) override;
    std::optional<std::string> obfuscateResponsePayload(const std::optional<std::string>& payload) override
    {
        return payload;
    }
    std::string className() const override { return "ZEZavEdurovIngestion"; }

private:
    std::optional<std::string> appSecret_;
};

} // namespace ze
