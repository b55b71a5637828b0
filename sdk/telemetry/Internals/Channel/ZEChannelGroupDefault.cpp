#include "sdk/telemetry/Internals/Channel/ZEChannelGroupDefault.h"

#include "sdk/telemetry/Internals/Storage/ZELogDBStorage.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"

namespace ze {

std::shared_ptr<ZEChannelGroupDefault> ZEChannelGroupDefault::make(std::shared_ptr<ZEHttpClientProtocol> httpClient,
    const std::string& installId, const std::string& logUrl)
{
    return make(ZEZavEdurovIngestion::make(std::move(httpClient), logUrl, installId));
}

std::shared_ptr<ZEChannelGroupDefault> ZEChannelGroupDefault::make(std::shared_ptr<ZEIngestionProtocol> ingestion,
    std::shared_ptr<ZEStorage> storage)
{
    return std::make_shared<ZEChannelGroupDefault>(std::move(ingestion), std::move(storage));
}

ZEChannelGroupDefault::ZEChannelGroupDefault(std::shared_ptr<ZEIngestionProtocol> ingestion, std::shared_ptr<ZEStorage> storage)
    : ingestion_(std::move(ingestion))
    , storage_(storage ? std::move(storage) : std::make_shared<ZELogDBStorage>())
    , queue_(std::make_shared<ZESerialQueue>(kZEChannelGroupQueueLabel, ZEPlatform::clock()))
{
}

std::shared_ptr<ZEChannelUnitProtocol> ZEChannelGroupDefault::addChannelUnitWithConfiguration(
    const std::optional<ZEChannelUnitConfiguration>& configuration)
{
    return addChannelUnitWithConfiguration(configuration, nullptr);
}

std::shared_ptr<ZEChannelUnitProtocol> ZEChannelGroupDefault::addChannelUnitWithConfiguration(
    const std::optional<ZEChannelUnitConfiguration>& configuration, std::shared_ptr<ZEIngestionProtocol> ingestion)
{
    if (!configuration) {
        return nullptr;
    }
    auto unit = std::make_shared<ZEChannelUnitDefault>(ingestion ? std::move(ingestion) : ingestion_, storage_,
        *configuration, queue_);
    unit->addDelegate(shared_from_this());
    // Flushes what an earlier run left in the store.
    queue_->async([unit] { unit->checkPendingLogs(); });
    {
        std::lock_guard lock(channelsMutex_);
        channels_.push_back(unit);
    }
    delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelGroupDidAddChannelUnit(*this, unit); });
    return unit;
}

std::shared_ptr<ZEChannelUnitProtocol> ZEChannelGroupDefault::channelUnitForGroupId(const std::string& groupId) const
{
    std::lock_guard lock(channelsMutex_);
    for (const auto& unit : channels_) {
        if (unit->configuration().groupId == groupId) {
            return unit;
        }
    }
    return nullptr;
}

std::vector<std::shared_ptr<ZEChannelUnitProtocol>> ZEChannelGroupDefault::channels() const
{
    std::lock_guard lock(channelsMutex_);
    return channels_;
}

void ZEChannelGroupDefault::setMaxStorageSize(std::int64_t sizeInBytes, std::function<void(bool)> completionHandler)
{
    queue_->async([storage = storage_, sizeInBytes, completionHandler = std::move(completionHandler)] {
        storage->setMaxStorageSize(sizeInBytes, completionHandler);
    });
}

std::string ZEChannelGroupDefault::logUrl() const
{
    const auto http = std::dynamic_pointer_cast<ZEHttpIngestion>(ingestion_);
    return http ? http->baseURL() : std::string();
}

void ZEChannelGroupDefault::setLogUrl(const std::string& logUrl)
{
    if (const auto http = std::dynamic_pointer_cast<ZEHttpIngestion>(ingestion_)) {
        http->setBaseURL(logUrl);
    }
}

std::optional<std::string> ZEChannelGroupDefault::appSecret() const
{
    const auto sdk = std::dynamic_pointer_cast<ZEZavEdurovIngestion>(ingestion_);
    return sdk ? sdk->appSecret() : std::nullopt;
}

void ZEChannelGroupDefault::setAppSecret(std::optional<std::string> appSecret)
{
    if (const auto sdk = std::dynamic_pointer_cast<ZEZavEdurovIngestion>(ingestion_)) {
        sdk->setAppSecret(std::move(appSecret));
    }
}

void ZEChannelGroupDefault::addDelegate(const std::shared_ptr<ZEChannelDelegate>& delegate)
{
    delegates_.add(delegate);
}

void ZEChannelGroupDefault::removeDelegate(const std::shared_ptr<ZEChannelDelegate>& delegate)
{
    delegates_.remove(delegate);
}

void ZEChannelGroupDefault::setEnabled(bool enabled, bool deleteDataOnDisabled)
{
    if (ingestion_) {
        ingestion_->setEnabled(enabled, deleteDataOnDisabled);
    }
    for (const auto& unit : channels()) {
        unit->setEnabled(enabled, deleteDataOnDisabled);
    }
    delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelDidSetEnabled(*this, enabled, deleteDataOnDisabled); });
}

void ZEChannelGroupDefault::pauseWithIdentifyingObject(ZEIdentifyingObject object)
{
    if (ingestion_) {
        ingestion_->setEnabled(false, false);
    }
    for (const auto& unit : channels()) {
        unit->pauseWithIdentifyingObject(object);
    }
}

void ZEChannelGroupDefault::resumeWithIdentifyingObject(ZEIdentifyingObject object)
{
    if (ingestion_) {
        ingestion_->setEnabled(true, false);
    }
    for (const auto& unit : channels()) {
        unit->resumeWithIdentifyingObject(object);
    }
}

void ZEChannelGroupDefault::channelPrepareLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log)
{
    delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelPrepareLog(channel, log); });
}

void ZEChannelGroupDefault::channelDidPrepareLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log,
    const std::string& internalId, std::uint64_t flags)
{
    delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelDidPrepareLog(channel, log, internalId, flags); });
}

void ZEChannelGroupDefault::channelDidCompleteEnqueueingLog(ZEChannelProtocol& channel,
    const std::shared_ptr<ZEAbstractLog>& log, const std::string& internalId)
{
    delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelDidCompleteEnqueueingLog(channel, log, internalId); });
}

void ZEChannelGroupDefault::channelWillSendLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log)
{
    delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelWillSendLog(channel, log); });
}

void ZEChannelGroupDefault::channelDidSucceedSendingLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log)
{
    delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelDidSucceedSendingLog(channel, log); });
}

void ZEChannelGroupDefault::channelDidFailSendingLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log,
    const std::optional<ZEError>& error)
{
    delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelDidFailSendingLog(channel, log, error); });
}

void ZEChannelGroupDefault::channelDidSetEnabled(ZEChannelProtocol& channel, bool enabled, bool deleteDataOnDisabled)
{
    delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelDidSetEnabled(channel, enabled, deleteDataOnDisabled); });
}

void ZEChannelGroupDefault::channelDidPause(ZEChannelProtocol& channel, ZEIdentifyingObject object)
{
    delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelDidPause(channel, object); });
}

void ZEChannelGroupDefault::channelDidResume(ZEChannelProtocol& channel, ZEIdentifyingObject object)
{
    delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelDidResume(channel, object); });
}

std::optional<bool> ZEChannelGroupDefault::channelUnitShouldFilterLog(ZEChannelUnitProtocol& unit,
    const std::shared_ptr<ZEAbstractLog>& log)
{
    return delegates_.anyFilters(unit, log);
}

} // namespace ze
