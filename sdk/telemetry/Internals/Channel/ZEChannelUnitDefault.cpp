#include "sdk/telemetry/Internals/Channel/ZEChannelUnitDefault.h"

#include "sdk/telemetry/Internals/Http/ZEHttpUtil.h"
#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Util/ZEDeviceTracker.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEUuid.h"

#include <algorithm>

namespace ze {

namespace {

ZEError pausedWithDeletionError()
{
    return {kZEErrorDomain, kZEConnectionPausedErrorCode, "Canceled, connection paused with log deletion."};
}

ZEError notStoredError()
{
    return {kZEErrorDomain, kZELogNotStoredErrorCode, "The log could not be stored."};
}

} // namespace

ZEChannelUnitDefault::ZEChannelUnitDefault(std::shared_ptr<ZEIngestionProtocol> ingestion,
    std::shared_ptr<ZEStorage> storage, ZEChannelUnitConfiguration configuration,
    std::shared_ptr<ZESerialQueue> logsDispatchQueue)
    : configuration_(std::move(configuration))
    , queue_(std::move(logsDispatchQueue))
    , ingestion_(std::move(ingestion))
    , storage_(std::move(storage))
    , enqueueTurns_(queue_, [this](const std::vector<Enqueued*>& turn) { return completeEnqueues(turn); })
{
    // The store is used on the queue alone; another unit may be using it at this moment.
    if (storage_) {
        queue_->sync([this] { itemsCount_ = storage_->countLogs(); });
    }
}

void ZEChannelUnitDefault::enqueueItem(const std::shared_ptr<ZEAbstractLog>& log, std::uint64_t flags)
{
    if (!log) {
        ZELogWarning(kZELogTag, "Log is not valid.");
        return;
    }
    if (!log->timestamp) {
        log->timestamp = ZEUtility::now();
    }
    if (!log->device) {
        log->device = ZEDeviceTracker::sharedInstance()->device();
    }
    if (!log->isValid()) {
        ZELogWarning(kZELogTag, "Log is not valid.");
        return;
    }
    const std::string internalId = ZEUuid::create().UUIDString();
    delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelPrepareLog(*this, log); });
    delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelDidPrepareLog(*this, log, internalId, flags); });
    // The filters may cut a log to its limits, so they run before it is archived: what is stored
    // and sent is what they leave. Both run here, so that threads enqueueing at once do so at
    // once; the log is stored before the caller goes on, so that a process killed right after
    // enqueueing loses nothing. Logs enqueued at once are stored together.
    const bool filtered = delegates_.anyFilters(*this, log);
    const auto archived = storage_ && !filtered ? storage_->archiveLog(log) : std::nullopt;
    Enqueued enqueued{log, filtered, archived, internalId, flags};
    enqueueTurns_.run(enqueued);
}

std::function<void()> ZEChannelUnitDefault::completeEnqueues(const std::vector<Enqueued*>& turn)
{
    const auto completed = [this](const Enqueued& enqueued) {
        delegates_.enumerate(
            [&](ZEChannelDelegate& delegate) { delegate.channelDidCompleteEnqueueingLog(*this, enqueued.log, enqueued.internalId); });
    };
    std::vector<const Enqueued*> toSave;
    std::vector<ZEArchivedLogWithFlags> logs;
    for (const Enqueued* enqueued : turn) {
        const auto& log = enqueued->log;
        if (enqueued->filtered) {
            ZELogDebug(kZELogTag, "Log of type '%@' was filtered out by delegate(s)", log->type);
            completed(*enqueued);
        } else if (!ingestion_ || !ingestion_->isReadyToSend()) {
            ZELogDebug(kZELogTag, "Log of type '%@' was not filtered out by delegate(s) but ingestion is not ready to send it.",
                log->type);
            completed(*enqueued);
        } else if (discardLogs_) {
            ZELogWarning(kZELogTag, "Channel %@ disabled in log discarding mode, discard this log.", configuration_.groupId);
            notifyFailureBeforeSendingForItem(log, pausedWithDeletionError());
            completed(*enqueued);
        } else {
            ZELogDebug(kZELogTag, "Saving log, type: %@, flags: %u.", log->type, enqueued->flags);
            toSave.push_back(enqueued);
            logs.push_back({enqueued->archived, enqueued->flags});
        }
    }
    if (toSave.empty()) {
        return {};
    }
    const std::vector<bool> saved = storage_->saveArchivedLogs(logs, configuration_.groupId);
    for (std::size_t i = 0; i < toSave.size(); ++i) {
        // A log the store refused is never sent: its enqueuer hears of it before the enqueue
        // returns, as of any log dropped before sending.
        if (i >= saved.size() || !saved[i]) {
            ZELogError(kZELogTag, "Log of type '%@' could not be stored in group %@; it is not sent.", toSave[i]->log->type,
                configuration_.groupId);
            notifyFailureBeforeSendingForItem(toSave[i]->log, notStoredError());
        }
        completed(*toSave[i]);
    }
    const auto stored = static_cast<std::uint64_t>(std::count(saved.begin(), saved.end(), true));
    if (stored == 0) {
        return {};
    }
    itemsCount_ += stored;
    if (!fullBatchWaiting()) {
        checkPendingLogs();
        return {};
    }
    // A full batch is sent once the turn's callers are let go: they wait for their logs to be
    // stored, not for a batch to be loaded and sent. Its leader, already running on the queue,
    // sends it, rather than a task that would wake the queue's thread and then the next leader.
    return [this] { checkPendingLogs(); };
}

