#include "sdk/telemetry/Internals/Ingestion/ZECollectorIngestion.h"

#include "sdk/telemetry/Internals/Model/CommonSchema/ZECommonSchemaLog.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/ZETicketCache.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"

#include <set>

namespace ze {

std::shared_ptr<ZECollectorIngestion> ZECollectorIngestion::make(std::shared_ptr<ZEHttpClientProtocol> httpClient,
    const std::string& baseUrl)
{
    auto ingestion = std::make_shared<ZECollectorIngestion>(std::move(httpClient), baseUrl);
    ingestion->attachToClient();
    return ingestion;
}

ZECollectorIngestion::ZECollectorIngestion(std::shared_ptr<ZEHttpClientProtocol> httpClient, const std::string& baseUrl)
    : ZEHttpIngestion(std::move(httpClient), baseUrl, ZEFormat("%@/%@", "/Collector", "1.0"),
        {{"Content-Type", "application/x-json-stream; charset=utf-8"},
            {"Client-Version", ZEFormat("ACS-iOS-ObjectiveC-no-%@-no", ZEUtility::sdkVersion())}},
        {})
{
}

void ZECollectorIngestion::sendAsync(const std::shared_ptr<ZELogContainer>& container, ZESendAsyncCompletionHandler completion)
{
    if (rejectInvalidContainer(container, completion)) {
        return;
    }
    const std::string batchId = container->batchId.value_or("");
    ZEHttpIngestion::sendAsync(container, std::nullopt, batchId, std::move(completion));
}

std::optional<ZEHttpHeaders> ZECollectorIngestion::getHeadersWithData(const ZELogContainer& container,
    const std::optional<std::string>&)
{
    ZEHttpHeaders headers = httpHeaders();
    std::set<std::string> tokens;
    ZEJson tickets = ZEJson::object();
    for (const auto& log : container.logs) {
        if (const auto logTokens = log->transmissionTargetTokens()) {
            tokens.insert(logTokens->begin(), logTokens->end());
        }
        const auto* csLog = dynamic_cast<const ZECommonSchemaLog*>(log.get());
        if (!csLog || !csLog->ext || !csLog->ext->protocolExt || !csLog->ext->protocolExt->ticketKeys) {
            continue;
        }
        for (const auto& key : *csLog->ext->protocolExt->ticketKeys) {
            if (const auto ticket = ZETicketCache::sharedInstance().ticketFor(key)) {
                tickets[key] = *ticket;
            }
        }
    }
    std::string apikey;
    for (const auto& token : tokens) {
        apikey += (apikey.empty() ? "" : ",") + token;
    }
    headers["apikey"] = apikey;
    if (!tickets.empty()) {
        headers["Tickets"] = tickets.dump();
    }
    headers["Upload-Time"] = std::to_string(static_cast<long long>(ZEUtility::nowInMilliseconds()));
    return headers;
}

std::optional<ZEData> ZECollectorIngestion::getPayloadWithData(const ZELogContainer& container)
{
    std::string body;
    for (const auto& log : container.logs) {
        const auto json = log->serializeLogWithPrettyPrinting(false);
        if (!json) {
            return std::nullopt;
        }
        body += *json + "\n";
    }
    return crypto::bytes(body);
}

} // namespace ze
