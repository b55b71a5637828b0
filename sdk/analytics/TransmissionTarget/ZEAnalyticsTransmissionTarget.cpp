#include "sdk/analytics/TransmissionTarget/ZEAnalyticsTransmissionTarget.h"

#include "sdk/analytics/ZEAnalytics.h"
#include "sdk/telemetry/Internals/Context/UserId/ZEUserIdContext.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZECommonSchemaLog.h"
#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEFileIO.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEUuid.h"

namespace ze {

namespace {

struct ProviderSlot {
    std::mutex mutex;
    std::shared_ptr<ZEAnalyticsAuthenticationProvider> provider;
};

ProviderSlot& providerSlot()
{
    static auto* slot = new ProviderSlot;
    return *slot;
}

std::recursive_mutex& analyticsLock()
{
    return ZEAnalytics::sharedInstance()->lock();
}

} // namespace

ZEPropertyConfigurator::ZEPropertyConfigurator(std::weak_ptr<ZEAnalyticsTransmissionTarget> target)
    : target_(std::move(target))
{
}

void ZEPropertyConfigurator::setAppVersion(std::optional<std::string> value)
{
    appVersion = std::move(value);
}

void ZEPropertyConfigurator::setAppName(std::optional<std::string> value)
{
    appName = std::move(value);
}

void ZEPropertyConfigurator::setAppLocale(std::optional<std::string> value)
{
    appLocale = std::move(value);
}

void ZEPropertyConfigurator::setUserId(const std::optional<std::string>& id)
{
    if (ZEUserIdContext::isUserIdValidForCollector(id)) {
        userId = ZEUserIdContext::prefixedUserIdFromUserId(id);
    }
}

void ZEPropertyConfigurator::setEventPropertyString(const std::optional<std::string>& value, const std::optional<std::string>& key)
{
    std::lock_guard lock(analyticsLock());
    eventProperties.setString(value, key);
}

void ZEPropertyConfigurator::setEventPropertyDouble(double value, const std::optional<std::string>& key)
{
    std::lock_guard lock(analyticsLock());
    eventProperties.setDouble(value, key);
}

void ZEPropertyConfigurator::setEventPropertyInt64(std::int64_t value, const std::optional<std::string>& key)
{
    std::lock_guard lock(analyticsLock());
    eventProperties.setInt64(value, key);
}

void ZEPropertyConfigurator::setEventPropertyBool(bool value, const std::optional<std::string>& key)
{
    std::lock_guard lock(analyticsLock());
    eventProperties.setBool(value, key);
}

void ZEPropertyConfigurator::setEventPropertyDate(const std::optional<ZEDate>& value, const std::optional<std::string>& key)
{
    std::lock_guard lock(analyticsLock());
    eventProperties.setDate(value, key);
}

void ZEPropertyConfigurator::removeEventPropertyForKey(const std::optional<std::string>& key)
{
    std::lock_guard lock(analyticsLock());
    if (!key) {
        ZELogError(kZEAnalyticsLogTag, "Event property key to remove cannot be nil.");
        return;
    }
    eventProperties.remove(*key);
}

void ZEPropertyConfigurator::collectDeviceId()
{
    deviceId = getDeviceIdentifier();
}

std::optional<std::string> ZEPropertyConfigurator::getDeviceIdentifier()
{
    // The machine id is 32 hexadecimal digits: written in the 8-4-4-4-12 form of a UUID.
    const auto text = ZEReadFile("/etc/machine-id");
    if (!text || text->size() < 32) {
        return std::nullopt;
    }
    const std::string hex = text->substr(0, 32);
    const auto uuid = ZEUuid::fromString(hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-"
        + hex.substr(16, 4) + "-" + hex.substr(20, 12));
    if (!uuid) {
        return std::nullopt;
    }
    return ZEFormat("%c:%@", "u", uuid->UUIDString());
}

void ZEPropertyConfigurator::mergeTypedPropertiesWith(ZEEventProperties& properties) const
{
    const auto present = properties.properties();
    for (const auto& [name, property] : eventProperties.properties()) {
        if (present.count(name) == 0) {
            properties.setProperty(property);
        }
    }
}

void ZEPropertyConfigurator::channelPrepareLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>& log)
{
    const auto target = target_.lock();
    auto* csLog = dynamic_cast<ZECommonSchemaLog*>(log.get());
    if (!target || !csLog || !target->isEnabled() || log->tag != target) {
        return;
    }
    if (!csLog->ext) {
        csLog->ext = std::make_shared<ZECSExtensions>();
    }
    auto& ext = *csLog->ext;
    const auto inherited = [&target](auto field) -> std::optional<std::string> {
        for (auto current = target; current; current = current->parentTarget()) {
            if (const auto& value = field(*current->propertyConfigurator())) {
                return value;
            }
        }
        return std::nullopt;
    };
    if (!ext.appExt) {
        ext.appExt = std::make_shared<ZEAppExtension>();
    }
    if (auto value = inherited([](const ZEPropertyConfigurator& c) { return c.appVersion; })) {
        ext.appExt->ver = value;
    }
    if (auto value = inherited([](const ZEPropertyConfigurator& c) { return c.appName; })) {
        ext.appExt->name = value;
    }
    if (auto value = inherited([](const ZEPropertyConfigurator& c) { return c.appLocale; })) {
        ext.appExt->locale = value;
    }
    if (auto value = inherited([](const ZEPropertyConfigurator& c) { return c.userId; })) {
        if (!ext.userExt) {
            ext.userExt = std::make_shared<ZEUserExtension>();
        }
        ext.userExt->localId = value;
    }
    if (!ext.deviceExt) {
        ext.deviceExt = std::make_shared<ZEDeviceExtension>();
    }
    ext.deviceExt->localId = deviceId;
}

