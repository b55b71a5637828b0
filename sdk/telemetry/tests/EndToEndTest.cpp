#include "ZETestSupport.h"
#include "ZEEndToEndSupport.h"

#include "sdk/telemetry/Internals/Http/ZEDependencyConfiguration.h"
#include "sdk/telemetry/Internals/Http/ZEHttpClient.h"
#include "sdk/telemetry/Internals/Storage/ZELogDBStorage.h"
#include "sdk/telemetry/Internals/Util/ZEDeviceTracker.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/ZEZavEdurov.h"
#include "services/ingestion/IngestionSink.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace ze {
namespace {

using namespace std::chrono_literals;
using qv::services::IngestionSink;
using qv::services::ReceivedRequest;
using test::EndToEndService;
using test::indexedLog;
using test::indexesIn;
using test::SdkTest;

// Tells a waiting test whenever a send finished or a channel was switched.
class SendWatcher final : public ZEChannelDelegate {
public:
    void channelDidSucceedSendingLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>&) override { bump(); }
    void channelDidFailSendingLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>&, const std::optional<ZEError>& error) override
    {
        {
            std::lock_guard lock(mutex_);
            failureCodes_.push_back(error ? std::optional(error->code) : std::nullopt);
        }
        bump();
    }
    void channelDidSetEnabled(ZEChannelProtocol&, bool, bool) override { bump(); }

    // Waits at most `timeout` for the next event after `seen`; answers the events so far.
    int waitAfter(int seen, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return events_ > seen; });
        return events_;
    }
    int events()
    {
        std::lock_guard lock(mutex_);
        return events_;
    }
    // The error code each failed log was reported with, in order; nothing for a report without an error.
    std::vector<std::optional<long>> failureCodes()
    {
        std::lock_guard lock(mutex_);
        return failureCodes_;
    }

private:
    void bump()
    {
        {
            std::lock_guard lock(mutex_);
            ++events_;
        }
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    int events_ = 0;
    std::vector<std::optional<long>> failureCodes_;
};

// Real sends through libcurl to the loopback sink, on the manual clock.
class ZEEndToEndTest : public SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        ASSERT_TRUE(sink.start());
        startSdk();
    }

    void TearDown() override
    {
        stopSdk();
        sink.stop();
        SdkTest::TearDown();
    }

    // A launch of the SDK: a new instance over the same files.
    void startSdk(std::function<void()> beforeStart = nullptr)
    {
        ZEZavEdurov::resetSharedInstance();
        ZEDeviceTracker::resetSharedInstance();
        ZEDependencyConfiguration::setHttpClient(ZEHttpClient::make(std::nullopt, nullptr));
        ZEZavEdurov::setLogUrl(sink.baseUrl());
        if (beforeStart) {
            beforeStart();
        }
        service = std::make_shared<EndToEndService>();
        ZEZavEdurov::start("app-secret", {service});
        ZEZavEdurov::channelGroup()->addDelegate(watcher);
    }

    // Lets timers fire and sends finish until the store is empty (bounded).
    void sendEverything()
    {
        for (int round = 0; round < 100 && storedLogs() > 0; ++round) {
            const int seen = watcher->events();
            clock->advance(6s);
            drain();
            watcher->waitAfter(seen, 2s);
            drain();
        }
    }

    void stopSdk()
    {
        if (auto group = ZEZavEdurov::channelGroup()) {
            group->logsDispatchQueue()->drain();
        }
        service.reset();
        ZEZavEdurov::resetSharedInstance();
        ZEDependencyConfiguration::setHttpClient(nullptr);
    }

    void drain() { ZEZavEdurov::channelGroup()->logsDispatchQueue()->drain(); }

    void enqueue(int from, int count, std::size_t padding = 0)
    {
        for (int i = from; i < from + count; ++i) {
            service->channelUnit()->enqueueItem(indexedLog(i, padding), ZEFlagsNormal);
        }
    }

    // Every indexed log the sink received in the requests answered with `status`.
    std::set<int> received()
    {
        std::set<int> all;
        for (const auto& request : sink.requests()) {
            const auto found = indexesIn(request.body);
            all.insert(found.begin(), found.end());
        }
        return all;
    }

    // Waits (bounded) until the sink holds `count` requests to "/logs".
    bool waitForLogRequests(std::size_t count) { return sink.waitForRequests(count, 20s); }

    std::size_t storedLogs()
    {
        std::size_t count = 0;
        ZEZavEdurov::channelGroup()->logsDispatchQueue()->sync(
            [&] { count = ZEZavEdurov::channelGroup()->storage()->countLogs(); });
        return count;
    }

    IngestionSink sink;
    std::shared_ptr<EndToEndService> service;
    std::shared_ptr<SendWatcher> watcher = std::make_shared<SendWatcher>();
};

TEST_F(ZEEndToEndTest, ABatchReachesTheSinkCompressedWithItsHeaders)
{
    enqueue(0, 5, 400);
    drain();
    clock->advance(6s);
    drain();
    // The start-service log of the core unit and the service's batch.
    ASSERT_TRUE(waitForLogRequests(2));
    bool sawGzip = false;
    for (const auto& request : sink.requests()) {
        EXPECT_EQ(request.path, "/logs");
        EXPECT_EQ(request.query, "api-version=1.0.0");
        EXPECT_EQ(request.header("App-Secret"), "app-secret");
        EXPECT_EQ(request.header("Install-ID"), ZEZavEdurov::installId().UUIDString());
        EXPECT_EQ(request.header("Content-Type"), "application/json");
        if (!indexesIn(request.body).empty()) {
            EXPECT_EQ(request.header("Content-Encoding"), "gzip");
            sawGzip = true;
        }
    }
    EXPECT_TRUE(sawGzip);
    EXPECT_EQ(received(), (std::set<int>{0, 1, 2, 3, 4}));
    // Sent logs are deleted once the sink accepted them.
    sendEverything();
    EXPECT_EQ(storedLogs(), 0u);
}

