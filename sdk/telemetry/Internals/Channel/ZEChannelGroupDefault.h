// What all channel units share: one serial queue, one log store, one default ingestion and one
// set of delegates. The group creates the units, hears every unit callback and passes it on to its
// own delegates, and switches, pauses and resumes the whole pipeline with the ingestion.
#pragma once

#include "sdk/telemetry/Internals/Channel/ZEChannelUnitDefault.h"
#include "sdk/telemetry/Internals/Http/ZEHttpClientProtocol.h"
#include "sdk/telemetry/Internals/Ingestion/ZEZavEdurovIngestion.h"

namespace ze {

inline constexpr const char* kZEChannelGroupQueueLabel = "com.doridorir.zavedurov.ChannelGroupQueue";

class ZEChannelGroupProtocol : public ZEChannelProtocol {
public:
    virtual std::shared_ptr<ZEChannelUnitProtocol> addChannelUnitWithConfiguration(
        const std::optional<ZEChannelUnitConfiguration>& configuration) = 0;
    // With `ingestion` in place of the group's (nothing: the group's).
    virtual std::shared_ptr<ZEChannelUnitProtocol> addChannelUnitWithConfiguration(
        const std::optional<ZEChannelUnitConfiguration>& configuration, std::shared_ptr<ZEIngestionProtocol> ingestion) = 0;
    virtual std::shared_ptr<ZEChannelUnitProtocol> channelUnitForGroupId(const std::string& groupId) const = 0;
    virtual void setMaxStorageSize(std::int64_t sizeInBytes, std::function<void(bool)> completionHandler) = 0;
    virtual std::string logUrl() const = 0;
    virtual void setLogUrl(const std::string& logUrl) = 0;
    virtual std::optional<std::string> appSecret() const = 0;
    virtual void setAppSecret(std::optional<std::string> appSecret) = 0;
};

class ZEChannelGroupDefault final : public ZEChannelGroupProtocol,
                                    public ZEChannelDelegate,
                                    public std::enable_shared_from_this<ZEChannelGroupDefault> {
public:
    // The SDK ingestion at `logUrl` with the install id (upper-case UUID text).
    static std::shared_ptr<ZEChannelGroupDefault> make(std::shared_ptr<ZEHttpClientProtocol> httpClient,
        const std::string& installId, const std::string& logUrl);
    static std::shared_ptr<ZEChannelGroupDefault> make(std::shared_ptr<ZEIngestionProtocol> ingestion,
        std::shared_ptr<ZEStorage> storage = nullptr);

    explicit ZEChannelGroupDefault(std::shared_ptr<ZEIngestionProtocol> ingestion, std::shared_ptr<ZEStorage> storage);

    using ZEChannelGroupProtocol::addChannelUnitWithConfiguration;
    std::shared_ptr<ZEChannelUnitProtocol> addChannelUnitWithConfiguration(
        const std::optional<ZEChannelUnitConfiguration>& configuration) override;
    std::shared_ptr<ZEChannelUnitProtocol> addChannelUnitWithConfiguration(
        const std::optional<ZEChannelUnitConfiguration>& configuration, std::shared_ptr<ZEIngestionProtocol> ingestion) override;
    std::shared_ptr<ZEChannelUnitProtocol> channelUnitForGroupId(const std::string& groupId) const override;
    void setMaxStorageSize(std::int64_t sizeInBytes, std::function<void(bool)> completionHandler) override;
    std::string logUrl() const override;
    void setLogUrl(const std::string& logUrl) override;
    std::optional<std::string> appSecret() const override;
    void setAppSecret(std::optional<std::string> appSecret) override;

    void addDelegate(const std::shared_ptr<ZEChannelDelegate>& delegate) override;
    void removeDelegate(const std::shared_ptr<ZEChannelDelegate>& delegate) override;
    void setEnabled(bool enabled, bool deleteDataOnDisabled) override;
    void pauseWithIdentifyingObject(ZEIdentifyingObject object) override;
    void resumeWithIdentifyingObject(ZEIdentifyingObject object) override;

    const std::shared_ptr<ZESerialQueue>& logsDispatchQueue() const { return queue_; }
    const std::shared_ptr<ZEStorage>& storage() const { return storage_; }
    const std::shared_ptr<ZEIngestionProtocol>& ingestion() const { return ingestion_; }
    std::vector<std::shared_ptr<ZEChannelUnitProtocol>> channels() const;

    // Passed on to the group's delegates, the unit staying the channel.
    void channelPrepareLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log) override;
    void channelDidPrepareLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log,
        const std::string& internalId, std::uint64_t flags) override;
    void channelDidCompleteEnqueueingLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log,
        const std::string& internalId) override;
    void channelWillSendLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log) override;
    void channelDidSucceedSendingLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log) override;
    void channelDidFailSendingLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log,
        const std::optional<ZEError>& error) override;
    void channelDidSetEnabled(ZEChannelProtocol& channel, bool enabled, bool deleteDataOnDisabled) override;
    void channelDidPause(ZEChannelProtocol& channel, ZEIdentifyingObject object) override;
    void channelDidResume(ZEChannelProtocol& channel, ZEIdentifyingObject object) override;
    std::optional<bool> channelUnitShouldFilterLog(ZEChannelUnitProtocol& unit, const std::shared_ptr<ZEAbstractLog>& log) override;

private:
    ZEChannelDelegates delegates_;
    std::shared_ptr<ZEIngestionProtocol> ingestion_;
    std::shared_ptr<ZEStorage> storage_;
    std::shared_ptr<ZESerialQueue> queue_;
    mutable std::mutex channelsMutex_;
    std::vector<std::shared_ptr<ZEChannelUnitProtocol>> channels_;
};

} // namespace ze
