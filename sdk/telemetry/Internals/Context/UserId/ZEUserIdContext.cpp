#include "sdk/telemetry/Internals/Context/UserId/ZEUserIdContext.h"

#include "sdk/telemetry/Internals/Context/ZEHistoryStore.h"

namespace ze {

namespace {

constexpr const char* kHistoryKey = "UserIdHistory";
constexpr const char* kCollectorPrefix = "c";

std::mutex sharedMutex;
std::shared_ptr<ZEUserIdContext> sharedContext;

} // namespace

std::shared_ptr<ZEUserIdContext> ZEUserIdContext::sharedInstance()
{
    std::lock_guard lock(sharedMutex);
    if (!sharedContext) {
        sharedContext = std::make_shared<ZEUserIdContext>();
    }
    return sharedContext;
}

void ZEUserIdContext::resetSharedInstance()
{
    std::lock_guard lock(sharedMutex);
    sharedContext.reset();
}

ZEUserIdContext::ZEUserIdContext()
    : history_(kHistoryKey)
{
    if (history_.isLoaded()) {
        ZELogDebug(kZELogTag, "%tu userId(s) in the history.", history_.entries.size());
    }
    currentUserIdInfo_ = std::make_shared<ZEUserIdHistoryInfo>(ZEUtility::now(), std::nullopt);
    history_.entries.push_back(currentUserIdInfo_);
    history_.persist();
}

void ZEUserIdContext::loadHistory()
{
    std::lock_guard lock(mutex_);
    if (history_.load()) {
        ZELogDebug(kZELogTag, "%tu userId(s) in the history.", history_.entries.size() - 1);
        history_.persist();
    }
}

std::optional<std::string> ZEUserIdContext::userId() const
{
    std::lock_guard lock(mutex_);
    return currentUserIdInfo_->userId;
}

void ZEUserIdContext::setUserId(const std::optional<std::string>& userId)
{
    std::vector<std::shared_ptr<ZEUserIdContextDelegate>> delegates;
    {
        std::lock_guard lock(mutex_);
        if (userId == currentUserIdInfo_->userId) {
            return;
        }
        currentUserIdInfo_->timestamp = ZEUtility::now();
        currentUserIdInfo_->userId = userId;
        if (!history_.entries.empty()) {
            history_.entries.pop_back();
        }
        history_.entries.push_back(currentUserIdInfo_);
        history_.persist();
        ZELogVerbose(kZELogTag, "Stored new userId:%@ and timestamp: %@.", userId,
            ZEUtility::dateToISO8601(*currentUserIdInfo_->timestamp));
        for (const auto& weak : delegates_) {
            if (auto delegate = weak.lock()) {
                delegates.push_back(std::move(delegate));
            }
        }
    }
    for (const auto& delegate : delegates) {
        delegate->userIdContextDidUpdateUserId(*this, userId);
    }
}

std::optional<std::string> ZEUserIdContext::userIdAt(ZEDate date) const
{
    std::lock_guard lock(mutex_);
    const auto entry = ZEEntryInForceAt(history_.entries, date);
    return entry ? entry->userId : std::nullopt;
}

void ZEUserIdContext::clearUserIdHistory()
{
    std::lock_guard lock(mutex_);
    history_.clear();
    history_.entries.push_back(currentUserIdInfo_);
    history_.persist();
    ZELogVerbose(kZELogTag, "Cleared old userIds while keeping current userId.");
}

std::vector<ZEUserIdHistoryInfo> ZEUserIdContext::userIdHistory() const
{
    std::lock_guard lock(mutex_);
    std::vector<ZEUserIdHistoryInfo> copies;
    for (const auto& entry : history_.entries) {
        copies.emplace_back(entry->timestamp, entry->userId);
    }
    return copies;
}

void ZEUserIdContext::addDelegate(const std::shared_ptr<ZEUserIdContextDelegate>& delegate)
{
    std::lock_guard lock(mutex_);
    std::erase_if(delegates_, [](const auto& weak) { return weak.expired(); });
    delegates_.push_back(delegate);
}

void ZEUserIdContext::removeDelegate(const std::shared_ptr<ZEUserIdContextDelegate>& delegate)
{
    std::lock_guard lock(mutex_);
    std::erase_if(delegates_, [&delegate](const auto& weak) {
        const auto held = weak.lock();
        return !held || held == delegate;
    });
}

bool ZEUserIdContext::isUserIdValidForZavEdurov(const std::optional<std::string>& userId)
{
    if (userId && ZEUtility::utf16Length(*userId) > kZEUserIdMaxLength) {
        ZELogError(kZELogTag, "userId is limited to %d characters.", kZEUserIdMaxLength);
        return false;
    }
    return true;
}

bool ZEUserIdContext::isUserIdValidForCollector(const std::optional<std::string>& userId)
{
    if (!userId) {
        return true;
    }
    if (userId->empty()) {
        ZELogError(kZELogTag, "userId must not be empty.");
        return false;
    }
    const auto colon = userId->find(':');
    if (colon == std::string::npos) {
        return true;
    }
    const std::string prefix = userId->substr(0, colon);
    if (prefix != kCollectorPrefix) {
        ZELogError(kZELogTag, "userId prefix must be '%@', '%@' is not supported.", std::string(kCollectorPrefix), prefix);
        return false;
    }
    if (colon + 1 == userId->size()) {
        ZELogError(kZELogTag, "userId must not be empty.");
        return false;
    }
    return true;
}

std::optional<std::string> ZEUserIdContext::prefixedUserIdFromUserId(const std::optional<std::string>& userId)
{
    if (userId && userId->find(':') == std::string::npos) {
        return std::string(kCollectorPrefix) + ":" + *userId;
    }
    return userId;
}

} // namespace ze
