#include "ManualDispatcher.h"

#include <algorithm>

namespace qv {

void ManualDispatcher::async(Task task)
{
    after(0, std::move(task));
}

TimerId ManualDispatcher::after(double seconds, Task task)
{
    std::lock_guard lock(mutex_);
    return schedule(now_ + std::max(0.0, seconds), 0, std::move(task));
}

TimerId ManualDispatcher::every(double interval, Task task)
{
    std::lock_guard lock(mutex_);
    // As for after(): a negative or NaN first delay falls due now, behind what is queued,
    // and never reaches the queue as a due time that cannot be ordered.
    return schedule(now_ + std::max(0.0, interval), interval, std::move(task));
}

TimerId ManualDispatcher::schedule(double due, double interval, Task task)
{
    TimerId id = queue_.add(due, interval, std::move(task));
    posted_.notify_all();
    return id;
}

void ManualDispatcher::cancel(TimerId id)
{
    std::lock_guard lock(mutex_);
    queue_.cancel(id);
}

double ManualDispatcher::now() const
{
    std::lock_guard lock(mutex_);
    return now_;
}

std::size_t ManualDispatcher::pending() const
{
    std::lock_guard lock(mutex_);
    return queue_.size();
}

bool ManualDispatcher::runNextDue(double until)
{
    Task task;
    {
        std::lock_guard lock(mutex_);
        auto due = queue_.takeDue(until, now_);
        if (!due)
            return false;
        now_ = std::max(now_, due->due);
        task = std::move(due->task);
    }
    task();
    endTurn();
    return true;
}

int ManualDispatcher::drain()
{
    // What the caller did before running the queue is a turn of its own.
    endTurn();
    int count = 0;
    while (runNextDue(now()))
        ++count;
    return count;
}

int ManualDispatcher::advance(double seconds)
{
    double target = now() + seconds;
    endTurn();
    int count = 0;
    while (runNextDue(target))
        ++count;
    std::lock_guard lock(mutex_);
    now_ = std::max(now_, target);
    return count;
}

bool ManualDispatcher::runUntil(const std::function<bool()>& done, double realTimeoutSeconds)
{
    auto deadline = std::chrono::steady_clock::now()
        + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(realTimeoutSeconds));
    for (;;) {
        drain();
        if (done())
            return true;
        std::unique_lock lock(mutex_);
        auto dueNow = [this] {
            auto due = queue_.nextDue();
            return due && *due <= now_;
        };
        if (!posted_.wait_until(lock, deadline, dueNow))
            return false;
    }
}

}  // namespace qv