std::shared_ptr<ZEAnalyticsTransmissionTarget> ZEAnalyticsTransmissionTarget::make(const std::string& token,
    std::shared_ptr<ZEAnalyticsTransmissionTarget> parent, std::shared_ptr<ZEChannelGroupProtocol> channelGroup)
{
    std::shared_ptr<ZEAnalyticsTransmissionTarget> target(new ZEAnalyticsTransmissionTarget);
    target->token_ = token;
    target->parent_ = std::move(parent);
    target->channelGroup_ = std::move(channelGroup);
    target->configurator_ = std::make_shared<ZEPropertyConfigurator>(target);
    target->isEnabledKey_ = ZEFormat("%@/%@", ZEAnalytics::sharedInstance()->isEnabledKey(),
        ZEUtility::targetKeyFromTargetToken(token).value_or(""));
    if (!target->isImmediateParent()) {
        ZEZavEdurovUserDefaults::shared().setObject(false, target->isEnabledKey_);
    }
    if (target->channelGroup_) {
        target->channelGroup_->addDelegate(target->configurator_);
        target->channelGroup_->addDelegate(target);
    }
    return target;
}

void ZEAnalyticsTransmissionTarget::addAuthenticationProvider(std::shared_ptr<ZEAnalyticsAuthenticationProvider> provider)
{
    {
        std::lock_guard lock(providerSlot().mutex);
        if (!provider) {
            ZELogError(kZEAnalyticsLogTag, "Authentication provider may not be null.");
            return;
        }
        providerSlot().provider = provider;
    }
    provider->acquireTokenAsync();
}

std::shared_ptr<ZEAnalyticsAuthenticationProvider> ZEAnalyticsTransmissionTarget::authenticationProvider()
{
    std::lock_guard lock(providerSlot().mutex);
    return providerSlot().provider;
}

