// The queue of files waiting for transcription, behind an interface so that a deployment on
// several machines can put it on a shared queue. The database's `files_new` entries are the
// durable record of the work; a queue only orders it, so the in-memory one loses nothing on a
// restart (the service queues every entry again when it starts).
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <string>

namespace qv::hub {

class JobQueue {
public:
    virtual ~JobQueue() = default;
    // Queues a job; nothing happens when it is queued or being worked on already.
    virtual void push(const std::string& job) = 0;
    // The oldest queued job, which counts as being worked on until finish(); waits for one, and
    // answers nothing once `stop` is requested.
    virtual std::optional<std::string> take(std::stop_token stop) = 0;
    // The job taken is over: a later push queues it again.
    virtual void finish(const std::string& job) = 0;
};

// Jobs in this process's memory. Safe from any thread.
class MemoryJobQueue final : public JobQueue {
public:
    void push(const std::string& job) override;
    std::optional<std::string> take(std::stop_token stop) override;
    void finish(const std::string& job) override;

private:
    std::mutex mutex_;
    std::condition_variable_any arrived_;
    std::deque<std::string> queued_;
    std::set<std::string> known_;  // queued or being worked on
};

}  // namespace qv::hub
