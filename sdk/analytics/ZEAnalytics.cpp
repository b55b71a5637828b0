#include "sdk/analytics/ZEAnalytics.h"

#include "sdk/analytics/TransmissionTarget/ZEAnalyticsTransmissionTarget.h"
#include "sdk/analytics/ZEAnalyticsCategory.h"
#include "sdk/telemetry/Internals/Channel/ZECollectorChannelDelegate.h"
#include "sdk/telemetry/Internals/Context/UserId/ZEUserIdContext.h"
#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEUuid.h"

namespace ze {

namespace {

struct Slot {
    std::mutex mutex;
    std::shared_ptr<ZEAnalytics> instance;
};

Slot& slot()
{
    static auto* instance = new Slot;
    return *instance;
}

std::string criticalGroupId()
{
    return ZEFormat("%@_%@", kZEAnalyticsServiceName, kZEAnalyticsCriticalSuffix);
}

} // namespace

std::shared_ptr<ZEAnalytics> ZEAnalytics::sharedInstance()
{
    std::lock_guard lock(slot().mutex);
    if (!slot().instance) {
        slot().instance = std::make_shared<ZEAnalytics>();
        slot().instance->sessionTracker_->setDelegate(slot().instance.get());
    }
    return slot().instance;
}

void ZEAnalytics::resetSharedInstance()
{
    std::shared_ptr<ZEAnalytics> old;
    {
        std::lock_guard lock(slot().mutex);
        old = std::move(slot().instance);
    }
    if (old) {
        old->sessionTracker_->stop();
    }
}

ZEAnalytics::ZEAnalytics()
    : sessionTracker_(std::make_shared<ZESessionTracker>())
{
    ZEZavEdurovUserDefaults::shared().migrateKeys(
        {{"ZEZavEdurovAnalyticsIsEnabled", ZEUserDefaultsPrefixKey{"kZEAnalyticsIsEnabledKey"}},
            {"ZEZavEdurovPastSessions", std::string("pastSessionsKey")}},
        kZEAnalyticsServiceName);
    ZEAnalyticsCategory::addAllowedAnalyitcsModuleClasses();
}

std::optional<ZEChannelUnitConfiguration> ZEAnalytics::channelUnitConfiguration() const
{
    return ZEChannelUnitConfiguration::defaultConfiguration(groupId(), flushInterval_);
}

void ZEAnalytics::startWithChannelGroup(std::shared_ptr<ZEChannelGroupProtocol> channelGroup,
    std::optional<std::string> appSecret, std::optional<std::string> transmissionTargetToken, bool fromApplication)
{
    std::lock_guard guard(lock());
    ZEServiceAbstract::startWithChannelGroup(channelGroup, appSecret, transmissionTargetToken, fromApplication);
    if (transmissionTargetToken) {
        defaultTransmissionTarget_ = createTransmissionTargetForToken(*transmissionTargetToken);
    }
    criticalChannelUnit_ = channelGroup_->addChannelUnitWithConfiguration(ZEChannelUnitConfiguration::defaultConfiguration(criticalGroupId()));
    // The first pass of the enabled state ran before the critical unit existed.
    if (isEnabled() && criticalChannelUnit_) {
        criticalChannelUnit_->setEnabled(true, true);
    }
    ZELogVerbose(kZEAnalyticsLogTag, "Started Analytics service.");
}

void ZEAnalytics::updateConfigurationWithAppSecret(std::optional<std::string> appSecret,
    std::optional<std::string> transmissionTargetToken)
{
    std::lock_guard guard(lock());
    ZEServiceAbstract::updateConfigurationWithAppSecret(appSecret, transmissionTargetToken);
    if (transmissionTargetToken && !defaultTransmissionTarget_) {
        defaultTransmissionTarget_ = createTransmissionTargetForToken(*transmissionTargetToken);
    }
}

void ZEAnalytics::applyEnabledState(bool enabled)
{
    ZEServiceAbstract::applyEnabledState(enabled);
    if (criticalChannelUnit_) {
        criticalChannelUnit_->setEnabled(enabled, true);
    }
    if (isStartedFromApplication()) {
        if (enabled) {
            pauseOrResume(false);
            sessionTracker_->start();
            channelGroup_->addDelegate(sessionTracker_);
            channelGroup_->addDelegate(shared_from_this());
            if (autoPageTrackingEnabled_) {
                ZEPlatform::mainThreadExecutor()->post([] {
                    const auto missed = ZEAnalyticsCategory::missedPageViewName();
                    if (missed && !missed->empty()) {
                        ZEAnalytics::trackPage(*missed);
                    }
                });
            }
        } else {
            channelGroup_->removeDelegate(sessionTracker_);
            channelGroup_->removeDelegate(shared_from_this());
            sessionTracker_->stop();
            ZESessionContext::sharedInstance()->clearSessionHistoryAndKeepCurrentSession(false);
        }
    }
    ZELogInfo(kZEAnalyticsLogTag, enabled ? "Analytics service has been enabled." : "Analytics service has been disabled.");
}

void ZEAnalytics::setEnabled(bool enabled)
{
    std::lock_guard guard(lock());
    ZEServiceAbstract::setEnabled(enabled);
    for (const auto& [token, target] : transmissionTargets_) {
        target->setEnabled(enabled);
    }
    if (defaultTransmissionTarget_) {
        defaultTransmissionTarget_->setEnabled(enabled);
    }
}

void ZEAnalytics::trackEvent(const std::string& name, const std::optional<ZEStringMap>& properties, std::uint64_t flags)
{
    sharedInstance()->trackEvent(name, properties, nullptr, flags);
}

void ZEAnalytics::trackEvent(const std::string& name, const std::shared_ptr<ZEEventProperties>& properties, std::uint64_t flags)
{
    sharedInstance()->trackEvent(name, properties, nullptr, flags);
}

void ZEAnalytics::trackEvent(const std::string& name, const std::optional<ZEStringMap>& properties,
    const std::shared_ptr<ZEAnalyticsTransmissionTarget>& target, std::uint64_t flags)
{
    // Every key and value of a string map is a string here; only absent maps need care.
    trackEvent(name, std::make_shared<ZEEventProperties>(properties.value_or(ZEStringMap())), target, flags);
}

void ZEAnalytics::trackEvent(const std::string& name, const std::shared_ptr<ZEEventProperties>& properties,
    const std::shared_ptr<ZEAnalyticsTransmissionTarget>& target, std::uint64_t flags)
{
    auto log = std::make_shared<ZEEventLog>();
    // Made before the lock is taken: drawing the random bytes is a system call.
    log->eventId = ZEUuid::create().UUIDString();
    std::uint64_t persistence = flags & 0xFF;
    bool targeted = false;
    {
        std::lock_guard guard(lock());
        if (!canBeUsed() || !isEnabled()) {
            return;
        }
        const auto& chosen = target ? target : defaultTransmissionTarget_;
        if (persistence != ZEFlagsNormal && persistence != ZEFlagsCritical) {
            ZELogWarning(kZEAnalyticsLogTag, "Invalid flags (%u) received, using normal as a default.", persistence);
            persistence = ZEFlagsNormal;
        }
        if (chosen) {
            if (!chosen->isEnabled()) {
                ZELogError(kZEAnalyticsLogTag, "This transmission target is disabled.");
                return;
            }
            log->addTransmissionTargetToken(chosen->transmissionTargetToken());
            log->tag = chosen;
            if (chosen == defaultTransmissionTarget_) {
                log->userId = ZEUserIdContext::sharedInstance()->userId();
            }
            targeted = true;
        }
    }
    // Checking the properties copies each of them and touches nothing of the service's: done
    // outside the lock, threads tracking at once check theirs at once.
    const auto checked = targeted ? properties : validateZavEdurovEventProperties(properties);
    log->name = name;
    if (checked && !checked->isEmpty()) {
        log->typedProperties = checked;
    }
    sendLog(log, persistence);
}

void ZEAnalytics::trackPage(const std::string& name, const std::optional<ZEStringMap>& properties)
{
    sharedInstance()->trackPageLog(name, properties);
}

void ZEAnalytics::trackPageLog(const std::string& name, const std::optional<ZEStringMap>& properties)
{
    auto log = std::make_shared<ZEPageLog>();
    {
        std::lock_guard guard(lock());
        if (!canBeUsed() || !isEnabled()) {
            return;
        }
        log->name = name;
        if (properties && !properties->empty()) {
            log->properties = properties;
        }
    }
    sendLog(log, ZEFlagsNormal);
}

// Called without the service's lock: an enqueue waits for the store to commit the log, behind
// whatever the store is doing for other threads, and tracking threads must not queue up on the
// lock meanwhile. The units are set once, at start.
void ZEAnalytics::sendLog(const std::shared_ptr<ZEAbstractLog>& log, std::uint64_t flags)
{
    const auto& unit = (flags & ZEFlagsCritical) ? criticalChannelUnit_ : channelUnit_;
    if (unit) {
        unit->enqueueItem(log, flags);
    }
}

void ZEAnalytics::pause()
{
    sharedInstance()->pauseOrResume(true);
}

void ZEAnalytics::resume()
{
    sharedInstance()->pauseOrResume(false);
}

void ZEAnalytics::pauseOrResume(bool pause)
{
    std::lock_guard guard(lock());
    if (!canBeUsed()) {
        return;
    }
    for (const auto& unit : {channelUnit_, criticalChannelUnit_}) {
        if (unit && pause) {
            unit->pauseWithIdentifyingObject(this);
        } else if (unit) {
            unit->resumeWithIdentifyingObject(this);
        }
    }
}

void ZEAnalytics::startSession()
{
    sharedInstance()->sessionTracker_->startSession();
}

void ZEAnalytics::enableManualSessionTracker()
{
    sharedInstance()->sessionTracker_->enableManualSessionTracker();
}

void ZEAnalytics::setAutoPageTrackingEnabled(bool enabled)
{
    sharedInstance()->autoPageTrackingEnabled_ = enabled;
}

bool ZEAnalytics::isAutoPageTrackingEnabled()
{
    return sharedInstance()->autoPageTrackingEnabled_;
}

std::uint64_t ZEAnalytics::transmissionInterval()
{
    return sharedInstance()->flushInterval_;
}

void ZEAnalytics::setTransmissionInterval(std::uint64_t seconds)
{
    auto self = sharedInstance();
    if (self->isStarted()) {
        ZELogError(kZEAnalyticsLogTag, "The transmission interval should be set before the ZEAnalytics service is started.");
        return;
    }
    if (seconds < kZEAnalyticsMinFlushInterval || seconds > kZEAnalyticsMaxFlushInterval) {
        ZELogError(kZEAnalyticsLogTag,
            "The transmission interval is not valid, it should be between %u second(s) and %u second(s) (%u day).",
            kZEAnalyticsMinFlushInterval, kZEAnalyticsMaxFlushInterval, 1);
        return;
    }
    self->flushInterval_ = seconds;
    ZELogDebug(kZEAnalyticsLogTag, "Transmission interval set to %u second(s)", seconds);
}

std::shared_ptr<ZEAnalyticsTransmissionTarget> ZEAnalytics::transmissionTargetForToken(const std::string& token)
{
    auto self = sharedInstance();
    std::lock_guard guard(self->lock());
    if (const auto found = self->transmissionTargets_.find(token); found != self->transmissionTargets_.end()) {
        ZELogDebug(kZEAnalyticsLogTag, "Returning transmission target found with id %@.", ZEUtility::targetKeyFromTargetToken(token));
        return found->second;
    }
    auto target = self->createTransmissionTargetForToken(token);
    self->transmissionTargets_[token] = target;
    return target;
}

std::shared_ptr<ZEAnalyticsTransmissionTarget> ZEAnalytics::createTransmissionTargetForToken(const std::string& token)
{
    auto target = ZEAnalyticsTransmissionTarget::make(token, nullptr, channelGroup_);
    ZELogDebug(kZEAnalyticsLogTag, "Created transmission target with target key %@.", ZEUtility::targetKeyFromTargetToken(token));
    return target;
}

void ZEAnalytics::pauseTransmissionTargetForToken(const std::string& token)
{
    auto self = sharedInstance();
    for (const auto& unit : {self->collectorChannelUnit(), self->collectorCriticalChannelUnit()}) {
        if (unit) {
            unit->pauseSendingLogsWithToken(token);
        }
    }
}

void ZEAnalytics::resumeTransmissionTargetForToken(const std::string& token)
{
    auto self = sharedInstance();
    for (const auto& unit : {self->collectorChannelUnit(), self->collectorCriticalChannelUnit()}) {
        if (unit) {
            unit->resumeSendingLogsWithToken(token);
        }
    }
}

std::shared_ptr<ZEChannelUnitProtocol> ZEAnalytics::collectorChannelUnit()
{
    if (!collectorChannelUnit_ && channelGroup_) {
        collectorChannelUnit_ = channelGroup_->channelUnitForGroupId(groupId() + kZECollectorGroupIdSuffix);
    }
    return collectorChannelUnit_;
}

std::shared_ptr<ZEChannelUnitProtocol> ZEAnalytics::collectorCriticalChannelUnit()
{
    if (!collectorCriticalChannelUnit_ && channelGroup_) {
        collectorCriticalChannelUnit_ = channelGroup_->channelUnitForGroupId(criticalGroupId() + kZECollectorGroupIdSuffix);
    }
    return collectorCriticalChannelUnit_;
}

void ZEAnalytics::setDelegate(std::shared_ptr<ZEAnalyticsDelegate> delegate)
{
    sharedInstance()->delegate_ = std::move(delegate);
}

void ZEAnalytics::sessionTrackerProcessLog(ZESessionTracker&, const std::shared_ptr<ZEAbstractLog>& log)
{
    sendLog(log, ZEFlagsNormal);
}

void ZEAnalytics::channelWillSendLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>& log)
{
    if (!delegate_) {
        return;
    }
    if (auto event = std::dynamic_pointer_cast<ZEEventLog>(log)) {
        delegate_->willSendEventLog(event);
    } else if (auto page = std::dynamic_pointer_cast<ZEPageLog>(log)) {
        delegate_->willSendPageLog(page);
    }
}

void ZEAnalytics::channelDidSucceedSendingLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>& log)
{
    if (!delegate_) {
        return;
    }
    if (auto event = std::dynamic_pointer_cast<ZEEventLog>(log)) {
        delegate_->didSucceedSendingEventLog(event);
    } else if (auto page = std::dynamic_pointer_cast<ZEPageLog>(log)) {
        delegate_->didSucceedSendingPageLog(page);
    }
}

void ZEAnalytics::channelDidFailSendingLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>& log,
    const std::optional<ZEError>& error)
{
    if (!delegate_) {
        return;
    }
    if (auto event = std::dynamic_pointer_cast<ZEEventLog>(log)) {
        delegate_->didFailSendingEventLog(event, error);
    } else if (auto page = std::dynamic_pointer_cast<ZEPageLog>(log)) {
        delegate_->didFailSendingPageLog(page, error);
    }
}

} // namespace ze
