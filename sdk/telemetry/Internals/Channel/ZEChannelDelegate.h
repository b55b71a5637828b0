// The channels and their observers. A channel is a unit (the pipe of one log group) or the group
// that owns all units; delegates hear what happens to every log, may change a log while it is
// prepared, and may keep a unit from storing it. Every callback is optional.
#pragma once

#include "sdk/telemetry/Internals/Channel/ZEChannelUnitConfiguration.h"
#include "sdk/telemetry/Internals/Ingestion/ZEIngestionProtocol.h"
#include "sdk/telemetry/Internals/Model/ZEAbstractLog.h"
#include "sdk/telemetry/Internals/Storage/ZEStorage.h"

#include <memory>
#include <optional>

namespace ze {

class ZEChannelDelegate;
class ZEChannelGroupProtocol;
class ZEChannelUnitProtocol;

// Who paused a channel; a channel stays paused until every object that paused it resumed it.
using ZEIdentifyingObject = const void*;

class ZEChannelProtocol : public ZEEnable {
public:
    virtual void addDelegate(const std::shared_ptr<ZEChannelDelegate>& delegate) = 0;
    virtual void removeDelegate(const std::shared_ptr<ZEChannelDelegate>& delegate) = 0;
    virtual void pauseWithIdentifyingObject(ZEIdentifyingObject object) = 0;
    virtual void resumeWithIdentifyingObject(ZEIdentifyingObject object) = 0;
};

class ZEChannelUnitProtocol : public ZEChannelProtocol {
public:
    // Stores the log before returning (unless a delegate filters it or the unit discards logs).
    virtual void enqueueItem(const std::shared_ptr<ZEAbstractLog>& log, std::uint64_t flags) = 0;
    virtual void pauseSendingLogsWithToken(const std::string& token) = 0;
    virtual void resumeSendingLogsWithToken(const std::string& token) = 0;
    // Must run on the unit's queue.
    virtual void checkPendingLogs() = 0;
    virtual const ZEChannelUnitConfiguration& configuration() const = 0;
};

class ZEChannelDelegate {
public:
    virtual ~ZEChannelDelegate() = default;
    virtual void channelGroupDidAddChannelUnit(ZEChannelGroupProtocol& group, const std::shared_ptr<ZEChannelUnitProtocol>& unit)
    {
        (void)group, (void)unit;
    }
    // On the enqueueing thread; the log may still be changed.
    virtual void channelPrepareLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log)
    {
        (void)channel, (void)log;
    }
    // On the enqueueing thread, after every delegate prepared the log.
    virtual void channelDidPrepareLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log,
        const std::string& internalId, std::uint64_t flags)
    {
        (void)channel, (void)log, (void)internalId, (void)flags;
    }
    // The log was saved, filtered, discarded or dropped.
    virtual void channelDidCompleteEnqueueingLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log,
        const std::string& internalId)
    {
        (void)channel, (void)log, (void)internalId;
    }
    virtual void channelWillSendLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log)
    {
        (void)channel, (void)log;
    }
    virtual void channelDidSucceedSendingLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log)
    {
        (void)channel, (void)log;
    }
    virtual void channelDidFailSendingLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log,
        const std::optional<ZEError>& error)
    {
        (void)channel, (void)log, (void)error;
    }
    virtual void channelDidSetEnabled(ZEChannelProtocol& channel, bool enabled, bool deleteDataOnDisabled)
    {
        (void)channel, (void)enabled, (void)deleteDataOnDisabled;
    }
    virtual void channelDidPause(ZEChannelProtocol& channel, ZEIdentifyingObject object) { (void)channel, (void)object; }
    virtual void channelDidResume(ZEChannelProtocol& channel, ZEIdentifyingObject object) { (void)channel, (void)object; }
    // Nothing: this delegate has no say. true drops the log before it is stored.
    virtual std::optional<bool> channelUnitShouldFilterLog(ZEChannelUnitProtocol& unit, const std::shared_ptr<ZEAbstractLog>& log)
    {
        (void)unit, (void)log;
        return std::nullopt;
    }
};

} // namespace ze
