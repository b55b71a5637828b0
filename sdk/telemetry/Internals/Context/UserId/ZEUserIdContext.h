// The user ids of this and earlier launches (current one plus persisted history), the user-id
// rules of the two backends, and observers of user-id changes.
#pragma once

#include "sdk/telemetry/Internals/Context/UserId/ZEUserIdHistoryInfo.h"
#include "sdk/telemetry/Internals/Context/ZEHistoryStore.h"

#include <memory>
#include <mutex>
#include <vector>

namespace ze {

class ZEUserIdContext;

class ZEUserIdContextDelegate {
public:
    virtual ~ZEUserIdContextDelegate() = default;
    virtual void userIdContextDidUpdateUserId(ZEUserIdContext& context, const std::optional<std::string>& userId) = 0;
};

// Longest user id the SDK's own backend accepts, in characters.
inline constexpr std::size_t kZEUserIdMaxLength = 256;

class ZEUserIdContext {
public:
    static std::shared_ptr<ZEUserIdContext> sharedInstance();
    static void resetSharedInstance();

    ZEUserIdContext();
    ZEUserIdContext(const ZEUserIdContext&) = delete;
    ZEUserIdContext& operator=(const ZEUserIdContext&) = delete;

    // Reads the stored history if it could not be read at creation; the SDK's configuration calls it.
    void loadHistory();
    std::optional<std::string> userId() const;
    // Changes the current entry and notifies the delegates, unless the id is unchanged.
    void setUserId(const std::optional<std::string>& userId);
    std::optional<std::string> userIdAt(ZEDate date) const;
    void clearUserIdHistory();
    std::vector<ZEUserIdHistoryInfo> userIdHistory() const;

    // Delegates are held weakly and called outside the lock, in the order added.
    void addDelegate(const std::shared_ptr<ZEUserIdContextDelegate>& delegate);
    void removeDelegate(const std::shared_ptr<ZEUserIdContextDelegate>& delegate);

    static bool isUserIdValidForZavEdurov(const std::optional<std::string>& userId);
    static bool isUserIdValidForCollector(const std::optional<std::string>& userId);
    // "c:" + id for an id without ":"; anything else unchanged.
    static std::optional<std::string> prefixedUserIdFromUserId(const std::optional<std::string>& userId);

private:
    mutable std::recursive_mutex mutex_;
    std::shared_ptr<ZEUserIdHistoryInfo> currentUserIdInfo_;
    ZEHistory<ZEUserIdHistoryInfo> history_;
    std::vector<std::weak_ptr<ZEUserIdContextDelegate>> delegates_;
};

} // namespace ze