void ZEAnalyticsTransmissionTarget::trackEvent(const std::string& name, const std::optional<ZEStringMap>& properties,
    std::uint64_t flags)
{
    std::shared_ptr<ZEEventProperties> typed;
    if (properties) {
        typed = std::make_shared<ZEEventProperties>();
        for (const auto& [key, value] : *properties) {
            typed->setString(value, key);
        }
    }
    trackEvent(name, typed, flags);
}

void ZEAnalyticsTransmissionTarget::trackEvent(const std::string& name, const std::shared_ptr<ZEEventProperties>& properties,
    std::uint64_t flags)
{
    auto merged = std::make_shared<ZEEventProperties>();
    for (auto current = shared_from_this(); current; current = current->parent_) {
        current->configurator_->mergeTypedPropertiesWith(*merged);
    }
    if (properties) {
        merged->mergeEventProperties(*properties);
    }
    ZEAnalytics::sharedInstance()->trackEvent(name, (properties || !merged->isEmpty()) ? merged : nullptr,
        shared_from_this(), flags);
}

std::shared_ptr<ZEAnalyticsTransmissionTarget> ZEAnalyticsTransmissionTarget::transmissionTargetForToken(const std::string& token)
{
    std::lock_guard lock(analyticsLock());
    if (const auto found = children_.find(token); found != children_.end()) {
        return found->second;
    }
    auto child = make(token, shared_from_this(), channelGroup_);
    children_[token] = child;
    return child;
}

bool ZEAnalyticsTransmissionTarget::isEnabled() const
{
    std::lock_guard lock(analyticsLock());
    const auto value = ZEZavEdurovUserDefaults::shared().objectForKey(isEnabledKey_);
    return !value || !std::holds_alternative<bool>(*value) || std::get<bool>(*value);
}

bool ZEAnalyticsTransmissionTarget::isImmediateParent() const
{
    if (parent_) {
        return parent_->isEnabled();
    }
    const auto analytics = ZEAnalytics::sharedInstance();
    return analytics->isStarted() && analytics->isEnabled();
}

void ZEAnalyticsTransmissionTarget::setEnabled(bool enabled)
{
    std::lock_guard lock(analyticsLock());
    if (enabled != isEnabled()) {
        if (enabled && !isImmediateParent()) {
            ZELogWarning(kZEAnalyticsLogTag, "Can't enable; parent transmission target and/or Analytics service is disabled.");
            return;
        }
        ZEZavEdurovUserDefaults::shared().setObject(enabled, isEnabledKey_);
        if (enabled) {
            resume();
        }
    }
    for (const auto& [token, child] : children_) {
        child->setEnabled(enabled);
    }
}

void ZEAnalyticsTransmissionTarget::pause()
{
    if (!isEnabled()) {
        ZELogError(kZEAnalyticsLogTag, "This transmission target is disabled.");
        return;
    }
    ZEAnalytics::pauseTransmissionTargetForToken(token_);
}

void ZEAnalyticsTransmissionTarget::resume()
{
    if (!isEnabled()) {
        ZELogError(kZEAnalyticsLogTag, "This transmission target is disabled.");
        return;
    }
    ZEAnalytics::resumeTransmissionTargetForToken(token_);
}

void ZEAnalyticsTransmissionTarget::channelPrepareLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>& log)
{
    auto* csLog = dynamic_cast<ZECommonSchemaLog*>(log.get());
    const auto tokens = log->transmissionTargetTokens();
    const auto provider = authenticationProvider();
    if (!csLog || !tokens || tokens->count(token_) == 0 || !provider || !isEnabled()) {
        return;
    }
    if (!csLog->ext) {
        csLog->ext = std::make_shared<ZECSExtensions>();
    }
    if (!csLog->ext->protocolExt) {
        csLog->ext->protocolExt = std::make_shared<ZEProtocolExtension>();
    }
    csLog->ext->protocolExt->ticketKeys = std::vector<std::string>{provider->ticketKeyHash().value_or("")};
    provider->checkTokenExpiry();
}

} // namespace ze