bool ZEChannelUnitDefault::fullBatchWaiting() const
{
    return !paused_ && configuration_.flushInterval == kZEChannelDefaultFlushInterval
        && itemsCount_ >= configuration_.batchSizeLimit;
}

void ZEChannelUnitDefault::checkPendingLogs()
{
    if (fullBatchWaiting()) {
        flushQueue();
        return;
    }
    if (itemsCount_ == 0) {
        return;
    }
    const std::uint64_t interval = resolveFlushInterval();
    if (paused_) {
        return;
    }
    if (interval > 0) {
        startTimer(interval);
    } else {
        flushQueue();
    }
}

std::uint64_t ZEChannelUnitDefault::resolveFlushInterval()
{
    const std::uint64_t interval = configuration_.flushInterval;
    if (interval <= kZEChannelDefaultFlushInterval) {
        return interval;
    }
    auto& settings = ZEZavEdurovUserDefaults::shared();
    const ZEDate now = ZEUtility::now();
    const auto stored = settings.objectForKey(oldestPendingLogTimestampKey());
    if (!stored || !std::holds_alternative<ZEDate>(*stored) || now < std::get<ZEDate>(*stored)) {
        settings.setObject(now, oldestPendingLogTimestampKey());
        return interval;
    }
    const double elapsed = std::chrono::duration<double>(now - std::get<ZEDate>(*stored)).count();
    if (elapsed > static_cast<double>(interval)) {
        settings.removeObjectForKey(oldestPendingLogTimestampKey());
        return 0;
    }
    return interval - static_cast<std::uint64_t>(elapsed);
}

std::string ZEChannelUnitDefault::oldestPendingLogTimestampKey() const
{
    return ZEFormat("%@:%@", "ChannelStartTimer", configuration_.groupId);
}

void ZEChannelUnitDefault::startTimer(std::uint64_t seconds)
{
    if (!enabled_) {
        return;
    }
    resetTimer();
    std::weak_ptr<ZEChannelUnitDefault> weak = weak_from_this();
    timerSource_ = queue_->after(std::chrono::seconds(seconds), [weak] {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        if (self->itemsCount_ > 0) {
            self->flushQueue();
        }
        self->resetTimer();
        ZEZavEdurovUserDefaults::shared().removeObjectForKey(self->oldestPendingLogTimestampKey());
    });
}

void ZEChannelUnitDefault::resetTimer()
{
    timerSource_.cancel();
}

void ZEChannelUnitDefault::flushQueue()
{
    if (!ingestion_ || !ingestion_->isEnabled()) {
        ZELogDebug(kZELogTag, "ZavEdurov SDK is offline, groupId:%@.", configuration_.groupId);
        return;
    }
    if (!enabled_ || !ingestion_->isReadyToSend()) {
        return;
    }
    resetTimer();
    if (paused_ || pendingBatchQueueFull_) {
        if (itemsCount_ >= configuration_.batchSizeLimit) {
            availableBatchFromStorage_ = true;
            itemsCount_ = 0;
        }
        return;
    }
    itemsCount_ = 0;
    const std::vector<std::string> excluded(pausedTargetKeys_.begin(), pausedTargetKeys_.end());
    availableBatchFromStorage_ = storage_->loadLogsWithGroupId(configuration_.groupId, configuration_.batchSizeLimit,
        excluded, [this](const ZELogArray& logs, const std::optional<std::string>& batchId) {
            if (!logs.empty() && batchId) {
                sendLogContainer(std::make_shared<ZELogContainer>(batchId, logs));
            }
        });
    if (availableBatchFromStorage_ && !pendingBatchQueueFull_) {
        flushQueue();
    }
}

