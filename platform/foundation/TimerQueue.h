// The pending tasks and timers of a main queue, ordered by due time and then by the order they
// were queued. Not locked: the dispatcher that owns it guards it.
#pragma once

#include "Dispatcher.h"

#include <map>
#include <optional>
#include <utility>

namespace qv {

class TimerQueue {
public:
    // Queues `task` to fall due at `due`; a positive `interval` repeats it.
    TimerId add(double due, double interval, Task task);
    void cancel(TimerId id);
    // The earliest due time, if anything is queued.
    std::optional<double> nextDue() const;
    // Takes the earliest task if it is due at `until`, with its due time. A repeating timer is
    // queued again, `interval` after the later of `clock` and its due time, before it runs so
    // that it can cancel itself.
    struct Due {
        Task task;
        double due;
    };
    std::optional<Due> takeDue(double until, double clock);
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        Task task;
        TimerId id;
        double interval;  // 0 for one-shot entries
    };
    using Key = std::pair<double, std::uint64_t>;  // due time, order of queueing

    std::map<Key, Entry> entries_;
    std::uint64_t sequence_ = 0;
    TimerId nextId_ = 1;
};

}  // namespace qv
