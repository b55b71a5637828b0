#include "sdk/telemetry/Internals/Ingestion/ZEHttpIngestion.h"

#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEUuid.h"

#include <cctype>

namespace ze {

namespace {

// Characters a URL query may hold as they are.
std::string percentEncodeQuery(const std::string& text)
{
    static const std::string allowed = "-._~!$&'()*+,;=:@/?";
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || allowed.find(static_cast<char>(c)) != std::string::npos) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 0xF];
        }
    }
    return out;
}

// The base address and the path joined by one slash: a base given with a trailing slash
// ("http://host/") would otherwise make "//logs", which a service routing "/logs" does not know.
std::string joinedUrl(const std::string& base, const std::string& path)
{
    std::string::size_type end = base.size();
    while (end > 0 && base[end - 1] == '/' && !path.empty() && path.front() == '/') {
        --end;
    }
    return base.substr(0, end) + path;
}

// "scheme://host..." with a scheme of letters, digits, "+", "-", "." and a non-empty authority.
bool isParsableUrl(const std::string& url)
{
    const auto colon = url.find("://");
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(url[0]))) {
        return false;
    }
    for (std::size_t i = 0; i < colon; ++i) {
        const unsigned char c = static_cast<unsigned char>(url[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    const auto authorityEnd = url.find_first_of("/?#", colon + 3);
    const std::string authority = url.substr(colon + 3, authorityEnd == std::string::npos ? std::string::npos : authorityEnd - colon - 3);
    if (authority.empty()) {
        return false;
    }
    for (unsigned char c : url) {
        if (c <= 0x20 || c == 0x7F) {
            return false;
        }
    }
    return true;
}

} // namespace

ZEHttpIngestion::ZEHttpIngestion(std::shared_ptr<ZEHttpClientProtocol> httpClient, std::string baseUrl,
    std::string apiPath, ZEHttpHeaders headers, const ZEQueryStrings& queryStrings, std::vector<double> retryIntervals,
    long maxNumberOfConnections)
    : httpClient_(std::move(httpClient))
    , baseURL_(std::move(baseUrl))
    , apiPath_(std::move(apiPath))
    , httpHeaders_(std::move(headers))
    , retryIntervals_(std::move(retryIntervals))
    , maxNumberOfConnections_(maxNumberOfConnections)
{
    std::string query;
    for (const auto& [key, value] : queryStrings) {
        query += (query.empty() ? "" : "&") + key + "=" + value;
    }
    query_ = percentEncodeQuery(query);
    sendURL_ = joinedUrl(baseURL_, apiPath_) + (query_.empty() ? "" : "?" + query_);
}

void ZEHttpIngestion::attachToClient()
{
    if (httpClient_) {
        httpClient_->setDelegate(std::static_pointer_cast<ZEHttpClientDelegate>(shared_from_this()));
    }
}

bool ZEHttpIngestion::isNetworkRequestsAllowed()
{
    const auto value = ZEZavEdurovUserDefaults::shared().objectForKey(kZENetworkRequestsAllowedKey);
    return !value || !std::holds_alternative<bool>(*value) || std::get<bool>(*value);
}

bool ZEHttpIngestion::isEnabled() const
{
    std::lock_guard lock(mutex_);
    return enabled_ && isNetworkRequestsAllowed();
}

void ZEHttpIngestion::setEnabled(bool enabled, bool deleteDataOnDisabled)
{
    (void)deleteDataOnDisabled;
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
}

std::string ZEHttpIngestion::baseURL() const
{
    std::lock_guard lock(mutex_);
    return baseURL_;
}

std::string ZEHttpIngestion::sendURL() const
{
    std::lock_guard lock(mutex_);
    return sendURL_;
}

void ZEHttpIngestion::setBaseURL(const std::string& baseURL)
{
    std::lock_guard lock(mutex_);
    baseURL_ = baseURL;
    const std::string url = joinedUrl(baseURL, apiPath_);
    if (!isParsableUrl(url)) {
        ZELogInfo(kZELogTag, "Failed to update HTTP URL %@ with %@", sendURL_, baseURL);
        return;
    }
    sendURL_ = url + (query_.empty() ? "" : "?" + query_);
}

void ZEHttpIngestion::sendAsync(const std::shared_ptr<ZELogContainer>& container, ZESendAsyncCompletionHandler completion)
{
    sendAsync(container, std::nullopt, ZEUuid::create().UUIDString(), std::move(completion));
}

void ZEHttpIngestion::sendAsync(const std::shared_ptr<ZELogContainer>& container, const std::optional<std::string>& eTag,
    const std::string& callId, ZESendAsyncCompletionHandler completion)
{
    std::unique_lock lock(mutex_);
    if (!isEnabled()) {
        ZELogWarning(kZELogTag, "%@ is disabled.", className());
        lock.unlock();
        if (completion) {
            completion(callId, std::nullopt, std::nullopt, ZEError{kZEErrorDomain, kZEDisabledErrorCode, "The service is disabled."});
        }
        return;
    }
    auto headers = container ? getHeadersWithData(*container, eTag) : std::nullopt;
    lock.unlock();
    // The body (the batch serialised, then compressed by the call) is made on the ingestion's own
    // queue, in the order the batches came: the caller is a unit's queue, and every log enqueued
    // meanwhile waits for that queue to be stored.
    requests_.async([self = shared_from_this(), container, headers = std::move(headers), callId,
                        completion = std::move(completion)]() mutable {
        self->startCall(container, std::move(headers), callId, std::move(completion));
    });
}

void ZEHttpIngestion::startCall(const std::shared_ptr<ZELogContainer>& container, std::optional<ZEHttpHeaders> headers,
    const std::string& callId, ZESendAsyncCompletionHandler completion)
{
    // Without the ingestion's lock, which the units ask on every enqueue whether it is ready:
    // the body is made of the batch alone.
    const auto payload = container ? getPayloadWithData(*container) : std::nullopt;
    std::string url;
    {
        std::lock_guard lock(mutex_);
        url = sendURL_;
    }
    std::weak_ptr<ZEHttpIngestion> weak = weak_from_this();
    httpClient_->sendAsync(url, getHttpMethod(), headers.value_or(ZEHttpHeaders()), payload, retryIntervals_, true,
        [weak, callId, completion = std::move(completion)](const std::optional<ZEData>& body,
            const std::optional<ZEHttpResponse>& response, const std::optional<ZEError>& error) {
            if (auto self = weak.lock()) {
                self->printResponse(response, body, error);
            }
            if (completion) {
                completion(callId, response, body, error);
            }
        });
}

bool ZEHttpIngestion::rejectInvalidContainer(const std::shared_ptr<ZELogContainer>& container,
    const ZESendAsyncCompletionHandler& completion)
{
    if (container && container->isValid()) {
        return false;
    }
    const ZEError error{kZEErrorDomain, kZELogInvalidContainerErrorCode, "Invalid log container."};
    ZELogError(kZELogTag, "%@", error.localizedDescription);
    if (completion) {
        completion(container && container->batchId ? *container->batchId : std::string(), std::nullopt, std::nullopt, error);
    }
    return true;
}

std::optional<ZEHttpHeaders> ZEHttpIngestion::getHeadersWithData(const ZELogContainer&, const std::optional<std::string>&)
{
    return std::nullopt;
}

std::optional<ZEData> ZEHttpIngestion::getPayloadWithData(const ZELogContainer&)
{
    return std::nullopt;
}

std::optional<std::string> ZEHttpIngestion::obfuscateResponsePayload(const std::optional<std::string>&)
{
    return std::nullopt;
}

std::optional<std::string> ZEHttpIngestion::eTagFromResponse(const std::optional<ZEHttpResponse>& response)
{
    return response ? response->header("etag") : std::nullopt;
}

void ZEHttpIngestion::printResponse(const std::optional<ZEHttpResponse>& response, const std::optional<ZEData>& body,
    const std::optional<ZEError>& error)
{
    if (error) {
        ZELogDebug(kZELogTag, "HTTP request error with code: %td, domain: %@, description: %@", error->code, error->domain,
            error->localizedDescription);
        return;
    }
    if (ZELogger::currentLogLevel() > ZELogLevelVerbose) {
        return;
    }
    std::optional<std::string> payload;
    if (body && !body->empty()) {
        const std::string contentType = response ? response->header("Content-Type").value_or("") : "";
        const std::string text = crypto::string(*body);
        if (contentType.rfind("application/json", 0) == 0) {
            payload = obfuscateResponsePayload(ZEUtility::prettyPrintJson(text));
        } else if (contentType.empty() || contentType.rfind("text/", 0) == 0 || contentType.rfind("application/", 0) == 0) {
            payload = obfuscateResponsePayload(text);
        } else {
            payload = "<binary>";
        }
    }
    ZELogVerbose(kZELogTag, "HTTP response received with status code: %tu, payload:\n%@", response ? response->statusCode : 0,
        payload);
}

} // namespace ze
