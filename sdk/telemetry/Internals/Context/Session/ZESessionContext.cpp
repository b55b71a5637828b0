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
    : history_(kHistoryKey)
{
    if (history_.isLoaded()) {
        ZELogDebug(kZELogTag, "%tu session(s) in the history.", history_.entries.size());
    }
    currentSessionInfo_ = std::make_shared<ZESessionHistoryInfo>(ZEUtility::now(), std::nullopt);
    history_.entries.push_back(currentSessionInfo_);
}

void ZESessionContext::loadHistory()
{
    std::lock_guard lock(mutex_);
    if (history_.load()) {
        ZELogDebug(kZELogTag, "%tu session(s) in the history.", history_.entries.size() - 1);
        history_.persist();
    }
}

std::optional<std::string> ZESessionContext::sessionId() const
{
    std::lock_guard lock(mutex_);
    return currentSessionInfo_->sessionId;
}

void ZESessionContext::setSessionId(const std::optional<std::string>& sessionId)
{
    std::lock_guard lock(mutex_);
    if (!history_.entries.empty()) {
        history_.entries.pop_back();
    }
    currentSessionInfo_->sessionId = sessionId;
    currentSessionInfo_->timestamp = ZEUtility::now();
    history_.entries.push_back(currentSessionInfo_);
    history_.persist();
    ZELogVerbose(kZELogTag, "Stored new session with id:%@ and timestamp: %@.", sessionId,
        ZEUtility::dateToISO8601(*currentSessionInfo_->timestamp));
}

std::optional<std::string> ZESessionContext::sessionIdAt(ZEDate date) const
{
    std::lock_guard lock(mutex_);
    const auto entry = ZEEntryInForceAt(history_.entries, date);
    return entry ? entry->sessionId : std::nullopt;
}

void ZESessionContext::clearSessionHistoryAndKeepCurrentSession(bool keepCurrentSession)
{
    std::lock_guard lock(mutex_);
    history_.clear();
    if (keepCurrentSession) {
        history_.entries.push_back(currentSessionInfo_);
    }
    history_.persist();
    ZELogVerbose(kZELogTag, "Cleared old sessions.");
}

std::vector<ZESessionHistoryInfo> ZESessionContext::sessionHistory() const
{
    std::lock_guard lock(mutex_);
    std::vector<ZESessionHistoryInfo> copies;
    for (const auto& entry : history_.entries) {
        copies.emplace_back(entry->timestamp, entry->sessionId);
    }
    return copies;
}

} // namespace ze
