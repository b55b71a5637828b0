// Obtains user tokens from the host for the common-schema logs of transmission targets and keeps
// them as tickets ("p:<token>" or "d:<token>") in the ticket cache under the SHA-256 of the ticket
// key, asking again from 10 minutes before the token expires; one request at a time.
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZETypes.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace ze {

class ZEAnalyticsAuthenticationProvider;

using ZEAcquireTokenCompletion = std::function<void(const std::optional<std::string>& token, const std::optional<ZEDate>& expiry)>;

class ZEAnalyticsAuthenticationProviderDelegate {
public:
    virtual ~ZEAnalyticsAuthenticationProviderDelegate() = default;
    virtual void acquireToken(ZEAnalyticsAuthenticationProvider& provider, ZEAcquireTokenCompletion completion) = 0;
};

// A token is asked for again from this many seconds before it expires.
inline constexpr std::int64_t kZETokenRefreshThresholdSeconds = 600;

class ZEAnalyticsAuthenticationProvider : public std::enable_shared_from_this<ZEAnalyticsAuthenticationProvider> {
public:
    enum Type : std::uint64_t { Msa = 0, Aad = 1 };

    ZEAnalyticsAuthenticationProvider(Type type, std::optional<std::string> ticketKey,
        std::weak_ptr<ZEAnalyticsAuthenticationProviderDelegate> delegate);

    void acquireTokenAsync();
    void checkTokenExpiry();

    Type type() const { return type_; }
    const std::optional<std::string>& ticketKey() const { return ticketKey_; }
    const std::optional<std::string>& ticketKeyHash() const { return ticketKeyHash_; }
    std::optional<ZEDate> expiryDate() const;

private:
    void handleTokenUpdate(const std::optional<std::string>& token, const std::optional<ZEDate>& expiry,
        const std::shared_ptr<int>& request);

    mutable std::recursive_mutex mutex_;
    Type type_;
    std::optional<std::string> ticketKey_;
    std::optional<std::string> ticketKeyHash_;
    std::weak_ptr<ZEAnalyticsAuthenticationProviderDelegate> delegate_;
    std::optional<ZEDate> expiryDate_;
    // Identifies the pending request; nothing while none is pending.
    std::shared_ptr<int> pendingRequest_;
};

} // namespace ze
