// The wall clock the SDK reads. Tests install a manual clock and move time themselves; serial
// queues watch it so that their timers fire when the manual clock passes their deadline.
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZETypes.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace ze {

class ZEClock {
public:
    virtual ~ZEClock() = default;
    virtual ZEDate now() const = 0;
    // A manual clock never advances by itself: waiters wait for `advance`, not for real time.
    virtual bool isManual() const { return false; }
    // Called (on the advancing thread) whenever a manual clock moves; answers a token for removal.
    virtual int addObserver(std::function<void()>) { return 0; }
    virtual void removeObserver(int) { }

    static std::shared_ptr<ZEClock> system();
};

class ZEManualClock final : public ZEClock {
public:
    explicit ZEManualClock(ZEDate start = ZEDate(std::chrono::seconds(1'600'000'000)));

    ZEDate now() const override;
    bool isManual() const override { return true; }
    int addObserver(std::function<void()> observer) override;
    void removeObserver(int token) override;

    // Moves time forward and lets every watching queue take up the timers now due, before returning.
    void advance(std::chrono::milliseconds by);

private:
    mutable std::mutex mutex_;
    ZEDate now_;
    int nextToken_ = 1;
    std::vector<std::pair<int, std::function<void()>>> observers_;
};

} // namespace ze
