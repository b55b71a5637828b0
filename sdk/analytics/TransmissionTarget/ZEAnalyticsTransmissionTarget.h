// A transmission target addresses events to the collector route under its token. Targets form a
// tree; each has a persisted enabled switch ("AnalyticsIsEnabled/<target key>") and a property
// configurator whose values fill the common-schema logs of its events, children inheriting.
#pragma once

#include "sdk/analytics/Model/ZEEventProperties.h"
#include "sdk/analytics/TransmissionTarget/ZEAnalyticsAuthenticationProvider.h"
#include "sdk/telemetry/Internals/Channel/ZEChannelGroupDefault.h"

#include <map>

namespace ze {

class ZEAnalyticsTransmissionTarget;

class ZEPropertyConfigurator final : public ZEChannelDelegate {
public:
    explicit ZEPropertyConfigurator(std::weak_ptr<ZEAnalyticsTransmissionTarget> target);

    void setAppVersion(std::optional<std::string> value);
    void setAppName(std::optional<std::string> value);
    void setAppLocale(std::optional<std::string> value);
    // Stored as "c:<id>"; refused (the previous id kept) unless valid for the collector.
    void setUserId(const std::optional<std::string>& userId);
    void setEventPropertyString(const std::optional<std::string>& value, const std::optional<std::string>& key);
    void setEventPropertyDouble(double value, const std::optional<std::string>& key);
    void setEventPropertyInt64(std::int64_t value, const std::optional<std::string>& key);
    void setEventPropertyBool(bool value, const std::optional<std::string>& key);
    void setEventPropertyDate(const std::optional<ZEDate>& value, const std::optional<std::string>& key);
    void removeEventPropertyForKey(const std::optional<std::string>& key);
    void collectDeviceId();
    // "u:" and the machine's identifier as a UUID; nothing when it cannot be read.
    static std::optional<std::string> getDeviceIdentifier();
    // Adds the default properties whose names `properties` does not hold yet.
    void mergeTypedPropertiesWith(ZEEventProperties& properties) const;

    void channelPrepareLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log) override;

    std::optional<std::string> appVersion, appName, appLocale, userId, deviceId;
    ZEEventProperties eventProperties;

private:
    std::weak_ptr<ZEAnalyticsTransmissionTarget> target_;
};

class ZEAnalyticsTransmissionTarget final : public ZEChannelDelegate,
                                            public std::enable_shared_from_this<ZEAnalyticsTransmissionTarget> {
public:
    static std::shared_ptr<ZEAnalyticsTransmissionTarget> make(const std::string& token,
        std::shared_ptr<ZEAnalyticsTransmissionTarget> parent, std::shared_ptr<ZEChannelGroupProtocol> channelGroup);

    static void addAuthenticationProvider(std::shared_ptr<ZEAnalyticsAuthenticationProvider> provider);
    static std::shared_ptr<ZEAnalyticsAuthenticationProvider> authenticationProvider();

    void trackEvent(const std::string& name, const std::optional<ZEStringMap>& properties = std::nullopt,
        std::uint64_t flags = ZEFlagsNormal);
    void trackEvent(const std::string& name, const std::shared_ptr<ZEEventProperties>& properties,
        std::uint64_t flags = ZEFlagsNormal);
    std::shared_ptr<ZEAnalyticsTransmissionTarget> transmissionTargetForToken(const std::string& token);
    bool isEnabled() const;
    void setEnabled(bool enabled);
    void pause();
    void resume();
    // The parent's switch, or the analytics service's for a top-level target.
    bool isImmediateParent() const;

    void channelPrepareLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log) override;

    const std::string& transmissionTargetToken() const { return token_; }
    const std::string& isEnabledKey() const { return isEnabledKey_; }
    const std::shared_ptr<ZEPropertyConfigurator>& propertyConfigurator() const { return configurator_; }
    const std::shared_ptr<ZEAnalyticsTransmissionTarget>& parentTarget() const { return parent_; }

private:
    ZEAnalyticsTransmissionTarget() = default;

    std::string token_;
    std::string isEnabledKey_;
    std::shared_ptr<ZEAnalyticsTransmissionTarget> parent_;
    std::shared_ptr<ZEChannelGroupProtocol> channelGroup_;
    std::shared_ptr<ZEPropertyConfigurator> configurator_;
    std::map<std::string, std::shared_ptr<ZEAnalyticsTransmissionTarget>> children_;
};

} // namespace ze
