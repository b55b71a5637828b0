// A stand-in for the telemetry ingestion service: an HTTP server on 127.0.0.1 that takes the
// requests to its route, POST "/logs" (any other is answered 404, as the service answers it),
// keeps them (headers and body; a gzip body is inflated on arrival, up to kMostBodyBytes, past
// which it answers 413), answers with the statuses a test queued (200 once the queue is empty),
// and gives every request back on demand. Idle connections are closed after a short while, and
// each connection has a thread of its own, so that idle ones keep no request waiting.
// With a folder, each request is also appended to "<folder>/requests.jsonl" as it arrives, one
// JSON object a line: a body that is not UTF-8 is kept as "bodyBase64" in place of "body".
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

namespace qv::services {

struct ReceivedRequest {
    std::string method;
    std::string path;  // without the query
    std::string query; // after "?", as sent
    std::multimap<std::string, std::string> headers;
    std::string body;

    // The first header of that name, case-insensitively.
    std::optional<std::string> header(const std::string& name) const;
};

struct SinkResponse {
    int status = 200;
    std::map<std::string, std::string> headers;
};

class IngestionSink {
public:
    // The largest body the sink takes, after inflating.
    static constexpr std::size_t kMostBodyBytes = 8 * 1024 * 1024;

    explicit IngestionSink(std::filesystem::path folder = {});
    ~IngestionSink();
    IngestionSink(const IngestionSink&) = delete;
    IngestionSink& operator=(const IngestionSink&) = delete;

    // Binds 127.0.0.1 on `port` (0: an ephemeral one) and serves on a thread; false when it cannot.
    bool start(int port = 0);
    void stop();
    int port() const { return port_; }
    std::string baseUrl() const;

    // Answers the next requests with these, in order; afterwards with `defaultResponse`.
    void queueResponses(std::vector<SinkResponse> responses);
    void setDefaultResponse(SinkResponse response);

    std::vector<ReceivedRequest> requests() const;
    // Waits (at most `timeout`) until `count` requests arrived; answers whether they did.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    struct Server;
    // Keeps one request to the route and answers it.
    void handle(const httplib::Request& request, std::string body, httplib::Response& response);

    std::unique_ptr<Server> server_;
    std::thread thread_;
    int port_ = 0;
    int listening_ = -1; // the server's listening socket, once made
    std::filesystem::path folder_;
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<ReceivedRequest> requests_;
    std::deque<SinkResponse> queued_;
    SinkResponse default_;
};

} // namespace qv::services
