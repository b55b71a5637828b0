#include "sdk/telemetry/Internals/Util/Platform/ZEClock.h"

namespace ze {

namespace {

class ZESystemClock final : public ZEClock {
public:
    ZEDate now() const override { return std::chrono::system_clock::now(); }
};

} // namespace

std::shared_ptr<ZEClock> ZEClock::system()
{
    static const std::shared_ptr<ZEClock> clock = std::make_shared<ZESystemClock>();
    return clock;
}

ZEManualClock::ZEManualClock(ZEDate start)
    : now_(start)
{
}

ZEDate ZEManualClock::now() const
{
    std::lock_guard lock(mutex_);
    return now_;
}

int ZEManualClock::addObserver(std::function<void()> observer)
{
    std::lock_guard lock(mutex_);
    observers_.emplace_back(nextToken_, std::move(observer));
    return nextToken_++;
}

void ZEManualClock::removeObserver(int token)
{
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [token](const auto& entry) { return entry.first == token; });
}

void ZEManualClock::advance(std::chrono::milliseconds by)
{
    std::vector<std::function<void()>> observers;
    {
        std::lock_guard lock(mutex_);
        now_ += by;
        for (const auto& entry : observers_) {
            observers.push_back(entry.second);
        }
    }
    for (const auto& observer : observers) {
        observer();
    }
}

} // namespace ze
