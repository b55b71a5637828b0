#include "ZETestSupport.h"
#include "ZEFakeTransport.h"

#include "sdk/telemetry/Internals/Http/ZEHttpClient.h"
#include "sdk/telemetry/Internals/Http/ZEHttpUtil.h"
#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"

namespace ze {
namespace {

using namespace std::chrono_literals;
using test::FakeTransport;
using test::SdkTest;
using test::gunzip;

struct Outcome {
    int calls = 0;
    std::optional<ZEHttpResponse> response;
    std::optional<ZEError> error;
};

class ZEHttpClientTest : public SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        client = ZEHttpClient::make(std::nullopt, nullptr, transport);
    }

    void send(Outcome& outcome, std::optional<ZEData> body = crypto::bytes("{}"))
    {
        client->sendAsync("http://127.0.0.1:1/logs", "POST", {}, body,
            [&outcome](const auto&, const std::optional<ZEHttpResponse>& response, const std::optional<ZEError>& error) {
                ++outcome.calls;
                outcome.response = response;
                outcome.error = error;
            });
    }

    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    std::shared_ptr<ZEHttpClient> client;
};

TEST_F(ZEHttpClientTest, CompressesBodiesFrom1400BytesAndFillsTheContentType)
{
    struct Case {
        std::optional<ZEData> body;
        ZEHttpHeaders headers;
        bool compression;
        std::optional<std::string> contentEncoding;
        std::optional<std::string> contentType;
    };
    const ZEData small(1399, 'a');
    const ZEData large(1400, 'a');
    const std::vector<Case> cases{
        {small, {}, true, std::nullopt, "application/json"},
        {large, {}, true, "gzip", "application/json"},
        {large, {}, false, std::nullopt, "application/json"},
        {std::nullopt, {}, true, std::nullopt, std::nullopt},
        {small, {{"Content-Type", "text/plain"}}, true, std::nullopt, "text/plain"},
    };
    for (const auto& c : cases) {
        ZEHttpCall call("http://h/", "POST", c.headers, c.body, kZEDefaultRetryIntervals, c.compression, nullptr);
        const auto field = [&call](const char* name) {
            const auto found = call.headers.find(name);
            return found == call.headers.end() ? std::nullopt : std::optional(found->second);
        };
        EXPECT_EQ(field("Content-Encoding"), c.contentEncoding) << (c.body ? c.body->size() : 0);
        EXPECT_EQ(field("Content-Type"), c.contentType);
        if (c.contentEncoding) {
            EXPECT_EQ(gunzip(*call.data), std::string(c.body->begin(), c.body->end()));
        } else {
            EXPECT_EQ(call.data, c.body);
        }
    }
}

