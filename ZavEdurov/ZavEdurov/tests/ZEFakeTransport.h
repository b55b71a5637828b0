// A transport that keeps every request and completes it only when a test says so.
#pragma once

#include "ZavEdurov/ZavEdurov/Internals/Util/Platform/ZEHttpTransport.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace ze::test {

class FakeTransport final : public ZEHttpTransport {
public:
    struct Task {
        ZEHttpRequest request;
        ZEHttpTaskCompletion completion;
        bool cancelled = false;
    };

    void start(ZEHttpRequest request, ZEHttpTaskCompletion completion) override
    {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back({std::move(request), std::move(completion)});
        }
        arrived_.notify_all();
    }

    void cancelAll() override
    {
        std::lock_guard lock(mutex_);
        for (auto& task : tasks_) {
            task.cancelled = true;
        }
    }

    // Waits (at most a few seconds of real time) until `count` requests were started.
    bool waitFor(std::size_t count)
    {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::seconds(5), [&] { return tasks_.size() >= count; });
    }

    std::size_t count()
    {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }

    ZEHttpRequest request(std::size_t index)
    {
        std::lock_guard lock(mutex_);
        return tasks_.at(index).request;
    }

    void respond(std::size_t index, long status, std::map<std::string, std::string> headers = {})
    {
        finish(index, ZEHttpResponse{status, std::move(headers)}, std::nullopt);
    }

    void fail(std::size_t index, long code)
    {
        finish(index, std::nullopt, ZEError{kZEURLErrorDomain, code, "failed"});
    }

private:
    void finish(std::size_t index, std::optional<ZEHttpResponse> response, std::optional<ZEError> error)
    {
        ZEHttpTaskCompletion completion;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.at(index).cancelled) {
                return;
            }
            completion = tasks_.at(index).completion;
        }
        completion(ZEData(), response, error);
    }

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Task> tasks_;
};

} // namespace ze::test
