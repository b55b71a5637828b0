#include "services/hub/SignInThrottle.h"

#include <algorithm>

namespace qv::hub {

namespace {

// A count is forgotten a quarter of an hour after its last wrong password.
constexpr std::int64_t kForgetMs = 15 * 60'000;

}  // namespace

std::int64_t SignInThrottle::waitMs(const std::string& email, const std::string& peer, std::int64_t nowMs)
{
    std::lock_guard lock(mutex_);
    std::int64_t until = 0;
    if (auto found = accounts_.find(email); found != accounts_.end())
        until = found->second.blockedUntil;
    if (auto found = peers_.find(peer); found != peers_.end())
        until = std::max(until, found->second.blockedUntil);
    return std::max<std::int64_t>(0, until - nowMs);
}

void SignInThrottle::failed(const std::string& email, const std::string& peer, std::int64_t nowMs)
{
    std::lock_guard lock(mutex_);
    forgetOldLocked(nowMs);
    failedLocked(accounts_, email, kFreeAccountFailures, nowMs);
    failedLocked(peers_, peer, kFreePeerFailures, nowMs);
}

void SignInThrottle::succeeded(const std::string& email)
{
    std::lock_guard lock(mutex_);
    accounts_.erase(email);
}

void SignInThrottle::failedLocked(std::map<std::string, Record>& records, const std::string& key, int free,
                                  std::int64_t nowMs)
{
    Record& record = records[key];
    record.lastFailure = nowMs;
    int beyond = ++record.failures - free;
    if (beyond > 0)
        record.blockedUntil = nowMs + std::min(kLongestWaitMs, std::int64_t{1000} << std::min(beyond - 1, 16));
}

void SignInThrottle::forgetOldLocked(std::int64_t nowMs)
{
    for (auto* records : {&accounts_, &peers_})
        std::erase_if(*records, [&](const auto& entry) { return nowMs - entry.second.lastFailure > kForgetMs; });
}

}  // namespace qv::hub
