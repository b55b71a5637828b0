#include "ZETestSupport.h"
#include "ZEFakeTransport.h"

#include "sdk/telemetry/Internals/Http/ZEHttpClient.h"
#include "sdk/telemetry/Internals/Ingestion/ZECollectorIngestion.h"
#include "sdk/telemetry/Internals/Ingestion/ZEZavEdurovIngestion.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZECommonSchemaLog.h"
#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Model/ZEStartServiceLog.h"
#include "sdk/telemetry/Internals/Util/ZETicketCache.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"

namespace ze {
namespace {

using test::FakeTransport;
using test::SdkTest;

std::shared_ptr<ZELogContainer> container(std::vector<std::shared_ptr<ZEAbstractLog>> logs)
{
    return std::make_shared<ZELogContainer>(std::string("BATCH-1"), std::move(logs));
}

std::shared_ptr<ZEAbstractLog> startLog()
{
    auto log = std::make_shared<ZEStartServiceLog>();
    log->services = std::vector<std::string>{"Analytics"};
    log->timestamp = ZEUtility::now();
    log->device = test::validDevice();
    return log;
}

class ZEIngestionTest : public SdkTest {
protected:
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    std::shared_ptr<ZEHttpClient> client = ZEHttpClient::make(std::nullopt, nullptr, transport);
};

TEST_F(ZEIngestionTest, SendsABatchAsOneJsonRequestWithTheSecretAndInstallId)
{
    auto ingestion = ZEZavEdurovIngestion::make(client, "http://127.0.0.1:9", "00000000-0000-4000-8000-00000000ABCD");
    EXPECT_EQ(ingestion->sendURL(), "http://127.0.0.1:9/logs?api-version=1.0.0");
    EXPECT_FALSE(ingestion->isReadyToSend());

    // Without a secret nothing is sent and nobody is told.
    int completions = 0;
    ingestion->sendAsync(container({startLog()}), [&](auto&&...) { ++completions; });
    EXPECT_EQ(transport->count(), 0u);
    EXPECT_EQ(completions, 0);

    ingestion->setAppSecret("app-secret-0123456789");
    std::string batchId;
    ingestion->sendAsync(container({startLog()}), [&](const std::string& id, auto&&...) { batchId = id; });
    ASSERT_TRUE(transport->waitFor(1));
    const auto request = transport->request(0);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.headers.at("App-Secret"), "app-secret-0123456789");
    EXPECT_EQ(request.headers.at("Install-ID"), "00000000-0000-4000-8000-00000000ABCD");
    EXPECT_EQ(request.headers.at("Content-Type"), "application/json");
    const auto body = ZEJson::parse(crypto::string(request.body));
    EXPECT_EQ(body["logs"][0]["type"], "startService");
    EXPECT_EQ(body["logs"][0]["services"][0], "Analytics");
    transport->respond(0, 200);
    EXPECT_EQ(batchId, "BATCH-1");

