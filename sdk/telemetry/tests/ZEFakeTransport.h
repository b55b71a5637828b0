// A transport that keeps every request and completes it only when a test says so.
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZEHttpTransport.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>
#include <zlib.h>

namespace ze::test {

// A gzip body as it was before compression; "<not gzip>" for anything else.
inline std::string gunzip(const ZEData& data)
{
    z_stream stream{};
    inflateInit2(&stream, 31);
    std::string out(100'000, '\0');
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return result == Z_STREAM_END ? out : "<not gzip>";
}

// A request's body as the sender meant it, whether or not it went compressed.
inline std::string bodyText(const ZEHttpRequest& request)
{
    const auto encoding = request.headers.find("Content-Encoding");
    return encoding != request.headers.end() && encoding->second == "gzip" ? gunzip(request.body)
                                                                            : std::string(request.body.begin(), request.body.end());
}

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
