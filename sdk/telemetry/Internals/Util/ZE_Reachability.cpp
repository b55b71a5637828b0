#include "sdk/telemetry/Internals/Util/ZE_Reachability.h"

#include "sdk/telemetry/Internals/Util/ZEDispatcherUtil.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"

namespace ze {

std::shared_ptr<ZE_Reachability> ZE_Reachability::reachabilityForInternetConnection()
{
    auto monitor = ZEPlatform::makeNetworkMonitor();
    return monitor ? std::make_shared<ZE_Reachability>(std::move(monitor)) : nullptr;
}

ZE_Reachability::ZE_Reachability(std::shared_ptr<ZENetworkMonitor> monitor)
    : monitor_(std::move(monitor))
{
}

ZE_Reachability::~ZE_Reachability()
{
    monitor_->stop();
}

int ZE_Reachability::addObserver(Observer observer)
{
    std::lock_guard lock(mutex_);
    observers_.emplace_back(nextToken_, std::move(observer));
    return nextToken_++;
}

void ZE_Reachability::removeObserver(int token)
{
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [token](const auto& entry) { return entry.first == token; });
}

void ZE_Reachability::startNotifier()
{
    std::weak_ptr<ZE_Reachability> weak = weak_from_this();
    ZEDispatcherUtil::performBlockOnMainThread([weak] {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        // Changes arrive on the watcher's own thread. Holding the object there, even briefly,
        // could make that thread the last owner, whose destructor would then stop (join) itself.
        const bool started = self->monitor_->start([weak] {
            if (!weak.expired()) {
                ZEDispatcherUtil::performBlockOnMainThread([weak] {
                    if (auto target = weak.lock()) {
                        target->post();
                    }
                });
            }
        });
        if (started) {
            self->post();
        }
    });
}

void ZE_Reachability::stopNotifier()
{
    std::weak_ptr<ZE_Reachability> weak = weak_from_this();
    ZEDispatcherUtil::performBlockOnMainThread([weak] {
        if (auto self = weak.lock()) {
            self->monitor_->stop();
        }
    });
}

void ZE_Reachability::post()
{
    std::vector<Observer> observers;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : observers_) {
            observers.push_back(entry.second);
        }
    }
    for (const auto& observer : observers) {
        observer(*this);
    }
}

ZENetworkStatus ZE_Reachability::networkStatusForFlags(std::uint32_t flags)
{
    if ((flags & kZEReachabilityReachable) == 0) {
        return ZENotReachable;
    }
    if ((flags & kZEReachabilityConnectionRequired) == 0) {
        return ZEReachableViaWiFi;
    }
    const bool automatic = (flags & (kZEReachabilityConnectionOnTraffic | kZEReachabilityConnectionOnDemand)) != 0;
    if (automatic && (flags & kZEReachabilityInterventionRequired) == 0) {
        return ZEReachableViaWiFi;
    }
    return ZENotReachable;
}

ZENetworkStatus ZE_Reachability::currentReachabilityStatus() const
{
    std::uint32_t flags = 0;
    return monitor_->flags(flags) ? networkStatusForFlags(flags) : ZENotReachable;
}

bool ZE_Reachability::connectionRequired() const
{
    std::uint32_t flags = 0;
    return monitor_->flags(flags) && (flags & kZEReachabilityConnectionRequired) != 0;
}

} // namespace ze
