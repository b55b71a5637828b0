// Watches whether the machine can reach the internet and reports it as reachability flags
// (0x2 reachable; the other flags are never raised on this platform). The Linux monitor counts the
// network as reachable while a default route over an interface other than loopback exists, and
// follows route and address changes through a netlink socket.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace ze {

inline constexpr std::uint32_t kZEReachabilityReachable = 0x2;
inline constexpr std::uint32_t kZEReachabilityConnectionRequired = 0x4;
inline constexpr std::uint32_t kZEReachabilityConnectionOnTraffic = 0x8;
inline constexpr std::uint32_t kZEReachabilityInterventionRequired = 0x10;
inline constexpr std::uint32_t kZEReachabilityConnectionOnDemand = 0x20;

class ZENetworkMonitor {
public:
    using ChangeHandler = std::function<void()>;
    virtual ~ZENetworkMonitor() = default;
    // The current flags; false when they cannot be read.
    virtual bool flags(std::uint32_t& flags) const = 0;
    // Starts reporting changes to `handler` (on a thread of the monitor); false when it cannot.
    virtual bool start(ChangeHandler handler) = 0;
    virtual void stop() = 0;
};

class ZELinuxNetworkMonitor final : public ZENetworkMonitor {
public:
    ZELinuxNetworkMonitor() = default;
    ~ZELinuxNetworkMonitor() override;
    ZELinuxNetworkMonitor(const ZELinuxNetworkMonitor&) = delete;
    ZELinuxNetworkMonitor& operator=(const ZELinuxNetworkMonitor&) = delete;

    bool flags(std::uint32_t& flags) const override;
    bool start(ChangeHandler handler) override;
    void stop() override;

private:
    std::mutex mutex_;
    std::thread watcher_;
    int socket_ = -1;
    int wakePipe_[2] = {-1, -1};
};

} // namespace ze
