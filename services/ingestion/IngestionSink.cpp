#include "services/ingestion/IngestionSink.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>

#include <sys/socket.h>

namespace qv::services {

namespace {

// Most connections served at once; a further one waits to be accepted until one ends.
constexpr std::size_t kMostConnections = 1024;
// Seconds a connection may stay idle before the sink closes it, and a request may take to arrive.
constexpr time_t kIdleSeconds = 2;
constexpr time_t kReadSeconds = 5;

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string base64(const std::string& bytes)
{
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        }
        for (std::size_t k = 0; k < 4; ++k) {
            out += k <= n ? alphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
        }
    }
    return out;
}

// One line of requests.jsonl: the body as "body" when it is UTF-8 text, otherwise whole as
// "bodyBase64"; stray bytes of the method or target become U+FFFD.
std::string requestLine(const std::string& method, const std::string& target, int status, const std::string& body)
{
    nlohmann::ordered_json line = {{"method", method}, {"target", target}, {"status", status}};
    try {
        nlohmann::json(body).dump();
        line["body"] = body;
    } catch (const nlohmann::json::type_error&) {
        line["bodyBase64"] = base64(body);
    }
    return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

// Runs each connection on a thread of its own: a pool of a few threads is held by as many idle
// connections, and every request after them waits for those to time out.
class ConnectionThreads final : public httplib::TaskQueue {
public:
    void enqueue(std::function<void()> fn) override
    {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return running_ < kMostConnections; });
            ++running_;
        }
        std::thread([this, fn = std::move(fn)] {
            fn();
            std::lock_guard lock(mutex_);
            --running_;
            changed_.notify_all();
        }).detach();
    }

    // Waits for the connections under way, which the server's stop makes short.
    void shutdown() override
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return running_ == 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t running_ = 0;
};

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
    // Only the ingestion's route is served; any other path is answered 404 by the server, as
    // the service answers it.
    server_->http.Post("/logs", [this](const httplib::Request& request, httplib::Response& response,
                                    const httplib::ContentReader& content) {
        // The body as it arrives, a gzip body inflated: bounded on the inflated size, which a
        // small compressed body may make many times larger.
        std::string body;
        bool tooLarge = false;
        const bool read = content([&](const char* data, std::size_t length) {
            if (body.size() + length > kMostBodyBytes) {
                tooLarge = true;
                return false;
            }
            body.append(data, length);
            return true;
        });
        if (!read) {
            // A body past the bound before inflating is refused by the server, which says so.
            response.status = tooLarge || response.status == 413 ? 413 : 400;
            // The rest of the body was never read: the connection cannot carry another request.
            response.set_header("Connection", "close");
            response.set_content("{}", "application/json");
            return;
        }
        handle(request, std::move(body), response);
    });
    server_->http.set_payload_max_length(kMostBodyBytes);
    server_->http.set_keep_alive_timeout(kIdleSeconds);
    server_->http.set_read_timeout(kReadSeconds, 0);
    server_->http.new_task_queue = [] { return new ConnectionThreads; };
    server_->http.set_socket_options([this](int socket) {
        httplib::default_socket_options(socket);
        listening_ = socket;
    });
}

void IngestionSink::handle(const httplib::Request& request, std::string body, httplib::Response& response)
{
    ReceivedRequest received;
    received.method = request.method;
    received.path = request.path;
    const auto question = request.target.find('?');
    received.query = question == std::string::npos ? "" : request.target.substr(question + 1);
    for (const auto& [key, value] : request.headers) {
        received.headers.emplace(key, value);
    }
    received.body = std::move(body);
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
                << requestLine(received.method, request.target, answer.status, received.body) << "\n";
        }
        requests_.push_back(std::move(received));
    }
    arrived_.notify_all();
    response.status = answer.status;
    for (const auto& [key, value] : answer.headers) {
        response.set_header(key, value);
    }
    response.set_content("{}", "application/json");
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
    // The server listens with a backlog of 5: clients connecting at once beyond it would wait
    // seconds for the system's retries before they are even accepted.
    if (listening_ >= 0) {
        ::listen(listening_, SOMAXCONN);
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
