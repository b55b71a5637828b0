#include "WorkQueue.h"

#include <algorithm>

namespace qv {

WorkQueue::WorkQueue(std::string label, int threads) : label_(std::move(label))
{
    int count = std::clamp(threads, 1, kMaxThreads);
    for (int i = 0; i < count; ++i)
        threads_.emplace_back([this] { workerLoop(); });
}

WorkQueue::~WorkQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& thread : threads_)
        thread.join();
}

void WorkQueue::run(Task task)
{
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void WorkQueue::cancelPending()
{
    std::lock_guard lock(mutex_);
    tasks_.clear();
    if (running_ == 0)
        idle_.notify_all();
}

void WorkQueue::wait()
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return tasks_.empty() && running_ == 0; });
}

void WorkQueue::workerLoop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
        if (tasks_.empty())
            return;  // stopping, and everything queued has been taken
        Task task = std::move(tasks_.front());
        tasks_.pop_front();
        ++running_;
        lock.unlock();
        task();
        lock.lock();
        --running_;
        if (tasks_.empty() && running_ == 0)
            idle_.notify_all();
    }
}

}  // namespace qv
