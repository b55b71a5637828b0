// A serial queue: one private thread runs its tasks one at a time in the order queued, and its
// one-shot and repeating timers at deadlines of a wall clock (a manual clock in tests).
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZEClock.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace ze {

// Handle of a scheduled timer; cancelling it (from any thread) stops all later firings.
class ZETimer {
public:
    ZETimer() = default;
    void cancel();
    bool isCancelled() const;

private:
    friend class ZESerialQueue;
    std::shared_ptr<std::atomic<bool>> cancelled_;
};

class ZESerialQueue {
public:
    explicit ZESerialQueue(std::string label, std::shared_ptr<ZEClock> clock = ZEClock::system());
    // Runs the tasks already queued, drops the timers, then joins the thread.
    ~ZESerialQueue();
    ZESerialQueue(const ZESerialQueue&) = delete;
    ZESerialQueue& operator=(const ZESerialQueue&) = delete;

    const std::string& label() const;
    const std::shared_ptr<ZEClock>& clock() const;

    void async(std::function<void()> task);
    // Fires once at `deadline` of the queue's clock (at once when it has passed).
    ZETimer at(ZEDate deadline, std::function<void()> task);
    ZETimer after(std::chrono::milliseconds delay, std::function<void()> task);
    // Fires every `interval`, the first time one interval from now; missed firings are coalesced.
    ZETimer every(std::chrono::milliseconds interval, std::function<void()> task);

    // Runs `task` once every task queued before it has run, with the queue held, on the calling
    // thread (`isCurrent` answers true meanwhile); inline when called on the queue itself.
    void sync(const std::function<void()>& task);
    // Queues `task` and waits at most `timeout` of real time for it; answers whether it finished.
    // A task still running when the wait ends goes on running. Called on the queue itself, it
    // queues `task` and answers false at once.
    bool syncWithTimeout(std::chrono::milliseconds timeout, std::function<void()> task);
    // Waits until every queued task, including timers already due, has run.
    void drain();
    bool isCurrent() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace ze
