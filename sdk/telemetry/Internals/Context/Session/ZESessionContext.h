// The session ids of this and earlier launches: the current one, and a persisted history that
// says which id was in force at a given time (crash reports are sent one launch later).
#pragma once

#include "sdk/telemetry/Internals/Context/Session/ZESessionHistoryInfo.h"
#include "sdk/telemetry/Internals/Context/ZEHistoryStore.h"

#include <memory>
#include <mutex>
#include <vector>

namespace ze {

class ZESessionContext {
public:
    static std::shared_ptr<ZESessionContext> sharedInstance();
    static void resetSharedInstance();

    ZESessionContext();
    ZESessionContext(const ZESessionContext&) = delete;
    ZESessionContext& operator=(const ZESessionContext&) = delete;

    // Reads the stored history if it could not be read at creation; the SDK's configuration calls it.
    void loadHistory();
    std::optional<std::string> sessionId() const;
    // Replaces the current entry's id and time (also for an unchanged id) and persists.
    void setSessionId(const std::optional<std::string>& sessionId);
    // The id of the newest entry stamped strictly before `date`; nothing when there is none.
    std::optional<std::string> sessionIdAt(ZEDate date) const;
    void clearSessionHistoryAndKeepCurrentSession(bool keepCurrentSession);
    // Copies of the entries, oldest first.
    std::vector<ZESessionHistoryInfo> sessionHistory() const;

private:
    mutable std::recursive_mutex mutex_;
    std::shared_ptr<ZESessionHistoryInfo> currentSessionInfo_;
    ZEHistory<ZESessionHistoryInfo> history_;
};

} // namespace ze
