// A thread that sits blocked on a condition until it is destroyed, so that a report has
// another thread to describe.
#pragma once

#include "sdk/crash-engine/linux/ThreadControl.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class BlockedThread {
public:
    BlockedThread()
        : thread_([this] {
              id_ = cecrash_async_current_thread();
              std::unique_lock lock(mutex_);
              started_ = true;
              wake_.notify_all();
              wake_.wait(lock, [this] { return done_; });
          })
    {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return started_; });
    }
    ~BlockedThread()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    BlockedThread(const BlockedThread&) = delete;
    BlockedThread& operator=(const BlockedThread&) = delete;

    cecrash_thread_t id() const { return id_.load(); }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool started_ = false;
    bool done_ = false;
    std::atomic<cecrash_thread_t> id_{0};
    std::thread thread_;
};
