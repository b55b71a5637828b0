// The base of every telemetry service: a persisted enabled switch ("<groupId>IsEnabled"), the
// start step that connects the service to the channel group and creates its unit, and the guard
// that refuses work before the SDK and the service are started. Services are singletons; the
// "class-level" switch and query take the service's own lock.
#pragma once

#include "sdk/telemetry/Internals/Channel/ZEChannelGroupDefault.h"

#include <atomic>
#include <mutex>

namespace ze {

// Priority of a service at start: higher ones start first. The base's is 500.
inline constexpr int kZEDefaultServicePriority = 500;

class ZEServiceAbstract {
public:
    virtual ~ZEServiceAbstract() = default;
    ZEServiceAbstract(const ZEServiceAbstract&) = delete;
    ZEServiceAbstract& operator=(const ZEServiceAbstract&) = delete;

    // Name of the service and of its log group ("Analytics", "Crashes").
    virtual std::string serviceName() const = 0;
    std::string groupId() const { return serviceName(); }
    virtual std::string logTag() const = 0;
    virtual int initializationPriority() const { return kZEDefaultServicePriority; }
    virtual bool isAppSecretRequired() const { return true; }
    // The service's own unit; nothing: the service has none.
    virtual std::optional<ZEChannelUnitConfiguration> channelUnitConfiguration() const { return std::nullopt; }

    // Persisted switch, YES when nothing is stored.
    bool isEnabled() const;
    // Applies a changed value, then stores it.
    virtual void setEnabled(bool enabled);
    // Disabling deletes the unit's stored logs.
    virtual void applyEnabledState(bool enabled);
    bool canBeUsed() const;
    bool isAvailable() const { return isEnabled() && isStarted(); }
    bool isStarted() const { return started_; }
    bool isStartedFromApplication() const { return startedFromApplication_; }

    virtual void startWithChannelGroup(std::shared_ptr<ZEChannelGroupProtocol> channelGroup,
        std::optional<std::string> appSecret, std::optional<std::string> transmissionTargetToken, bool fromApplication);
    virtual void updateConfigurationWithAppSecret(std::optional<std::string> appSecret,
        std::optional<std::string> transmissionTargetToken);

    // The public switch: refused before start, and while the whole SDK is disabled.
    void setEnabledFromApplication(bool enabled);
    bool isEnabledFromApplication() const;

    const std::shared_ptr<ZEChannelGroupProtocol>& channelGroup() const { return channelGroup_; }
    const std::shared_ptr<ZEChannelUnitProtocol>& channelUnit() const { return channelUnit_; }
    const std::optional<std::string>& appSecret() const { return appSecret_; }
    const std::optional<std::string>& defaultTransmissionTargetToken() const { return defaultTransmissionTargetToken_; }
    std::string isEnabledKey() const { return groupId() + "IsEnabled"; }
    std::recursive_mutex& lock() const { return lock_; }

protected:
    ZEServiceAbstract() = default;

    std::shared_ptr<ZEChannelGroupProtocol> channelGroup_;
    std::shared_ptr<ZEChannelUnitProtocol> channelUnit_;
    std::optional<std::string> appSecret_;
    std::optional<std::string> defaultTransmissionTargetToken_;

private:
    std::atomic<bool> startedFromApplication_{false};
    std::atomic<bool> started_{false};
    mutable std::recursive_mutex lock_;
};

} // namespace ze
