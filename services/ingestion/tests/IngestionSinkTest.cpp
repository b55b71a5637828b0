#include "services/ingestion/IngestionSink.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <fstream>
#include <sstream>

namespace qv::services {
namespace {

struct Reply {
    long status = 0;
    std::string retryAfter;
};

std::size_t discard(char*, std::size_t size, std::size_t count, void*)
{
    return size * count;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user)
{
    const std::string line(data, size * count);
    if (line.rfind("x-ms-retry-after-ms:", 0) == 0) {
        static_cast<Reply*>(user)->retryAfter = line.substr(21, line.find_first_of("\r\n") - 21);
    }
    return size * count;
}

// Posts `body` (sent as gzip when `gzip` is set) and answers the status; 0 when no answer came
// within `timeoutSeconds`.
Reply post(const std::string& url, const std::string& body, bool gzip = false, long timeoutSeconds = 0)
{
    Reply reply;
    CURL* curl = curl_easy_init();
    curl_slist* headers = curl_slist_append(nullptr, "App-Secret: s3cret");
    if (gzip) {
        headers = curl_slist_append(headers, "Content-Encoding: gzip");
    }
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, timeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &discard);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply);
    if (curl_easy_perform(curl) == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return reply;
}

std::string gzipped(const std::string& text)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, text.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::filesystem::path freshFolder(const std::string& name)
{
    const auto folder = std::filesystem::temp_directory_path() / ("qv-sink-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    return folder;
}

TEST(IngestionSinkTest, AnswersTheQueuedStatusesAndGivesEveryRequestBack)
{
    const auto folder = freshFolder("statuses");
    IngestionSink sink(folder);
    ASSERT_TRUE(sink.start());
    sink.queueResponses({{503, {{"x-ms-retry-after-ms", "2500"}}}, {401, {}}});

    const Reply first = post(sink.baseUrl() + "/logs?api-version=1.0.0", R"({"logs":[1]})");
    EXPECT_EQ(first.status, 503);
    EXPECT_EQ(first.retryAfter, "2500");
    EXPECT_EQ(post(sink.baseUrl() + "/logs?api-version=1.0.0", R"({"logs":[2]})").status, 401);
    EXPECT_EQ(post(sink.baseUrl() + "/logs", R"({"logs":[3]})").status, 200);

    ASSERT_TRUE(sink.waitForRequests(3, std::chrono::seconds(5)));
    const auto requests = sink.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/logs");
    EXPECT_EQ(requests[0].query, "api-version=1.0.0");
    EXPECT_EQ(requests[0].header("app-secret"), "s3cret");
    EXPECT_EQ(requests[1].body, R"({"logs":[2]})");
    EXPECT_EQ(requests[2].query, "");

    sink.stop();
    std::ifstream stored(folder / "requests.jsonl");
    std::stringstream lines;
    lines << stored.rdbuf();
    EXPECT_NE(lines.str().find(R"("status":503,"body":"{\"logs\":[1]}")"), std::string::npos) << lines.str();
    EXPECT_NE(lines.str().find(R"("status":200)"), std::string::npos);
    std::filesystem::remove_all(folder);
}

// Like the service, the sink takes POST "/logs" alone: a doubled slash, another path or another
// method is answered 404 and kept nowhere.
TEST(IngestionSinkTest, AnswersEverythingOffItsRouteWith404)
{
    IngestionSink sink;
    ASSERT_TRUE(sink.start());
    EXPECT_EQ(post(sink.baseUrl() + "//logs?api-version=1.0.0", R"({"logs":[]})").status, 404);
    EXPECT_EQ(post(sink.baseUrl() + "/other", R"({"logs":[]})").status, 404);
    EXPECT_EQ(post(sink.baseUrl() + "/logs/", R"({"logs":[]})").status, 404);
    EXPECT_EQ(post(sink.baseUrl() + "/logs?api-version=1.0.0", R"({"logs":[]})").status, 200);
    EXPECT_EQ(sink.requests().size(), 1u);
}

// A small gzip body may inflate to many times its size: the sink takes it inflated up to its
// bound and answers 413 past it, keeping nothing of it.
TEST(IngestionSinkTest, BoundsTheInflatedSizeOfAGzipBody)
{
    const auto folder = freshFolder("gzip");
    IngestionSink sink(folder);
    ASSERT_TRUE(sink.start());
    const std::string fits = R"({"logs":[")" + std::string(IngestionSink::kMostBodyBytes - 16, 'a') + R"("]})";
    const std::string tooLarge = std::string(2 * IngestionSink::kMostBodyBytes, ' ');
    ASSERT_LT(gzipped(tooLarge).size(), 64u * 1024) << "a small body on the wire";
    EXPECT_EQ(post(sink.baseUrl() + "/logs", gzipped(tooLarge), true).status, 413);
    EXPECT_EQ(post(sink.baseUrl() + "/logs", gzipped(fits), true).status, 200);
    EXPECT_EQ(post(sink.baseUrl() + "/logs", tooLarge).status, 413) << "nor does a plain one pass the bound";
    const auto requests = sink.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].body, fits);
    sink.stop();
    EXPECT_LT(std::filesystem::file_size(folder / "requests.jsonl"), 2 * IngestionSink::kMostBodyBytes);
    std::filesystem::remove_all(folder);
}

// Connections that send nothing hold no request back; they are closed after a short while.
TEST(IngestionSinkTest, IdleConnectionsStarveNoRequest)
{
    IngestionSink sink;
    ASSERT_TRUE(sink.start());
    std::vector<int> idle;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(sink.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < 200; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        idle.push_back(fd);
    }
    // Well before the idle ones time out, and far before a pool would reach this one.
    EXPECT_EQ(post(sink.baseUrl() + "/logs", R"({"logs":[]})", false, 10).status, 200);
    // An idle connection is closed by the sink: reading it ends.
    char byte = 0;
    EXPECT_EQ(::recv(idle.front(), &byte, 1, 0), 0);
    for (const int fd : idle) {
        ::close(fd);
    }
}

// Every line of requests.jsonl is JSON whatever the bytes of the request: text is kept as text,
// and a body that is not UTF-8 whole as Base64.
TEST(IngestionSinkTest, StoresEveryRequestAsAValidJsonLine)
{
    const auto folder = freshFolder("lines");
    IngestionSink sink(folder);
    ASSERT_TRUE(sink.start());
    const std::string text = "{\"name\":\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xac\",\"tab\":\"\t\"}";
    const std::string bytes = std::string("{\"raw\":\"\x80\xff\xc3\x28\xed\xa0\x80\xf4\x90\x80\x80\"}");
    EXPECT_EQ(post(sink.baseUrl() + "/logs", text).status, 200);
    EXPECT_EQ(post(sink.baseUrl() + "/logs", bytes).status, 200);
    sink.stop();
    std::ifstream stored(folder / "requests.jsonl");
    std::vector<nlohmann::json> lines;
    for (std::string line; std::getline(stored, line);) {
        lines.push_back(nlohmann::json::parse(line, nullptr, false));
        ASSERT_FALSE(lines.back().is_discarded()) << line;
    }
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["body"], text);
    EXPECT_FALSE(lines[1].contains("body"));
    EXPECT_EQ(lines[1]["bodyBase64"], "eyJyYXciOiKA/8Mo7aCA9JCAgCJ9");
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace qv::services
