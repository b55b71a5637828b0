#include "services/ingestion/IngestionSink.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <fstream>

namespace qv::services {

namespace {

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string jsonEscaped(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            static const char* digits = "0123456789abcdef";
            out += "\\u00";
            out += digits[c >> 4];
            out += digits[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace

struct IngestionSink::Server {
    httplib::Server http;
};

std::optional<std::string> ReceivedRequest::header(const std::string& name) const
{
    const std::string wanted = lower(name);
    for (const auto& [key, value] : headers) {
        if (lower(key) == wanted) {
            return value;
        }
    }
    return std::nullopt;
}

IngestionSink::IngestionSink(std::filesystem::path folder)
    : server_(std::make_unique<Server>())
    , folder_(std::move(folder))
{
    const auto handle = [this](const httplib::Request& request, httplib::Response& response) {
        ReceivedRequest received;
        received.method = request.method;
        received.path = request.path;
        const auto question = request.target.find('?');
        received.query = question == std::string::npos ? "" : request.target.substr(question + 1);
        for (const auto& [key, value] : request.headers) {
            received.headers.emplace(key, value);
        }
        received.body = request.body;
        SinkResponse answer;
        {
            std::lock_guard lock(mutex_);
            if (!queued_.empty()) {
                answer = queued_.front();
                queued_.pop_front();
            } else {
                answer = default_;
            }
            if (!folder_.empty()) {
                std::error_code error;
                std::filesystem::create_directories(folder_, error);
                std::ofstream(folder_ / "requests.jsonl", std::ios::app)
                    << "{\"method\":\"" << jsonEscaped(received.method) << "\",\"target\":\"" << jsonEscaped(request.target)
                    << "\",\"status\":" << answer.status << ",\"body\":\"" << jsonEscaped(received.body)
                    << "\"}\n";
            }
            requests_.push_back(std::move(received));
        }
        arrived_.notify_all();
        response.status = answer.status;
        for (const auto& [key, value] : answer.headers) {
            response.set_header(key, value);
        }
        response.set_content("{}", "application/json");
    };
    server_->http.set_payload_max_length(64 * 1024 * 1024);
    server_->http.Post(".*", handle);
    server_->http.Put(".*", handle);
    server_->http.Get(".*", handle);
}

IngestionSink::~IngestionSink()
{
    stop();
}

bool IngestionSink::start(int port)
{
    port_ = port == 0 ? server_->http.bind_to_any_port("127.0.0.1") : (server_->http.bind_to_port("127.0.0.1", port) ? port : -1);
    if (port_ <= 0) {
        return false;
    }
    // Bound already: connections made before the loop runs wait in the backlog.
    thread_ = std::thread([this] { server_->http.listen_after_bind(); });
    return true;
}

void IngestionSink::stop()
{
    if (thread_.joinable()) {
        // A stop before the loop runs would be lost, and the loop would then serve for ever.
        while (!server_->http.is_running()) {
            std::this_thread::yield();
        }
        server_->http.stop();
        thread_.join();
    }
}

std::string IngestionSink::baseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(port_);
}

void IngestionSink::queueResponses(std::vector<SinkResponse> responses)
{
    std::lock_guard lock(mutex_);
    queued_.insert(queued_.end(), responses.begin(), responses.end());
}

void IngestionSink::setDefaultResponse(SinkResponse response)
{
    std::lock_guard lock(mutex_);
    default_ = std::move(response);
}

std::vector<ReceivedRequest> IngestionSink::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

bool IngestionSink::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

} // namespace qv::services
