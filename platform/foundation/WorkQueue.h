// Work off the main thread: a serial queue (one private thread, tasks in order) and a pool of
// at most 8 threads. Results go back to the main thread through Dispatcher::async.
#pragma once

#include "Dispatcher.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qv {

class WorkQueue {
public:
    // `threads` is clamped to 1..8. A queue of one thread runs its tasks in the order queued.
    WorkQueue(std::string label, int threads);
    // Finishes the tasks already queued, then joins the threads.
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    void run(Task task);
    // Runs `work` on this queue, then `then(result)` on the main thread.
    template <class Work, class Then>
    void run(Dispatcher& main, Work work, Then then)
    {
        run([&main, work = std::move(work), then = std::move(then)]() mutable {
            auto result = std::make_shared<decltype(work())>(work());
            main.async([then = std::move(then), result]() mutable { then(std::move(*result)); });
        });
    }
    // Drops the tasks that have not started yet.
    void cancelPending();
    // Blocks until every queued task has finished.
    void wait();

    const std::string& label() const { return label_; }
    int threadCount() const { return static_cast<int>(threads_.size()); }

    static constexpr int kMaxThreads = 8;

private:
    void workerLoop();

    std::string label_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Task> tasks_;
    int running_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// One thread: tasks run in the order queued.
class SerialQueue : public WorkQueue {
public:
    explicit SerialQueue(std::string label) : WorkQueue(std::move(label), 1) {}
};

// Up to `threads` tasks at once (at most 8).
class WorkerPool : public WorkQueue {
public:
    explicit WorkerPool(std::string label, int threads = kMaxThreads)
        : WorkQueue(std::move(label), threads) {}
};

}  // namespace qv