void ZEChannelUnitDefault::sendLogContainer(const std::shared_ptr<ZELogContainer>& container)
{
    const std::string batchId = container->batchId.value_or("");
    pendingBatchIds_.push_back(batchId);
    if (pendingBatchIds_.size() >= configuration_.pendingBatchesLimit) {
        pendingBatchQueueFull_ = true;
    }
    const auto level = ZELogger::currentLogLevel();
    if (level == ZELogLevelVerbose || level == ZELogLevelDebug) {
        for (std::size_t i = 0; i < container->logs.size(); ++i) {
            const auto& log = container->logs[i];
            ZELogDebug(kZELogTag, "Sending %tu/%tu log, group Id: %@, batch Id: %@, session Id: %@, payload:\n%@", i + 1,
                container->logs.size(), configuration_.groupId, batchId, log->sid, log->serializeLogWithPrettyPrinting(true));
        }
    }
    for (const auto& log : container->logs) {
        delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelWillSendLog(*this, log); });
    }
    std::weak_ptr<ZEChannelUnitDefault> weak = weak_from_this();
    const auto queue = queue_;
    ingestion_->sendAsync(container, [weak, queue, container](const std::string& returnedBatchId,
                                         const std::optional<ZEHttpResponse>& response, const std::optional<ZEData>&,
                                         const std::optional<ZEError>& error) {
        queue->async([weak, container, returnedBatchId, response, error] {
            if (auto self = weak.lock()) {
                self->handleSendCompletion(returnedBatchId, container, response, error);
            }
        });
    });
}

void ZEChannelUnitDefault::handleSendCompletion(const std::string& batchId, const std::shared_ptr<ZELogContainer>& container,
    const std::optional<ZEHttpResponse>& response, const std::optional<ZEError>& error)
{
    const auto pending = std::find(pendingBatchIds_.begin(), pendingBatchIds_.end(), batchId);
    if (pending == pendingBatchIds_.end()) {
        ZELogWarning(kZELogTag, "Batch Id %@ not expected, ignore.", batchId);
        return;
    }
    const long status = response ? response->statusCode : 0;
    const bool succeeded = ZEHttpUtil::isSuccessStatusCode(status);
    if (succeeded) {
        ZELogDebug(kZELogTag, "Log(s) sent with success, batch Id:%@.", batchId);
        for (const auto& log : container->logs) {
            delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelDidSucceedSendingLog(*this, log); });
        }
        storage_->deleteLogsWithBatchId(batchId, configuration_.groupId);
    } else {
        ZELogError(kZELogTag, "Log(s) sent with failure, batch Id:%@, status code:%tu", batchId, status);
        // A call the service answered comes back without an error: its logs get one all the same.
        const std::optional<ZEError> failure = error ? error : std::optional(ZEHttpUtil::errorForStatusCode(status));
        for (const auto& log : container->logs) {
            delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelDidFailSendingLog(*this, log, failure); });
        }
        if (!ZEHttpUtil::isRecoverableError(status)) {
            ZELogError(kZELogTag, "Fatal error encountered; shutting down channel unit with group ID %@", configuration_.groupId);
            setEnabledSync(false, true);
            return;
        }
    }
    pendingBatchIds_.erase(std::find(pendingBatchIds_.begin(), pendingBatchIds_.end(), batchId));
    if (pendingBatchQueueFull_ && pendingBatchIds_.size() < configuration_.pendingBatchesLimit) {
        pendingBatchQueueFull_ = false;
        if (succeeded && availableBatchFromStorage_) {
            flushQueue();
        }
    }
}

void ZEChannelUnitDefault::setEnabled(bool enabled, bool deleteDataOnDisabled)
{
    std::weak_ptr<ZEChannelUnitDefault> weak = weak_from_this();
    queue_->async([weak, enabled, deleteDataOnDisabled] {
        if (auto self = weak.lock()) {
            self->setEnabledSync(enabled, deleteDataOnDisabled);
        }
    });
}

