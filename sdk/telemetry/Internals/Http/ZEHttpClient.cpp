#include "sdk/telemetry/Internals/Http/ZEHttpClient.h"

#include "sdk/telemetry/Internals/Http/ZEHttpUtil.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"

#include <charconv>

namespace ze {

namespace {

std::optional<std::uint64_t> parseRetryAfter(const std::optional<std::string>& text)
{
    if (!text || text->empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::shared_ptr<ZEHttpClient> ZEHttpClient::make(std::optional<long> maxHttpConnectionsPerHost,
    std::shared_ptr<ZE_Reachability> reachability, std::shared_ptr<ZEHttpTransport> transport)
{
    std::shared_ptr<ZEHttpClient> client(
        new ZEHttpClient(maxHttpConnectionsPerHost, std::move(reachability), std::move(transport)));
    client->start();
    return client;
}

ZEHttpClient::ZEHttpClient(std::optional<long> maxHttpConnectionsPerHost, std::shared_ptr<ZE_Reachability> reachability,
    std::shared_ptr<ZEHttpTransport> transport)
    : maxHttpConnectionsPerHost_(maxHttpConnectionsPerHost)
    , reachability_(std::move(reachability))
    , transport_(std::move(transport))
    , retryQueue_("com.doridorir.zavedurov.HttpRetryQueue", ZEPlatform::clock())
{
    injectedTransport_ = transport_ != nullptr;
    if (!transport_) {
        transport_ = ZEMakeCurlTransport(maxHttpConnectionsPerHost_.value_or(0));
    }
}

void ZEHttpClient::start()
{
    if (!reachability_) {
        return;
    }
    std::weak_ptr<ZEHttpClient> weak = weak_from_this();
    reachabilityToken_ = reachability_->addObserver([weak](ZE_Reachability&) {
        if (auto self = weak.lock()) {
            self->networkStateChanged();
        }
    });
    reachability_->startNotifier();
}

ZEHttpClient::~ZEHttpClient()
{
    if (reachability_) {
        reachability_->stopNotifier();
        reachability_->removeObserver(reachabilityToken_);
    }
    for (const auto& call : pendingCalls_) {
        call->resetRetry();
    }
}

void ZEHttpClient::sendAsync(const std::string& url, const std::string& method, const ZEHttpHeaders& headers,
    const std::optional<ZEData>& data, const std::vector<double>& retryIntervals, bool compressionEnabled,
    ZEHttpRequestCompletionHandler completion)
{
    std::unique_lock lock(mutex_);
    if (!enabled_) {
        lock.unlock();
        if (completion) {
            completion(std::nullopt, std::nullopt, ZEError{kZEErrorDomain, kZEDisabledErrorCode, "The service is disabled."});
        }
        return;
    }
    sendCallAsync(std::make_shared<ZEHttpCall>(url, method, headers, data, retryIntervals, compressionEnabled,
        std::move(completion)));
}

void ZEHttpClient::sendCallAsync(const std::shared_ptr<ZEHttpCall>& call)
{
    std::lock_guard lock(mutex_);
    pendingCalls_.insert(call);
    if (paused_ || !transport_) {
        return;
    }
    if (auto delegate = delegate_.lock()) {
        delegate->willSendHTTPRequestToURL(call->url, call->headers);
    }
    call->inProgress = true;
    std::weak_ptr<ZEHttpClient> weak = weak_from_this();
    transport_->start({call->url, call->method, call->headers, call->data.value_or(ZEData())},
        [weak, call](const ZEData& body, const std::optional<ZEHttpResponse>& response, const std::optional<ZEError>& error) {
            if (auto self = weak.lock()) {
                self->requestCompleted(call, body, response, error);
            }
        });
}

void ZEHttpClient::requestCompleted(const std::shared_ptr<ZEHttpCall>& call, const ZEData& body,
    const std::optional<ZEHttpResponse>& response, const std::optional<ZEError>& error)
{
    std::unique_lock lock(mutex_);
    call->inProgress = false;
    if (pendingCalls_.count(call) == 0) {
        ZELogDebug(kZELogTag, "HTTP call was canceled; do not process further.");
        return;
    }
    const auto finish = [&](const std::optional<ZEHttpResponse>& with, const std::optional<ZEError>& failure) {
        pendingCalls_.erase(call);
        lock.unlock();
        if (call->completionHandler) {
            call->completionHandler(body, with, failure);
        }
    };
    if (error) {
        const bool noInternet = ZEHttpUtil::isNoInternetConnectionError(error);
        if (noInternet || ZEHttpUtil::isSSLConnectionError(error)) {
            call->resetRetry();
            ZELogInfo(kZELogTag, "HTTP call failed with error: %@",
                noInternet ? "Internet connection is down." : "Could not establish secure connection.");
            return;
        }
        ZELogError(kZELogTag, "HTTP request error with code: %td, domain: %@, description: %@", error->code, error->domain,
            error->localizedDescription);
        finish(std::nullopt, error);
        return;
    }
    const long status = response ? response->statusCode : 0;
    if (ZEHttpUtil::isRecoverableError(status)) {
        if (call->hasReachedMaxRetries()) {
            pause();
            finish(response, std::nullopt);
            return;
        }
        const auto retryAfter = parseRetryAfter(response ? response->header("x-ms-retry-after-ms") : std::nullopt);
        std::weak_ptr<ZEHttpClient> weak = weak_from_this();
        call->startRetryTimer(status, retryAfter, retryQueue_, [weak, call] {
            if (auto self = weak.lock()) {
                self->sendCallAsync(call);
            }
        });
        return;
    }
    if (ZEHttpUtil::isSuccessStatusCode(status)) {
        finish(response, std::nullopt);
        return;
    }
    // Any other status: the service refuses this client; nothing pending will be accepted either.
    pendingCalls_.erase(call);
    if (call->completionHandler) {
        call->completionHandler(body, response, std::nullopt);
    }
    setEnabled(false, true);
}

void ZEHttpClient::pause()
{
    std::lock_guard lock(mutex_);
    if (paused_) {
        return;
    }
    ZELogInfo(kZELogTag, "Pause HTTP client.");
    paused_ = true;
    for (const auto& call : pendingCalls_) {
        call->resetRetry();
    }
}

void ZEHttpClient::resume()
{
    std::lock_guard lock(mutex_);
    if (!paused_ || !enabled_) {
        return;
    }
    ZELogInfo(kZELogTag, "Resume HTTP client.");
    paused_ = false;
    const auto calls = pendingCalls_;
    for (const auto& call : calls) {
        if (!call->inProgress) {
            sendCallAsync(call);
        }
    }
}

void ZEHttpClient::setEnabled(bool enabled)
{
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
}

void ZEHttpClient::setEnabled(bool enabled, bool deleteDataOnDisabled)
{
    std::lock_guard lock(mutex_);
    if (enabled_ == enabled) {
        return;
    }
    enabled_ = enabled;
    if (enabled) {
        if (!transport_) {
            transport_ = ZEMakeCurlTransport(maxHttpConnectionsPerHost_.value_or(0));
        }
        if (reachability_) {
            reachability_->startNotifier();
        }
        resume();
        return;
    }
    if (reachability_) {
        reachability_->stopNotifier();
    }
    pause();
    if (deleteDataOnDisabled) {
        transport_->cancelAll();
        if (!injectedTransport_) {
            transport_.reset();
        }
        const auto calls = std::move(pendingCalls_);
        pendingCalls_.clear();
        for (const auto& call : calls) {
            if (call->completionHandler) {
                call->completionHandler(std::nullopt, std::nullopt,
                    ZEError{kZEErrorDomain, kZECanceledErrorCode, "The operation was canceled."});
            }
        }
    }
}

void ZEHttpClient::setDelegate(std::weak_ptr<ZEHttpClientDelegate> delegate)
{
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

void ZEHttpClient::networkStateChanged()
{
    if (!reachability_) {
        return;
    }
    if (reachability_->currentReachabilityStatus() == ZENotReachable) {
        ZELogInfo(kZELogTag, "Internet connection is down.");
        pause();
    } else {
        ZELogInfo(kZELogTag, "Internet connection is up.");
        resume();
    }
}

bool ZEHttpClient::isPaused() const
{
    std::lock_guard lock(mutex_);
    return paused_;
}

bool ZEHttpClient::isEnabled() const
{
    std::lock_guard lock(mutex_);
    return enabled_;
}

std::size_t ZEHttpClient::pendingCallsCount() const
{
    std::lock_guard lock(mutex_);
    return pendingCalls_.size();
}

} // namespace ze
