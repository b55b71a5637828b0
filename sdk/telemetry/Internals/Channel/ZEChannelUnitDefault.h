// The pipe of one log group. Enqueued logs are completed and validated on the caller's thread,
// prepared and filtered by the delegates there, then stored on the group's serial queue before
// the enqueue returns; logs enqueued on several threads at once are stored in one transaction.
// A unit flushes a full batch at once (6-second units only) or when its flush timer fires; longer
// intervals keep their deadline in the settings across launches. A bounded number of batches may
// be in flight: success deletes a batch, a recoverable failure keeps it, any other failure
// disables the unit and deletes its logs.
#pragma once

#include "sdk/telemetry/Internals/Channel/ZEChannelDelegates.h"
#include "sdk/telemetry/Internals/Channel/ZEQueueTurns.h"
#include "sdk/telemetry/Internals/Storage/ZEStorage.h"
#include "sdk/telemetry/Internals/Util/Platform/ZESerialQueue.h"

#include <set>

namespace ze {

class ZEChannelUnitDefault final : public ZEChannelUnitProtocol, public std::enable_shared_from_this<ZEChannelUnitDefault> {
public:
    ZEChannelUnitDefault(std::shared_ptr<ZEIngestionProtocol> ingestion, std::shared_ptr<ZEStorage> storage,
        ZEChannelUnitConfiguration configuration, std::shared_ptr<ZESerialQueue> logsDispatchQueue);

    void enqueueItem(const std::shared_ptr<ZEAbstractLog>& log, std::uint64_t flags) override;
    void setEnabled(bool enabled, bool deleteDataOnDisabled) override;
    void addDelegate(const std::shared_ptr<ZEChannelDelegate>& delegate) override;
    void removeDelegate(const std::shared_ptr<ZEChannelDelegate>& delegate) override;
    void pauseWithIdentifyingObject(ZEIdentifyingObject object) override;
    void resumeWithIdentifyingObject(ZEIdentifyingObject object) override;
    void pauseSendingLogsWithToken(const std::string& token) override;
    void resumeSendingLogsWithToken(const std::string& token) override;
    void checkPendingLogs() override;
    const ZEChannelUnitConfiguration& configuration() const override { return configuration_; }

    // Everything below runs on the unit's queue.
    void flushQueue();
    void sendLogContainer(const std::shared_ptr<ZELogContainer>& container);
    void startTimer(std::uint64_t seconds);
    void resetTimer();
    std::uint64_t resolveFlushInterval();
    std::string oldestPendingLogTimestampKey() const;
    void pauseWithIdentifyingObjectSync(ZEIdentifyingObject object);
    void resumeWithIdentifyingObjectSync(ZEIdentifyingObject object);
    void setEnabledSync(bool enabled, bool deleteDataOnDisabled);
    void deleteAllLogsWithErrorSync(const ZEError& error);
    void notifyFailureBeforeSendingForItem(const std::shared_ptr<ZEAbstractLog>& log, const ZEError& error);

    const std::shared_ptr<ZESerialQueue>& logsDispatchQueue() const { return queue_; }
    bool isEnabled() const { return enabled_; }
    bool isPaused() const { return paused_; }
    bool discardLogs() const { return discardLogs_; }
    std::uint64_t itemsCount() const { return itemsCount_; }
    const std::vector<std::string>& pendingBatchIds() const { return pendingBatchIds_; }
    bool pendingBatchQueueFull() const { return pendingBatchQueueFull_; }
    bool availableBatchFromStorage() const { return availableBatchFromStorage_; }

private:
    // What the caller's thread made of one enqueued log, for the queue to finish.
    struct Enqueued {
        const std::shared_ptr<ZEAbstractLog>& log;
        bool filtered;
        const std::optional<ZEArchivedLog>& archived;
        const std::string& internalId;
        std::uint64_t flags;
    };
    // On the queue: drops or stores the logs of one turn, in the order they came; answers the
    // sending of a full batch, for after the turn.
    std::function<void()> completeEnqueues(const std::vector<Enqueued*>& turn);
    // Whether a full batch is stored and waits to be sent at once (6-second units only).
    bool fullBatchWaiting() const;
    void handleSendCompletion(const std::string& batchId, const std::shared_ptr<ZELogContainer>& container,
        const std::optional<ZEHttpResponse>& response, const std::optional<ZEError>& error);

    bool availableBatchFromStorage_ = false;
    bool pendingBatchQueueFull_ = false;
    bool enabled_ = true;
    bool paused_ = false;
    bool discardLogs_ = false;
    const ZEChannelUnitConfiguration configuration_;
    std::shared_ptr<ZESerialQueue> queue_;
    ZEChannelDelegates delegates_;
    std::shared_ptr<ZEIngestionProtocol> ingestion_;
    std::shared_ptr<ZEStorage> storage_;
    ZEQueueTurns<Enqueued> enqueueTurns_;
    ZETimer timerSource_;
    std::uint64_t itemsCount_ = 0;
    std::vector<std::string> pendingBatchIds_;
    std::set<ZEIdentifyingObject> pausedIdentifyingObjects_;
    std::set<std::string> pausedTargetKeys_;
};

} // namespace ze