TEST_F(ZEHttpClientTest, RetriesARecoverableStatusOnTheScheduleThenPausesAndCompletes)
{
    Outcome outcome;
    send(outcome);
    ASSERT_TRUE(transport->waitFor(1));
    // Attempt n waits between half and all of interval n.
    const std::vector<std::chrono::milliseconds> halves{5'000ms, 150'000ms, 600'000ms};
    for (std::size_t retry = 0; retry < halves.size(); ++retry) {
        transport->respond(retry, 503);
        clock->advance(halves[retry] - 1ms);
        EXPECT_EQ(transport->count(), retry + 1) << "retry " << retry << " came early";
        clock->advance(halves[retry] + 1ms);
        ASSERT_TRUE(transport->waitFor(retry + 2)) << "retry " << retry << " never came";
        EXPECT_EQ(outcome.calls, 0);
    }
    transport->respond(3, 503);
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_EQ(outcome.response->statusCode, 503);
    EXPECT_FALSE(outcome.error);
    EXPECT_TRUE(client->isPaused());
    EXPECT_EQ(client->pendingCallsCount(), 0u);

    // Paused: a new call waits until the client resumes.
    Outcome later;
    send(later);
    EXPECT_EQ(transport->count(), 4u);
    client->resume();
    EXPECT_TRUE(transport->waitFor(5));
}

TEST_F(ZEHttpClientTest, TheServersRetryAfterWinsUnlessItIsNotANumber)
{
    Outcome outcome;
    send(outcome);
    transport->respond(0, 429, {{"X-MS-Retry-After-Ms", "2500"}});
    clock->advance(2'499ms);
    EXPECT_EQ(transport->count(), 1u);
    clock->advance(1ms);
    ASSERT_TRUE(transport->waitFor(2));

    transport->respond(1, 500, {{"x-ms-retry-after-ms", "soon"}});
    clock->advance(2'500ms);
    EXPECT_EQ(transport->count(), 2u) << "an unreadable value must fall back to the schedule (150 s at least)";
    clock->advance(300'000ms);
    EXPECT_TRUE(transport->waitFor(3));
}

TEST_F(ZEHttpClientTest, AnotherStatusCompletesTheCallDisablesTheClientAndCancelsTheRest)
{
    Outcome refused;
    Outcome other;
    send(refused);
    send(other);
    ASSERT_TRUE(transport->waitFor(2));
    transport->respond(0, 401);
    EXPECT_EQ(refused.calls, 1);
    EXPECT_EQ(refused.response->statusCode, 401);
    EXPECT_EQ(other.calls, 1);
    ASSERT_TRUE(other.error);
    EXPECT_EQ(other.error->domain, kZEErrorDomain);
    EXPECT_EQ(other.error->code, kZECanceledErrorCode);
    EXPECT_EQ(other.error->localizedDescription, "The operation was canceled.");
    // A late answer to the cancelled call changes nothing.
    transport->respond(1, 200);
    EXPECT_EQ(other.calls, 1);

    Outcome afterwards;
    send(afterwards);
    EXPECT_EQ(afterwards.error->code, kZEDisabledErrorCode);
    EXPECT_EQ(transport->count(), 2u);
}

TEST_F(ZEHttpClientTest, ALostNetworkKeepsTheCallPendingAndOtherTransportErrorsComplete)
{
    for (const long code : {kZEURLErrorNotConnectedToInternet, kZEURLErrorNetworkConnectionLost, -1200L, -2000L}) {
        Outcome outcome;
        const std::size_t index = transport->count();
        send(outcome);
        transport->fail(index, code);
        EXPECT_EQ(outcome.calls, 0) << code;
        client->pause();
        client->resume();
        ASSERT_TRUE(transport->waitFor(index + 2)) << code;
        transport->respond(index + 1, 200);
        EXPECT_EQ(outcome.calls, 1) << code;
    }
    Outcome timedOut;
    const std::size_t index = transport->count();
    send(timedOut);
    transport->fail(index, kZEURLErrorTimedOut);
    EXPECT_EQ(timedOut.calls, 1);
    EXPECT_EQ(timedOut.error->code, kZEURLErrorTimedOut);
}

TEST_F(ZEHttpClientTest, DisablingWithoutDeletionKeepsCallsForTheNextEnabling)
{
    Outcome outcome;
    send(outcome);
    transport->respond(0, 503);
    client->setEnabled(false, false);
    clock->advance(20'000ms);
    EXPECT_EQ(transport->count(), 1u);
    client->setEnabled(true, false);
    ASSERT_TRUE(transport->waitFor(2));
    transport->respond(1, 204);
    EXPECT_EQ(outcome.calls, 1);
}

TEST(ZEHttpUtilTest, ClassifiesStatusesAndMasksSecrets)
{
    for (const long status : {0L, 408L, 429L, 500L, 503L, 599L}) {
        EXPECT_TRUE(ZEHttpUtil::isRecoverableError(status)) << status;
    }
    for (const long status : {200L, 204L, 400L, 401L, 404L}) {
        EXPECT_FALSE(ZEHttpUtil::isRecoverableError(status)) << status;
    }
    EXPECT_TRUE(ZEHttpUtil::isSuccessStatusCode(299));
    EXPECT_FALSE(ZEHttpUtil::isSuccessStatusCode(300));
    EXPECT_EQ(ZEHttpUtil::hideSecret("12345678"), "********");
    EXPECT_EQ(ZEHttpUtil::hideSecret("abcd12345678"), "****12345678");
    EXPECT_EQ(ZEHttpUtil::hideSecretInString("key=abcd12345678;", "abcd12345678"), "key=****12345678;");
}

} // namespace
} // namespace ze
