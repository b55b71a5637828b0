#include "sdk/telemetry/Internals/Channel/ZECollectorChannelDelegate.h"

#include "sdk/telemetry/Internals/Util/ZELogger.h"

#include <regex>

namespace ze {

ZECollectorChannelDelegate::ZECollectorChannelDelegate(std::shared_ptr<ZEHttpClientProtocol> httpClient, ZEUuid installId,
    std::optional<std::string> baseUrl)
    : collectorIngestion_(ZECollectorIngestion::make(std::move(httpClient), baseUrl.value_or(kZEDefaultCollectorUrl)))
    , installId_(installId)
{
}

bool ZECollectorChannelDelegate::isCollectorGroup(const std::string& groupId)
{
    const std::string suffix = kZECollectorGroupIdSuffix;
    return groupId.size() >= suffix.size() && groupId.compare(groupId.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::shared_ptr<ZEChannelUnitProtocol> ZECollectorChannelDelegate::collectorChannelFor(const std::string& groupId) const
{
    std::lock_guard lock(mutex_);
    const auto found = collectorChannels_.find(groupId);
    return found == collectorChannels_.end() ? nullptr : found->second;
}

void ZECollectorChannelDelegate::channelGroupDidAddChannelUnit(ZEChannelGroupProtocol& group,
    const std::shared_ptr<ZEChannelUnitProtocol>& unit)
{
    const auto& configuration = unit->configuration();
    if (isCollectorGroup(configuration.groupId)) {
        return;
    }
    auto mirror = group.addChannelUnitWithConfiguration(
        ZEChannelUnitConfiguration::defaultConfiguration(configuration.groupId + kZECollectorGroupIdSuffix,
            configuration.flushInterval),
        collectorIngestion_);
    std::lock_guard lock(mutex_);
    collectorChannels_[configuration.groupId] = std::move(mirror);
}

void ZECollectorChannelDelegate::channelPrepareLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>& log)
{
    auto* csLog = dynamic_cast<ZECommonSchemaLog*>(log.get());
    if (!csLog) {
        return;
    }
    // One locked step per log: logs of one key enqueued from several threads get distinct numbers.
    const auto stamp = epochsAndSeqsByIKey_.next(csLog->iKey.value_or(""));
    if (!csLog->ext) {
        csLog->ext = std::make_shared<ZECSExtensions>();
    }
    if (!csLog->ext->sdkExt) {
        csLog->ext->sdkExt = std::make_shared<ZESDKExtension>();
    }
    csLog->ext->sdkExt->epoch = stamp.epoch;
    csLog->ext->sdkExt->seq = static_cast<std::int64_t>(stamp.seq);
    csLog->ext->sdkExt->installId = installId_;
}

void ZECollectorChannelDelegate::channelDidPrepareLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log,
    const std::string&, std::uint64_t flags)
{
    auto* unit = dynamic_cast<ZEChannelUnitProtocol*>(&channel);
    if (!unit) {
        return;
    }
    const std::string& groupId = unit->configuration().groupId;
    if (dynamic_cast<ZECommonSchemaLog*>(log.get())) {
        if (!isCollectorGroup(groupId)) {
            if (const auto mirror = collectorChannelFor(groupId)) {
                mirror->enqueueItem(log, flags);
            }
        }
        return;
    }
    if (!shouldSendLogToCollector(*log)) {
        return;
    }
    const auto mirror = collectorChannelFor(groupId);
    if (!mirror) {
        return;
    }
    if (const auto converted = log->toCommonSchemaLogsWithFlags(flags)) {
        for (const auto& csLog : *converted) {
            mirror->enqueueItem(csLog, flags);
        }
    }
}

std::optional<bool> ZECollectorChannelDelegate::channelUnitShouldFilterLog(ZEChannelUnitProtocol& unit,
    const std::shared_ptr<ZEAbstractLog>& log)
{
    if (const auto* csLog = dynamic_cast<const ZECommonSchemaLog*>(log.get())) {
        return !isCollectorGroup(unit.configuration().groupId) || !validateLog(*csLog);
    }
    const auto tokens = log->transmissionTargetTokens();
    return tokens && !tokens->empty();
}

void ZECollectorChannelDelegate::channelDidSetEnabled(ZEChannelProtocol& channel, bool enabled, bool deleteDataOnDisabled)
{
    if (auto* unit = dynamic_cast<ZEChannelUnitProtocol*>(&channel)) {
        if (!isCollectorGroup(unit->configuration().groupId)) {
            if (const auto mirror = collectorChannelFor(unit->configuration().groupId)) {
                mirror->setEnabled(enabled, deleteDataOnDisabled);
            }
        }
    } else if (dynamic_cast<ZEChannelGroupProtocol*>(&channel) && !enabled && deleteDataOnDisabled) {
        epochsAndSeqsByIKey_.clear();
    }
}

void ZECollectorChannelDelegate::channelDidPause(ZEChannelProtocol& channel, ZEIdentifyingObject object)
{
    if (auto* unit = dynamic_cast<ZEChannelUnitProtocol*>(&channel)) {
        if (const auto mirror = collectorChannelFor(unit->configuration().groupId)) {
            mirror->pauseWithIdentifyingObject(object);
        }
    }
}

void ZECollectorChannelDelegate::channelDidResume(ZEChannelProtocol& channel, ZEIdentifyingObject object)
{
    if (auto* unit = dynamic_cast<ZEChannelUnitProtocol*>(&channel)) {
        if (const auto mirror = collectorChannelFor(unit->configuration().groupId)) {
            mirror->resumeWithIdentifyingObject(object);
        }
    }
}

bool ZECollectorChannelDelegate::shouldSendLogToCollector(const ZEAbstractLog& log)
{
    const auto tokens = log.transmissionTargetTokens();
    return tokens && !tokens->empty() && !dynamic_cast<const ZECommonSchemaLog*>(&log);
}

bool ZECollectorChannelDelegate::validateLog(const ZECommonSchemaLog& log)
{
    return validateLogName(log.name);
}

bool ZECollectorChannelDelegate::validateLogName(const std::optional<std::string>& name)
{
    if (!name || name->empty()) {
        ZELogError(kZELogTag, "%@ Name must not be nil or empty.", "Log validation failed.");
        return false;
    }
    static const std::regex pattern(kZECommonSchemaLogNameRegex);
    if (!std::regex_match(*name, pattern)) {
        ZELogError(kZELogTag, "%@ Name must match '%@' but was '%@'", "Log validation failed.", kZECommonSchemaLogNameRegex, *name);
        return false;
    }
    return true;
}

void ZECollectorChannelDelegate::setLogUrl(const std::string& logUrl)
{
    collectorIngestion_->setBaseURL(logUrl);
}

} // namespace ze