void ZEChannelUnitDefault::setEnabledSync(bool enabled, bool deleteDataOnDisabled)
{
    if (enabled != enabled_) {
        enabled_ = enabled;
        if (enabled) {
            resumeWithIdentifyingObjectSync(this);
        } else {
            pauseWithIdentifyingObjectSync(this);
        }
    }
    if (!enabled && deleteDataOnDisabled) {
        ZELogDebug(kZELogTag, "Delete all logs for group Id %@", configuration_.groupId);
        deleteAllLogsWithErrorSync(pausedWithDeletionError());
        itemsCount_ = 0;
        availableBatchFromStorage_ = false;
        pendingBatchQueueFull_ = false;
        ZEZavEdurovUserDefaults::shared().removeObjectForKey(oldestPendingLogTimestampKey());
        discardLogs_ = true;
    } else {
        discardLogs_ = false;
    }
    delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelDidSetEnabled(*this, enabled, deleteDataOnDisabled); });
}

void ZEChannelUnitDefault::deleteAllLogsWithErrorSync(const ZEError& error)
{
    for (const auto& batchId : pendingBatchIds_) {
        storage_->deleteLogsWithBatchId(batchId, configuration_.groupId);
    }
    pendingBatchIds_.clear();
    for (const auto& log : storage_->deleteLogsWithGroupId(configuration_.groupId)) {
        notifyFailureBeforeSendingForItem(log, error);
    }
}

void ZEChannelUnitDefault::notifyFailureBeforeSendingForItem(const std::shared_ptr<ZEAbstractLog>& log, const ZEError& error)
{
    delegates_.enumerate([&](ZEChannelDelegate& delegate) {
        delegate.channelWillSendLog(*this, log);
        delegate.channelDidFailSendingLog(*this, log, error);
    });
}

void ZEChannelUnitDefault::addDelegate(const std::shared_ptr<ZEChannelDelegate>& delegate)
{
    queue_->async([this, self = shared_from_this(), delegate] { delegates_.add(delegate); });
}

void ZEChannelUnitDefault::removeDelegate(const std::shared_ptr<ZEChannelDelegate>& delegate)
{
    queue_->async([this, self = shared_from_this(), delegate] { delegates_.remove(delegate); });
}

void ZEChannelUnitDefault::pauseWithIdentifyingObject(ZEIdentifyingObject object)
{
    queue_->async([this, self = shared_from_this(), object] { pauseWithIdentifyingObjectSync(object); });
}

void ZEChannelUnitDefault::resumeWithIdentifyingObject(ZEIdentifyingObject object)
{
    queue_->async([this, self = shared_from_this(), object] { resumeWithIdentifyingObjectSync(object); });
}

void ZEChannelUnitDefault::pauseWithIdentifyingObjectSync(ZEIdentifyingObject object)
{
    pausedIdentifyingObjects_.insert(object);
    ZELogVerbose(kZELogTag, "Identifying object %@ added to pause lane for channel %@.", reinterpret_cast<std::uintptr_t>(object),
        configuration_.groupId);
    if (!paused_) {
        ZELogDebug(kZELogTag, "Pause channel %@.", configuration_.groupId);
        paused_ = true;
        resetTimer();
    }
    delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelDidPause(*this, object); });
}

void ZEChannelUnitDefault::resumeWithIdentifyingObjectSync(ZEIdentifyingObject object)
{
    pausedIdentifyingObjects_.erase(object);
    ZELogVerbose(kZELogTag, "Identifying object %@ removed from pause lane for channel %@.",
        reinterpret_cast<std::uintptr_t>(object), configuration_.groupId);
    if (pausedIdentifyingObjects_.empty()) {
        ZELogDebug(kZELogTag, "Resume channel %@.", configuration_.groupId);
        paused_ = false;
        checkPendingLogs();
    }
    delegates_.enumerate([&](ZEChannelDelegate& delegate) { delegate.channelDidResume(*this, object); });
}

void ZEChannelUnitDefault::pauseSendingLogsWithToken(const std::string& token)
{
    const auto key = ZEUtility::targetKeyFromTargetToken(token);
    if (!key) {
        return;
    }
    queue_->async([this, self = shared_from_this(), key = *key] {
        ZELogDebug(kZELogTag, "Pause channel for target key %@.", key);
        pausedTargetKeys_.insert(key);
    });
}

void ZEChannelUnitDefault::resumeSendingLogsWithToken(const std::string& token)
{
    const auto key = ZEUtility::targetKeyFromTargetToken(token);
    if (!key) {
        return;
    }
    queue_->async([this, self = shared_from_this(), key = *key] {
        ZELogDebug(kZELogTag, "Resume channel for target key %@.", key);
        pausedTargetKeys_.erase(key);
        itemsCount_ = storage_->countLogs();
        checkPendingLogs();
    });
}

} // namespace ze
