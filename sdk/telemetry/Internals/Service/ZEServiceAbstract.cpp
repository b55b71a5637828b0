#include "sdk/telemetry/Internals/Service/ZEServiceAbstract.h"

#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/ZEZavEdurov.h"

namespace ze {

bool ZEServiceAbstract::isEnabled() const
{
    const auto value = ZEZavEdurovUserDefaults::shared().objectForKey(isEnabledKey());
    return !value || !std::holds_alternative<bool>(*value) || std::get<bool>(*value);
}

void ZEServiceAbstract::setEnabled(bool enabled)
{
    if (enabled == isEnabled()) {
        return;
    }
    applyEnabledState(enabled);
    ZEZavEdurovUserDefaults::shared().setObject(enabled, isEnabledKey());
}

void ZEServiceAbstract::applyEnabledState(bool enabled)
{
    if (channelUnit_) {
        channelUnit_->setEnabled(enabled, true);
    }
}

bool ZEServiceAbstract::canBeUsed() const
{
    if (ZEZavEdurov::isSdkConfigured() && isStarted()) {
        return true;
    }
    ZELogError(ZEZavEdurov::logTag(),
        "%@ service hasn't been started. You need to call [ZEZavEdurov start:YOUR_APP_SECRET withServices:LIST_OF_SERVICES] first.",
        serviceName());
    return false;
}

void ZEServiceAbstract::startWithChannelGroup(std::shared_ptr<ZEChannelGroupProtocol> channelGroup,
    std::optional<std::string> appSecret, std::optional<std::string> transmissionTargetToken, bool fromApplication)
{
    startedFromApplication_ = fromApplication;
    channelGroup_ = std::move(channelGroup);
    appSecret_ = std::move(appSecret);
    defaultTransmissionTargetToken_ = std::move(transmissionTargetToken);
    started_ = true;
    if (const auto configuration = channelUnitConfiguration()) {
        channelUnit_ = channelGroup_->addChannelUnitWithConfiguration(*configuration);
    }
    if (isEnabled()) {
        applyEnabledState(true);
    }
}

void ZEServiceAbstract::updateConfigurationWithAppSecret(std::optional<std::string> appSecret,
    std::optional<std::string> transmissionTargetToken)
{
    startedFromApplication_ = true;
    appSecret_ = std::move(appSecret);
    defaultTransmissionTargetToken_ = std::move(transmissionTargetToken);
    if (isEnabled()) {
        applyEnabledState(true);
    }
}

void ZEServiceAbstract::setEnabledFromApplication(bool enabled)
{
    std::lock_guard guard(lock_);
    if (!canBeUsed()) {
        return;
    }
    if (!ZEZavEdurov::isEnabled() && !ZEZavEdurov::isEnabledStateUpdating()) {
        ZELogError(ZEZavEdurov::logTag(),
            "The SDK is disabled. Re-enable the whole SDK from ZavEdurov first before enabling %@ service.", serviceName());
        return;
    }
    setEnabled(enabled);
}

bool ZEServiceAbstract::isEnabledFromApplication() const
{
    std::lock_guard guard(lock_);
    return canBeUsed() && isEnabled();
}

} // namespace ze
