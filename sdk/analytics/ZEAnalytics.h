// The analytics service: turns the application's events and page views into logs, checks them
// against the analytics limits, sends them through its units "Analytics" and "Analytics_critical",
// runs the session tracker and hands out transmission targets. The static operations are the
// public interface.
#pragma once

#include "sdk/analytics/Model/ZEAnalyticsLogs.h"
#include "sdk/analytics/Session/ZESessionTracker.h"
#include "sdk/analytics/ZEAnalyticsConstants.h"
#include "sdk/telemetry/Internals/Service/ZEServiceAbstract.h"

#include <map>

namespace ze {

class ZEAnalyticsTransmissionTarget;

// Told about the sends of event and page logs; every callback is optional.
class ZEAnalyticsDelegate {
public:
    virtual ~ZEAnalyticsDelegate() = default;
    virtual void willSendEventLog(const std::shared_ptr<ZEEventLog>&) {}
    virtual void didSucceedSendingEventLog(const std::shared_ptr<ZEEventLog>&) {}
    virtual void didFailSendingEventLog(const std::shared_ptr<ZEEventLog>&, const std::optional<ZEError>&) {}
    virtual void willSendPageLog(const std::shared_ptr<ZEPageLog>&) {}
    virtual void didSucceedSendingPageLog(const std::shared_ptr<ZEPageLog>&) {}
    virtual void didFailSendingPageLog(const std::shared_ptr<ZEPageLog>&, const std::optional<ZEError>&) {}
};

class ZEAnalytics final : public ZEServiceAbstract,
                          public ZEChannelDelegate,
                          public ZESessionTrackerDelegate,
                          public std::enable_shared_from_this<ZEAnalytics> {
public:
    static std::shared_ptr<ZEAnalytics> sharedInstance();
    static void resetSharedInstance();

    // ---- public interface
    static void trackEvent(const std::string& name, const std::optional<ZEStringMap>& properties = std::nullopt,
        std::uint64_t flags = ZEFlagsNormal);
    static void trackEvent(const std::string& name, const std::shared_ptr<ZEEventProperties>& properties,
        std::uint64_t flags = ZEFlagsNormal);
    static void trackPage(const std::string& name, const std::optional<ZEStringMap>& properties = std::nullopt);
    static void pause();
    static void resume();
    static void startSession();
    static void enableManualSessionTracker();
    static void setAutoPageTrackingEnabled(bool enabled);
    static bool isAutoPageTrackingEnabled();
    static std::uint64_t transmissionInterval();
    static void setTransmissionInterval(std::uint64_t seconds);
    static std::shared_ptr<ZEAnalyticsTransmissionTarget> transmissionTargetForToken(const std::string& token);
    static void pauseTransmissionTargetForToken(const std::string& token);
    static void resumeTransmissionTargetForToken(const std::string& token);
    static void setDelegate(std::shared_ptr<ZEAnalyticsDelegate> delegate);

    ZEAnalytics();

    // ---- service
    std::string serviceName() const override { return kZEAnalyticsServiceName; }
    std::string logTag() const override { return kZEAnalyticsLogTag; }
    bool isAppSecretRequired() const override { return false; }
    std::optional<ZEChannelUnitConfiguration> channelUnitConfiguration() const override;
    void startWithChannelGroup(std::shared_ptr<ZEChannelGroupProtocol> channelGroup, std::optional<std::string> appSecret,
        std::optional<std::string> transmissionTargetToken, bool fromApplication) override;
    void updateConfigurationWithAppSecret(std::optional<std::string> appSecret,
        std::optional<std::string> transmissionTargetToken) override;
    void applyEnabledState(bool enabled) override;
    // The base switch, then every transmission target.
    void setEnabled(bool enabled) override;

    void trackEvent(const std::string& name, const std::shared_ptr<ZEEventProperties>& properties,
        const std::shared_ptr<ZEAnalyticsTransmissionTarget>& target, std::uint64_t flags);
    void trackEvent(const std::string& name, const std::optional<ZEStringMap>& properties,
        const std::shared_ptr<ZEAnalyticsTransmissionTarget>& target, std::uint64_t flags);
    void trackPageLog(const std::string& name, const std::optional<ZEStringMap>& properties);
    void sendLog(const std::shared_ptr<ZEAbstractLog>& log, std::uint64_t flags);
    std::shared_ptr<ZEAnalyticsTransmissionTarget> createTransmissionTargetForToken(const std::string& token);
    std::shared_ptr<ZEChannelUnitProtocol> collectorChannelUnit();
    std::shared_ptr<ZEChannelUnitProtocol> collectorCriticalChannelUnit();
    const std::shared_ptr<ZEChannelUnitProtocol>& criticalChannelUnit() const { return criticalChannelUnit_; }
    const std::shared_ptr<ZESessionTracker>& sessionTracker() const { return sessionTracker_; }
    const std::shared_ptr<ZEAnalyticsTransmissionTarget>& defaultTransmissionTarget() const { return defaultTransmissionTarget_; }

    // ---- validation (runs on the channel's queue)
    std::optional<bool> channelUnitShouldFilterLog(ZEChannelUnitProtocol& unit, const std::shared_ptr<ZEAbstractLog>& log) override;
    bool validateLog(ZELogWithNameAndProperties& log);
    static std::optional<std::string> validateEventName(const std::optional<std::string>& name, const std::string& logType);
    static std::shared_ptr<ZEEventProperties> validateZavEdurovEventProperties(const std::shared_ptr<ZEEventProperties>& properties);
    static std::shared_ptr<ZETypedProperty> validateZavEdurovTypedProperty(const std::shared_ptr<ZETypedProperty>& property);
    static std::string validateZavEdurovPropertyName(const std::string& key);
    static std::string validateZavEdurovStringTypedPropertyValue(const std::string& value);

    // ---- callbacks
    void sessionTrackerProcessLog(ZESessionTracker& tracker, const std::shared_ptr<ZEAbstractLog>& log) override;
    void channelWillSendLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log) override;
    void channelDidSucceedSendingLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log) override;
    void channelDidFailSendingLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log,
        const std::optional<ZEError>& error) override;

private:
    void pauseOrResume(bool pause);

    bool autoPageTrackingEnabled_ = false;
    std::uint64_t flushInterval_ = kZEAnalyticsDefaultFlushInterval;
    std::shared_ptr<ZESessionTracker> sessionTracker_;
    std::shared_ptr<ZEAnalyticsDelegate> delegate_;
    std::map<std::string, std::shared_ptr<ZEAnalyticsTransmissionTarget>> transmissionTargets_;
    std::shared_ptr<ZEAnalyticsTransmissionTarget> defaultTransmissionTarget_;
    std::shared_ptr<ZEChannelUnitProtocol> criticalChannelUnit_;
    std::shared_ptr<ZEChannelUnitProtocol> collectorChannelUnit_;
    std::shared_ptr<ZEChannelUnitProtocol> collectorCriticalChannelUnit_;
};

} // namespace ze