    // A new host keeps the path and the query.
    ingestion->setBaseURL("https://other.example:8443");
    EXPECT_EQ(ingestion->sendURL(), "https://other.example:8443/logs?api-version=1.0.0");
    ingestion->setBaseURL("not a url");
    EXPECT_EQ(ingestion->sendURL(), "https://other.example:8443/logs?api-version=1.0.0");
}

// A base given with trailing slashes still sends to "/logs", not "//logs" (which a service routing
// "/logs" answers with 404, fatal to the channel); a base with a path of its own keeps it.
TEST_F(ZEIngestionTest, JoinsTheBaseAndThePathWithOneSlash)
{
    const std::pair<const char*, const char*> cases[] = {
        {"http://127.0.0.1:9/", "http://127.0.0.1:9/logs?api-version=1.0.0"},
        {"http://127.0.0.1:9//", "http://127.0.0.1:9/logs?api-version=1.0.0"},
        {"http://127.0.0.1:9/ingest/", "http://127.0.0.1:9/ingest/logs?api-version=1.0.0"},
        {"http://127.0.0.1:9/ingest", "http://127.0.0.1:9/ingest/logs?api-version=1.0.0"},
    };
    for (const auto& [base, sent] : cases) {
        EXPECT_EQ(ZEZavEdurovIngestion::make(client, base, "00000000-0000-4000-8000-00000000ABCD")->sendURL(), sent) << base;
        auto moved = ZEZavEdurovIngestion::make(client, "http://127.0.0.1:1", "00000000-0000-4000-8000-00000000ABCD");
        moved->setBaseURL(base);
        EXPECT_EQ(moved->sendURL(), sent) << base;
    }
}

// Bodies are made off the caller's thread; the requests still go out in the order the batches came.
TEST_F(ZEIngestionTest, BatchesGoOutInTheOrderTheyWereGiven)
{
    auto ingestion = ZEZavEdurovIngestion::make(client, "http://127.0.0.1:9", "id");
    ingestion->setAppSecret("secret");
    constexpr int kBatches = 20;
    for (int i = 0; i < kBatches; ++i) {
        auto log = std::static_pointer_cast<ZEStartServiceLog>(startLog());
        log->services = std::vector<std::string>{"service " + std::to_string(i)};
        ingestion->sendAsync(container({log}), nullptr);
    }
    ingestion->drainRequests();
    ASSERT_EQ(transport->count(), static_cast<std::size_t>(kBatches));
    for (int i = 0; i < kBatches; ++i) {
        const auto body = ZEJson::parse(test::bodyText(transport->request(i)));
        EXPECT_EQ(body["logs"][0]["services"][0], "service " + std::to_string(i));
    }
}

TEST_F(ZEIngestionTest, RefusesInvalidBatchesAndSendsNothingWhileNetworkRequestsAreForbidden)
{
    auto ingestion = ZEZavEdurovIngestion::make(client, "http://127.0.0.1:9", "id");
    ingestion->setAppSecret("secret");
    std::optional<ZEError> error;
    const auto record = [&](const std::string&, const auto&, const auto&, const std::optional<ZEError>& e) { error = e; };

    ingestion->sendAsync(container({}), record);
    EXPECT_EQ(error->code, kZELogInvalidContainerErrorCode);
    EXPECT_EQ(error->localizedDescription, "Invalid log container.");

    ZEZavEdurovUserDefaults::shared().setObject(false, kZENetworkRequestsAllowedKey);
    EXPECT_FALSE(ingestion->isEnabled());
    ingestion->sendAsync(container({startLog()}), record);
    EXPECT_EQ(error->code, kZEDisabledErrorCode);
    EXPECT_EQ(error->localizedDescription, "The service is disabled.");
    EXPECT_EQ(transport->count(), 0u);
}

TEST_F(ZEIngestionTest, TheCollectorSendsOneLinePerLogWithTheTokensAndCachedTickets)
{
    auto ingestion = ZECollectorIngestion::make(client, "http://127.0.0.1:9");
    EXPECT_EQ(ingestion->sendURL(), "http://127.0.0.1:9/Collector/1.0");
    auto csLog = [](const std::string& token, std::vector<std::string> ticketKeys) {
        auto log = std::make_shared<ZECommonSchemaLog>();
        log->name = "event.name";
        log->ver = "3.0";
        log->timestamp = ZEUtility::now();
        log->addTransmissionTargetToken(token);
        log->ext = std::make_shared<ZECSExtensions>();
        log->ext->protocolExt = std::make_shared<ZEProtocolExtension>();
        log->ext->protocolExt->ticketKeys = std::move(ticketKeys);
        return std::static_pointer_cast<ZEAbstractLog>(log);
    };
    ZETicketCache::sharedInstance().setTicket("ticket-1", "key1");
    ingestion->sendAsync(container({csLog("A-1", {"key1", "missing"}), csLog("B-2", {}), csLog("B-2", {})}), nullptr);
    ASSERT_TRUE(transport->waitFor(1));
    const auto request = transport->request(0);
    EXPECT_EQ(request.headers.at("apikey"), "A-1,B-2");
    EXPECT_EQ(request.headers.at("Tickets"), R"({"key1":"ticket-1"})");
    EXPECT_EQ(request.headers.at("Client-Version"), "ACS-iOS-ObjectiveC-no-5.0.2-no");
    EXPECT_EQ(request.headers.at("Content-Type"), "application/x-json-stream; charset=utf-8");
    EXPECT_FALSE(request.headers.at("Upload-Time").empty());
    const std::string body = crypto::string(request.body);
    EXPECT_EQ(std::count(body.begin(), body.end(), '\n'), 3);
    EXPECT_EQ(body.back(), '\n');
    ZETicketCache::sharedInstance().clearCache();

    ingestion->sendAsync(container({csLog("A-1", {})}), nullptr);
    ASSERT_TRUE(transport->waitFor(2));
    EXPECT_EQ(transport->request(1).headers.count("Tickets"), 0u);
}

} // namespace
} // namespace ze
