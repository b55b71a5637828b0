#include "sdk/analytics/TransmissionTarget/ZEAnalyticsAuthenticationProvider.h"

#include "sdk/analytics/ZEAnalyticsConstants.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/ZETicketCache.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

namespace ze {

ZEAnalyticsAuthenticationProvider::ZEAnalyticsAuthenticationProvider(Type type, std::optional<std::string> ticketKey,
    std::weak_ptr<ZEAnalyticsAuthenticationProviderDelegate> delegate)
    : type_(type)
    , ticketKey_(std::move(ticketKey))
    , delegate_(std::move(delegate))
{
    if (ticketKey_) {
        ticketKeyHash_ = ZEUtility::sha256(*ticketKey_);
    }
}

std::optional<ZEDate> ZEAnalyticsAuthenticationProvider::expiryDate() const
{
    std::lock_guard lock(mutex_);
    return expiryDate_;
}

void ZEAnalyticsAuthenticationProvider::acquireTokenAsync()
{
    std::shared_ptr<int> request;
    std::shared_ptr<ZEAnalyticsAuthenticationProviderDelegate> delegate;
    {
        std::lock_guard lock(mutex_);
        delegate = delegate_.lock();
        if (!delegate) {
            ZELogError(kZEAnalyticsLogTag, "No completionhandler to acquire token has been set.");
            return;
        }
        if (pendingRequest_) {
            return;
        }
        pendingRequest_ = request = std::make_shared<int>(0);
    }
    std::weak_ptr<ZEAnalyticsAuthenticationProvider> weak = weak_from_this();
    delegate->acquireToken(*this, [weak, request](const std::optional<std::string>& token, const std::optional<ZEDate>& expiry) {
        if (auto self = weak.lock()) {
            self->handleTokenUpdate(token, expiry, request);
        }
    });
}

void ZEAnalyticsAuthenticationProvider::handleTokenUpdate(const std::optional<std::string>& token,
    const std::optional<ZEDate>& expiry, const std::shared_ptr<int>& request)
{
    std::lock_guard lock(mutex_);
    if (request != pendingRequest_) {
        return;
    }
    pendingRequest_.reset();
    ZELogDebug(kZEAnalyticsLogTag, "Got result back from ZEAcquireTokenCompletionBlock.");
    if (!token) {
        ZELogError(kZEAnalyticsLogTag, "Token must not be null");
        return;
    }
    if (!expiry) {
        ZELogError(kZEAnalyticsLogTag, "Date must not be null");
        return;
    }
    const std::string prefix = type_ == Msa ? "p" : "d";
    ZETicketCache::sharedInstance().setTicket(ZEFormat("%@:%@", prefix, *token), ticketKeyHash_.value_or(""));
    expiryDate_ = expiry;
}

void ZEAnalyticsAuthenticationProvider::checkTokenExpiry()
{
    std::unique_lock lock(mutex_);
    if (!expiryDate_) {
        return;
    }
    using std::chrono::duration_cast;
    using std::chrono::seconds;
    const auto now = duration_cast<seconds>(ZEUtility::now().time_since_epoch()).count();
    const auto expires = duration_cast<seconds>(expiryDate_->time_since_epoch()).count();
    if (now + kZETokenRefreshThresholdSeconds >= expires) {
        lock.unlock();
        acquireTokenAsync();
    }
}

} // namespace ze
