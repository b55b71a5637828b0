#include "sdk/telemetry/Internals/Ingestion/ZEZavEdurovIngestion.h"

#include "sdk/telemetry/Internals/Http/ZEHttpUtil.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"

namespace ze {

std::shared_ptr<ZEZavEdurovIngestion> ZEZavEdurovIngestion::make(std::shared_ptr<ZEHttpClientProtocol> httpClient,
    const std::string& baseUrl, const std::string& installId)
{
    auto ingestion = std::make_shared<ZEZavEdurovIngestion>(std::move(httpClient), baseUrl, installId);
    ingestion->attachToClient();
    return ingestion;
}

ZEZavEdurovIngestion::ZEZavEdurovIngestion(std::shared_ptr<ZEHttpClientProtocol> httpClient, const std::string& baseUrl,
    const std::string& installId)
    : ZEHttpIngestion(std::move(httpClient), baseUrl, "/logs",
        {{"Content-Type", "application/json"}, {"Install-ID", installId}}, {{"api-version", "1.0.0"}})
{
}

std::optional<std::string> ZEZavEdurovIngestion::appSecret() const
{
    std::lock_guard lock(mutex_);
    return appSecret_;
}

void ZEZavEdurovIngestion::setAppSecret(std::optional<std::string> appSecret)
{
    std::lock_guard lock(mutex_);
    appSecret_ = std::move(appSecret);
}

bool ZEZavEdurovIngestion::isReadyToSend() const
{
    std::lock_guard lock(mutex_);
    return appSecret_.has_value();
}

void ZEZavEdurovIngestion::sendAsync(const std::shared_ptr<ZELogContainer>& container,
    ZESendAsyncCompletionHandler completion)
{
    if (rejectInvalidContainer(container, completion)) {
        return;
    }
    const std::string batchId = container->batchId.value_or("");
    if (!isReadyToSend()) {
        ZELogError(kZELogTag, "ZavEdurov ingestion is used without app secret.");
        return;
    }
    ZEHttpIngestion::sendAsync(container, std::nullopt, batchId, std::move(completion));
}

std::optional<ZEHttpHeaders> ZEZavEdurovIngestion::getHeadersWithData(const ZELogContainer&, const std::optional<std::string>&)
{
    ZEHttpHeaders headers = httpHeaders();
    headers["App-Secret"] = appSecret_.value_or("");
    return headers;
}

std::optional<ZEData> ZEZavEdurovIngestion::getPayloadWithData(const ZELogContainer& container)
{
    const auto json = container.serializeLog();
    if (!json) {
        return std::nullopt;
    }
    return crypto::bytes(*json);
}

void ZEZavEdurovIngestion::willSendHTTPRequestToURL(const std::string& url, const ZEHttpHeaders& headers)
{
    if (ZELogger::currentLogLevel() != ZELogLevelVerbose) {
        return;
    }
    ZELogVerbose(kZELogTag, "URL: %@", url);
    std::string text;
    for (const auto& [name, value] : headers) {
        text += (text.empty() ? "" : ", ") + name + " = " + (name == "App-Secret" ? ZEHttpUtil::hideSecret(value) : value);
    }
    ZELogVerbose(kZELogTag, "Headers: %@", text);
}

} // namespace ze
