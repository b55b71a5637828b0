// The process-wide cache of authentication tickets sent to the collector, by ticket key. Read and
// written from any thread, so every access takes its lock.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace ze {

class ZETicketCache {
public:
    static ZETicketCache& sharedInstance();

    std::optional<std::string> ticketFor(const std::string& key) const;
    // Replaces an earlier ticket under the same key.
    void setTicket(const std::string& ticket, const std::string& key);
    void clearCache();

private:
    ZETicketCache() = default;

    mutable std::mutex mutex_;
    std::map<std::string, std::string> tickets_;
};

} // namespace ze
