#include "sdk/telemetry/Internals/Context/Session/ZESessionContext.h"

#include "sdk/telemetry/Internals/Context/ZEHistoryStore.h"

namespace ze {

namespace {

constexpr const char* kHistoryKey = "SessionIdHistory";

std::mutex sharedMutex;
std::shared_ptr<ZESessionContext> sharedContext;

} // namespace

std::shared_ptr<ZESessionContext> ZESessionContext::sharedInstance()
{
    std::lock_guard lock(sharedMutex);
    if (!sharedContext) {
        sharedContext = std::make_shared<ZESessionContext>();
    }
    return sharedContext;
}

void ZESessionContext::resetSharedInstance()
{
    std::lock_guard lock(sharedMutex);
    sharedContext.reset();
}

ZESessionContext::ZESessionContext()
    : sessionHistory_(ZELoadHistory<ZESessionHistoryInfo>(kHistoryKey))
{
    ZELogDebug(kZELogTag, "%tu session(s) in the history.", sessionHistory_.size());
    currentSessionInfo_ = std::make_shared<ZESessionHistoryInfo>(ZEUtility::now(), std::nullopt);
    sessionHistory_.push_back(currentSessionInfo_);
}

std::optional<std::string> ZESessionContext::sessionId() const
{
    std::lock_guard lock(mutex_);
    return currentSessionInfo_->sessionId;
}

void ZESessionContext::setSessionId(const std::optional<std::string>& sessionId)
{
    std::lock_guard lock(mutex_);
    if (!sessionHistory_.empty()) {
        sessionHistory_.pop_back();
    }
    currentSessionInfo_->sessionId = sessionId;
    currentSessionInfo_->timestamp = ZEUtility::now();
    sessionHistory_.push_back(currentSessionInfo_);
    persist();
    ZELogVerbose(kZELogTag, "Stored new session with id:%@ and timestamp: %@.", sessionId,
        ZEUtility::dateToISO8601(*currentSessionInfo_->timestamp));
}

std::optional<std::string> ZESessionContext::sessionIdAt(ZEDate date) const
{
    std::lock_guard lock(mutex_);
    const auto entry = ZEEntryInForceAt(sessionHistory_, date);
    return entry ? entry->sessionId : std::nullopt;
}

void ZESessionContext::clearSessionHistoryAndKeepCurrentSession(bool keepCurrentSession)
{
    std::lock_guard lock(mutex_);
    sessionHistory_.clear();
    if (keepCurrentSession) {
        sessionHistory_.push_back(currentSessionInfo_);
    }
    persist();
    ZELogVerbose(kZELogTag, "Cleared old sessions.");
}

std::vector<ZESessionHistoryInfo> ZESessionContext::sessionHistory() const
{
    std::lock_guard lock(mutex_);
    std::vector<ZESessionHistoryInfo> copies;
    for (const auto& entry : sessionHistory_) {
        copies.emplace_back(entry->timestamp, entry->sessionId);
    }
    return copies;
}

void ZESessionContext::persist() const
{
    ZESaveHistory(kHistoryKey, sessionHistory_);
}

} // namespace ze
