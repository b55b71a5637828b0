// A main queue driven by hand, with a fake clock, for tests: nothing runs until the test calls
// drain() or advance(). Tasks posted from worker threads wait in the queue like any other.
// A turn ends after each task, and when the queue starts to run: what the test did before is
// a turn of its own.
#pragma once

#include "Dispatcher.h"
#include "TimerQueue.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace qv {

class ManualDispatcher final : public Dispatcher {
public:
    void async(Task task) override;
    TimerId after(double seconds, Task task) override;
    TimerId every(double interval, Task task) override;
    void cancel(TimerId id) override;
    double now() const override;

    // Runs every task due at the current fake time, including those queued while draining.
    // Returns the number of tasks run.
    int drain();
    // Moves the clock forward by `seconds`, running each task at its due time in order.
    int advance(double seconds);
    // Drains until `done()` holds, blocking for tasks posted by other threads; gives up after
    // `realTimeoutSeconds` of wall time. The fake clock does not move.
    bool runUntil(const std::function<bool()>& done, double realTimeoutSeconds = 30);
    // Number of tasks and timers waiting, due or not.
    std::size_t pending() const;

private:
    TimerId schedule(double due, double interval, Task task);
    bool runNextDue(double until);

    mutable std::mutex mutex_;
    std::condition_variable posted_;
    TimerQueue queue_;
    double now_ = 0;
};

}  // namespace qv
