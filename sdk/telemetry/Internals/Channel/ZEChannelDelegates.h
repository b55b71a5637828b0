// A set of channel delegates held weakly, safe to change from any thread; callbacks run on a
// snapshot taken under the lock, outside it.
#pragma once

#include "sdk/telemetry/Internals/Channel/ZEChannelDelegate.h"

#include <functional>
#include <mutex>
#include <vector>

namespace ze {

class ZEChannelDelegates {
public:
    void add(const std::shared_ptr<ZEChannelDelegate>& delegate);
    void remove(const std::shared_ptr<ZEChannelDelegate>& delegate);
    void enumerate(const std::function<void(ZEChannelDelegate&)>& block) const;
    // Asks in turn until one answers true; false when none does.
    bool anyFilters(ZEChannelUnitProtocol& unit, const std::shared_ptr<ZEAbstractLog>& log) const;

private:
    std::vector<std::shared_ptr<ZEChannelDelegate>> snapshot() const;

    mutable std::mutex mutex_;
    std::vector<std::weak_ptr<ZEChannelDelegate>> delegates_;
};

} // namespace ze
