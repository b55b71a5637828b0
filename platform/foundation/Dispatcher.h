// The main queue: tasks and timers that run on the main thread, one at a time, in the order
// they fall due. Subsystems take a Dispatcher& so that tests can drive a fake clock.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace qv {

using Task = std::function<void()>;
using TimerId = std::uint64_t;

class Dispatcher {
public:
    virtual ~Dispatcher() = default;

    // Queues `task` behind everything already due. Safe to call from any thread.
    virtual void async(Task task) = 0;
    // Runs `task` once, `seconds` from now (0 means: after what is already queued).
    // Safe to call from any thread.
    virtual TimerId after(double seconds, Task task) = 0;
    // Runs `task` every `interval` seconds until cancelled. Main thread only.
    virtual TimerId every(double interval, Task task) = 0;
    // Stops a pending one-shot or repeating timer; unknown ids are ignored.
    virtual void cancel(TimerId id) = 0;
    // Seconds on this dispatcher's clock: monotonic, with an arbitrary origin.
    virtual double now() const = 0;

    // `observer` runs each time the main thread finishes handling one task or event and
    // control returns to the dispatcher. The undo manager closes its open group there.
    void addTurnEndObserver(Task observer);

protected:
    // Implementations call this after each task or event they hand to the main thread.
    void endTurn();

private:
    std::vector<Task> turnEndObservers_;
};

}  // namespace qv
