#include "services/ingestion/IngestionSink.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <unistd.h>

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

Reply post(const std::string& url, const std::string& body)
{
    Reply reply;
    CURL* curl = curl_easy_init();
    curl_slist* headers = curl_slist_append(nullptr, "App-Secret: s3cret");
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

TEST(IngestionSinkTest, AnswersTheQueuedStatusesAndGivesEveryRequestBack)
{
    const auto folder = std::filesystem::temp_directory_path() / ("qv-sink-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
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

} // namespace
} // namespace qv::services
