// Whether the internet is reachable, and a notification on every change: observers are called on
// the main thread, once when the notifier starts and then whenever the reachability flags change.
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZENetworkMonitor.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace ze {

inline constexpr const char* kZENetworkReachabilityChangedNotification = "kZENetworkReachabilityChangedNotification";

enum ZENetworkStatus { ZENotReachable = 0, ZEReachableViaWiFi = 1 };

class ZE_Reachability : public std::enable_shared_from_this<ZE_Reachability> {
public:
    using Observer = std::function<void(ZE_Reachability& sender)>;

    // Watches the machine's internet connection (the zero address); nothing when no monitor can be made.
    static std::shared_ptr<ZE_Reachability> reachabilityForInternetConnection();

    explicit ZE_Reachability(std::shared_ptr<ZENetworkMonitor> monitor);
    ~ZE_Reachability();
    ZE_Reachability(const ZE_Reachability&) = delete;
    ZE_Reachability& operator=(const ZE_Reachability&) = delete;

    int addObserver(Observer observer);
    void removeObserver(int token);

    // Both act later on the main thread; starting twice announces the state again.
    void startNotifier();
    void stopNotifier();

    static ZENetworkStatus networkStatusForFlags(std::uint32_t flags);
    ZENetworkStatus currentReachabilityStatus() const;
    bool connectionRequired() const;

private:
    void post();

    std::shared_ptr<ZENetworkMonitor> monitor_;
    std::mutex mutex_;
    int nextToken_ = 1;
    std::vector<std::pair<int, Observer>> observers_;
};

} // namespace ze
