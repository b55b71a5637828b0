// The ingestion of the collector route: common-schema logs as newline-delimited JSON to
// "/Collector/1.0", with their target tokens ("apikey"), cached tickets ("Tickets"), the upload
// time and the client version as headers.
#pragma once

#include "sdk/telemetry/Internals/Ingestion/ZEHttpIngestion.h"

namespace ze {

class ZECollectorIngestion final : public ZEHttpIngestion {
public:
    static std::shared_ptr<ZECollectorIngestion> make(std::shared_ptr<ZEHttpClientProtocol> httpClient,
        const std::string& baseUrl);
    ZECollectorIngestion(std::shared_ptr<ZEHttpClientProtocol> httpClient, const std::string& baseUrl);

    void sendAsync(const std::shared_ptr<ZELogContainer>& container, ZESendAsyncCompletionHandler completion) override;

protected:
    std::optional<ZEHttpHeaders> getHeadersWithData(const ZELogContainer& container,
        const std::optional<std::string>& eTag) override;
    std::optional<ZEData> getPayloadWithData(const ZELogContainer& container) override;
    std::optional<std::string> obfuscateResponsePayload(const std::optional<std::string>& payload) override
    {
        return payload;
    }
    std::string className() const override { return "ZECollectorIngestion"; }
};

} // namespace ze
