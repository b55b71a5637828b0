#include "services/hub/JobQueue.h"

namespace qv::hub {

void MemoryJobQueue::push(const std::string& job)
{
    {
        std::lock_guard lock(mutex_);
        if (!known_.insert(job).second)
            return;
        queued_.push_back(job);
    }
    arrived_.notify_one();
}

std::optional<std::string> MemoryJobQueue::take(std::stop_token stop)
{
    std::unique_lock lock(mutex_);
    if (!arrived_.wait(lock, stop, [this] { return !queued_.empty(); }))
        return std::nullopt;
    std::string job = std::move(queued_.front());
    queued_.pop_front();
    return job;
}

void MemoryJobQueue::finish(const std::string& job)
{
    std::lock_guard lock(mutex_);
    known_.erase(job);
}

}  // namespace qv::hub