TEST_F(ZEEndToEndTest, A401DisablesTheUnitAndDeletesWhatItHeld)
{
    drain();
    clock->advance(6s); // the start-service log goes out first, accepted
    ASSERT_TRUE(waitForLogRequests(1));
    sink.queueResponses({{401, {}}});
    enqueue(0, 50);
    ASSERT_TRUE(waitForLogRequests(2));
    // The completion comes back on the transport's thread; wait for the unit to act on it.
    auto unit = std::dynamic_pointer_cast<ZEChannelUnitDefault>(service->channelUnit());
    for (int round = 0; round < 50 && unit->isEnabled(); ++round) {
        watcher->waitAfter(watcher->events(), 200ms);
        drain();
    }
    EXPECT_FALSE(unit->isEnabled());
    EXPECT_EQ(storedLogs(), 0u);
    enqueue(50, 1);
    drain();
    EXPECT_EQ(storedLogs(), 0u);
    // Every log is reported failed with an error: those of the refused batch with the status the
    // service answered, the one enqueued after with the deletion's.
    const auto codes = watcher->failureCodes();
    ASSERT_EQ(codes.size(), 51u);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), std::optional<long>(401)), 50);
    EXPECT_EQ(codes.back(), std::optional<long>(kZEConnectionPausedErrorCode));
}

TEST_F(ZEEndToEndTest, AnOutageKeepsLogsUpToTheCapThenARelaunchSendsThem)
{
    stopSdk();
    startSdk([] { ZEZavEdurov::setMaxStorageSize(64 * 1024, nullptr); });
    sink.setDefaultResponse({503, {}});
    enqueue(0, 50, 300);
    drain();
    ASSERT_TRUE(waitForLogRequests(1));
    // The client retries on its schedule and pauses after the last retry.
    for (std::size_t attempt = 2; attempt <= 4; ++attempt) {
        clock->advance(1'200s);
        ASSERT_TRUE(waitForLogRequests(attempt)) << attempt;
    }
    // Logs go on being stored while nothing can be sent, up to the cap, evicting the oldest.
    enqueue(50, 250, 300);
    drain();
    auto storage = std::dynamic_pointer_cast<ZELogDBStorage>(ZEZavEdurov::channelGroup()->storage());
    EXPECT_GT(storage->droppedLogsCount(), 0u);
    EXPECT_LE(std::filesystem::file_size(storage->dbFileURL()), 64u * 1024);
    const std::size_t kept = storedLogs();
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, 300u);

    // The outage ends; the next launch sends everything that was kept.
    const std::size_t before = sink.requests().size();
    sink.setDefaultResponse({200, {}});
    stopSdk();
    startSdk();
    sendEverything();
    EXPECT_EQ(storedLogs(), 0u);
    std::set<int> afterOutage;
    const auto requests = sink.requests();
    for (std::size_t i = before; i < requests.size(); ++i) {
        const auto found = indexesIn(requests[i].body);
        afterOutage.insert(found.begin(), found.end());
    }
    EXPECT_GE(afterOutage.size(), kept - 1); // the start-service log of the outage launch is among the kept
    EXPECT_TRUE(afterOutage.count(299));
}

TEST_F(ZEEndToEndTest, AProcessKilledWhileEnqueueingLosesNoStoredLog)
{
    stopSdk();
    for (const int threads : {1, 4}) {
        SCOPED_TRACE(std::to_string(threads) + " enqueueing thread(s)");
        const auto childHome = home / ("child-" + std::to_string(threads));
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            const std::string count = std::to_string(threads);
            ::execl(ZE_ENQUEUE_CHILD, ZE_ENQUEUE_CHILD, childHome.c_str(), count.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        // Kill it in the middle of its work, once it acknowledged a few hundred logs; what it
        // acknowledged before it died is still in the pipe.
        FILE* acknowledgements = ::fdopen(out[0], "r");
        std::set<int> acknowledged;
        int index = 0;
        while (acknowledged.size() < 300 && std::fscanf(acknowledgements, "%d", &index) == 1) {
            acknowledged.insert(index);
        }
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        while (std::fscanf(acknowledgements, "%d", &index) == 1) {
            acknowledged.insert(index);
        }
        std::fclose(acknowledgements);
        ASSERT_TRUE(WIFSIGNALED(status));
        ASSERT_GE(acknowledged.size(), 300u);

        // The next launch, over the child's files, sends every log it acknowledged.
        const std::size_t before = sink.requests().size();
        ZEPlatform::setHomeOverride(childHome / "data", childHome / "config");
        ZEPlatform::setSettings(std::make_shared<ZEJsonFileSettings>(childHome / "config" / "restart.settings.json"));
        startSdk();
        sendEverything();
        std::set<int> sent;
        const auto requests = sink.requests();
        for (std::size_t i = before; i < requests.size(); ++i) {
            const auto found = indexesIn(requests[i].body);
            sent.insert(found.begin(), found.end());
        }
        for (const int acknowledgedIndex : acknowledged) {
            ASSERT_TRUE(sent.count(acknowledgedIndex)) << "log " << acknowledgedIndex << " was acknowledged but never sent";
        }
        stopSdk();
    }
}

} // namespace
} // namespace ze
