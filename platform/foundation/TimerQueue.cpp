#include "TimerQueue.h"

#include <algorithm>

namespace qv {

TimerId TimerQueue::add(double due, double interval, Task task)
{
    TimerId id = nextId_++;
    entries_.emplace(Key{due, sequence_++}, Entry{std::move(task), id, interval});
    return id;
}

void TimerQueue::cancel(TimerId id)
{
    std::erase_if(entries_, [id](const auto& item) { return item.second.id == id; });
}

std::optional<double> TimerQueue::nextDue() const
{
    if (entries_.empty())
        return std::nullopt;
    return entries_.begin()->first.first;
}

std::optional<TimerQueue::Due> TimerQueue::takeDue(double until, double clock)
{
    if (entries_.empty() || entries_.begin()->first.first > until)
        return std::nullopt;
    auto node = entries_.extract(entries_.begin());
    double due = node.key().first;
    Entry& entry = node.mapped();
    if (entry.interval > 0)
        entries_.emplace(Key{std::max(clock, due) + entry.interval, sequence_++}, entry);
    return Due{std::move(entry.task), due};
}

}  // namespace qv
