#include "sdk/telemetry/Internals/Util/ZETicketCache.h"

namespace ze {

ZETicketCache& ZETicketCache::sharedInstance()
{
    static ZETicketCache* instance = new ZETicketCache;
    return *instance;
}

std::optional<std::string> ZETicketCache::ticketFor(const std::string& key) const
{
    std::lock_guard lock(mutex_);
    const auto found = tickets_.find(key);
    return found == tickets_.end() ? std::nullopt : std::optional(found->second);
}

void ZETicketCache::setTicket(const std::string& ticket, const std::string& key)
{
    std::lock_guard lock(mutex_);
    tickets_[key] = ticket;
}

void ZETicketCache::clearCache()
{
    std::lock_guard lock(mutex_);
    tickets_.clear();
}

} // namespace ze
