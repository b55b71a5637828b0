#include "sdk/telemetry/Internals/Channel/ZEChannelDelegates.h"

#include <algorithm>

namespace ze {

void ZEChannelDelegates::add(const std::shared_ptr<ZEChannelDelegate>& delegate)
{
    if (!delegate) {
        return;
    }
    std::lock_guard lock(mutex_);
    std::erase_if(delegates_, [&delegate](const auto& held) { return held.expired() || held.lock() == delegate; });
    delegates_.push_back(delegate);
}

void ZEChannelDelegates::remove(const std::shared_ptr<ZEChannelDelegate>& delegate)
{
    std::lock_guard lock(mutex_);
    std::erase_if(delegates_, [&delegate](const auto& held) { return held.expired() || held.lock() == delegate; });
}

std::vector<std::shared_ptr<ZEChannelDelegate>> ZEChannelDelegates::snapshot() const
{
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<ZEChannelDelegate>> live;
    for (const auto& held : delegates_) {
        if (auto delegate = held.lock()) {
            live.push_back(std::move(delegate));
        }
    }
    return live;
}

void ZEChannelDelegates::enumerate(const std::function<void(ZEChannelDelegate&)>& block) const
{
    for (const auto& delegate : snapshot()) {
        block(*delegate);
    }
}

bool ZEChannelDelegates::anyFilters(ZEChannelUnitProtocol& unit, const std::shared_ptr<ZEAbstractLog>& log) const
{
    for (const auto& delegate : snapshot()) {
        if (delegate->channelUnitShouldFilterLog(unit, log).value_or(false)) {
            return true;
        }
    }
    return false;
}

} // namespace ze
