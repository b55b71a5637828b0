#include "sdk/telemetry/Internals/Util/Platform/ZEHttpTransport.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace ze {

std::optional<std::string> ZEHttpResponse::header(const std::string& name) const
{
    const auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
        return text;
    };
    const std::string wanted = lower(name);
    for (const auto& [key, value] : headers) {
        if (lower(key) == wanted) {
            return value;
        }
    }
    return std::nullopt;
}

namespace {

constexpr long kTimeoutSeconds = 60;

long urlErrorCode(CURLcode code)
{
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return kZEURLErrorTimedOut;
    case CURLE_COULDNT_RESOLVE_HOST:
        return kZEURLErrorCannotFindHost;
    case CURLE_COULDNT_CONNECT:
        return kZEURLErrorCannotConnectToHost;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return kZEURLErrorNetworkConnectionLost;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
        return kZEURLErrorSecureConnectionFailed;
    default:
        return kZEURLErrorUnknown;
    }
}

struct Task {
    ZEHttpRequest request;
    ZEHttpTaskCompletion completion;
    std::uint64_t generation = 0;
};

// Shared with the worker, which may outlive the transport when the last owner is a completion.
struct State {
    long maxConnectionsPerHost = 0;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Task> tasks;
    std::atomic<std::uint64_t> generation{0};
    bool stopping = false;
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* body = static_cast<ZEData*>(user);
    body->insert(body->end(), data, data + size * count);
    return size * count;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* headers = static_cast<std::map<std::string, std::string>*>(user);
    const std::string line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) {
        headers->clear(); // a new response (after a 100 Continue) starts its own headers
    }
    const auto colon = line.find(':');
    if (colon != std::string::npos) {
        const auto trim = [](std::string text) {
            text.erase(0, text.find_first_not_of(" \t"));
            text.erase(text.find_last_not_of(" \t\r\n") + 1);
            return text;
        };
        (*headers)[trim(line.substr(0, colon))] = trim(line.substr(colon + 1));
    }
    return size * count;
}

struct Progress {
    const std::atomic<std::uint64_t>* generation;
    std::uint64_t taskGeneration;
};

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* progress = static_cast<Progress*>(user);
    return progress->generation->load() != progress->taskGeneration ? 1 : 0;
}

void perform(CURL* curl, State& state, Task& task)
{
    curl_easy_reset(curl);
    ZEData body;
    std::map<std::string, std::string> headers;
    Progress progress{&state.generation, task.generation};
    curl_slist* list = nullptr;
    for (const auto& [name, value] : task.request.headers) {
        list = curl_slist_append(list, (name + ": " + value).c_str());
    }
    list = curl_slist_append(list, "Expect:");
    curl_easy_setopt(curl, CURLOPT_URL, task.request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, task.request.method.c_str());
    if (task.request.method == "POST" || !task.request.body.empty()) {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, task.request.body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(task.request.body.size()));
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &headers);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &progress);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    if (state.maxConnectionsPerHost > 0) {
        curl_easy_setopt(curl, CURLOPT_MAXCONNECTS, state.maxConnectionsPerHost);
    }
    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(list);
    if (state.generation.load() != task.generation) {
        return;
    }
    if (code != CURLE_OK) {
        task.completion(body, std::nullopt, ZEError{kZEURLErrorDomain, urlErrorCode(code), curl_easy_strerror(code)});
        return;
    }
    task.completion(body, ZEHttpResponse{status, std::move(headers)}, std::nullopt);
}

void run(std::shared_ptr<State> state)
{
    CURL* curl = curl_easy_init();
    for (;;) {
        Task task;
        {
            std::unique_lock lock(state->mutex);
            state->wake.wait(lock, [&state] { return state->stopping || !state->tasks.empty(); });
            if (state->stopping) {
                break;
            }
            task = std::move(state->tasks.front());
            state->tasks.pop_front();
        }
        perform(curl, *state, task);
    }
    curl_easy_cleanup(curl);
}

class CurlTransport final : public ZEHttpTransport {
public:
    explicit CurlTransport(long maxConnectionsPerHost)
        : state_(std::make_shared<State>())
    {
        static std::once_flag initialised;
        std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
        state_->maxConnectionsPerHost = maxConnectionsPerHost;
        worker_ = std::thread(run, state_);
    }

    ~CurlTransport() override
    {
        {
            std::lock_guard lock(state_->mutex);
            state_->stopping = true;
            ++state_->generation;
        }
        state_->wake.notify_all();
        // The last owner may be a completion running on the worker itself.
        if (worker_.get_id() == std::this_thread::get_id()) {
            worker_.detach();
        } else {
            worker_.join();
        }
    }

    void start(ZEHttpRequest request, ZEHttpTaskCompletion completion) override
    {
        {
            std::lock_guard lock(state_->mutex);
            state_->tasks.push_back({std::move(request), std::move(completion), state_->generation.load()});
        }
        state_->wake.notify_all();
    }

    void cancelAll() override
    {
        std::lock_guard lock(state_->mutex);
        ++state_->generation;
        state_->tasks.clear();
    }

private:
    std::shared_ptr<State> state_;
    std::thread worker_;
};

} // namespace

std::shared_ptr<ZEHttpTransport> ZEMakeCurlTransport(long maxConnectionsPerHost)
{
    return std::make_shared<CurlTransport>(maxConnectionsPerHost);
}

} // namespace ze
