#include "ZETestSupport.h"

#include "sdk/telemetry/Internals/Channel/ZEChannelGroupDefault.h"
#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Model/ZEStartServiceLog.h"
#include "sdk/telemetry/Internals/Storage/ZELogDBStorage.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

#include <sqlite3.h>

#include <thread>

namespace ze {
namespace {

using namespace std::chrono_literals;
using test::SdkTest;

class FakeIngestion final : public ZEIngestionProtocol {
public:
    struct Sent {
        std::shared_ptr<ZELogContainer> container;
        ZESendAsyncCompletionHandler completion;
    };
    bool isEnabled() const override { return enabled; }
    bool isReadyToSend() const override { return ready; }
    void setEnabled(bool value, bool) override { enabled = value; }
    void sendAsync(const std::shared_ptr<ZELogContainer>& container, ZESendAsyncCompletionHandler completion) override
    {
        std::lock_guard lock(mutex);
        sent.push_back({container, std::move(completion)});
    }
    std::size_t count()
    {
        std::lock_guard lock(mutex);
        return sent.size();
    }
    Sent at(std::size_t index)
    {
        std::lock_guard lock(mutex);
        return sent.at(index);
    }
    void respond(std::size_t index, long status, std::optional<ZEError> error = std::nullopt)
    {
        const auto batch = at(index);
        batch.completion(*batch.container->batchId, ZEHttpResponse{status, {}}, std::nullopt, error);
    }

    std::atomic<bool> enabled{true};
    std::atomic<bool> ready{true};
    std::mutex mutex;
    std::vector<Sent> sent;
};

// Records what the channels tell it; may veto logs.
class Recorder final : public ZEChannelDelegate {
public:
    void channelDidCompleteEnqueueingLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>&, const std::string&) override
    {
        ++completed;
    }
    void channelDidSucceedSendingLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>&) override { ++succeeded; }
    void channelDidFailSendingLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>&, const std::optional<ZEError>& error) override
    {
        failures.push_back(error ? error->code : 0);
    }
    void channelDidSetEnabled(ZEChannelProtocol&, bool, bool) override { ++enabledChanges; }
    std::optional<bool> channelUnitShouldFilterLog(ZEChannelUnitProtocol&, const std::shared_ptr<ZEAbstractLog>&) override
    {
        ++asked;
        return filter;
    }

    std::atomic<int> completed{0};
    std::atomic<int> succeeded{0};
    std::atomic<int> enabledChanges{0};
    std::atomic<int> asked{0};
    std::vector<long> failures;
    std::optional<bool> filter;
};

std::shared_ptr<ZEAbstractLog> makeLog()
{
    auto log = std::make_shared<ZEStartServiceLog>();
    log->services = std::vector<std::string>{"Analytics"};
    return log;
}

class ZEChannelTest : public SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        group = ZEChannelGroupDefault::make(ingestion);
        group->addDelegate(recorder);
    }

    void TearDown() override
    {
        drain();
        group.reset();
        SdkTest::TearDown();
    }

    std::shared_ptr<ZEChannelUnitDefault> addUnit(std::uint64_t interval = 6, std::uint64_t batch = 50, std::uint64_t pending = 3,
        const std::string& groupId = "Analytics")
    {
        auto unit = std::dynamic_pointer_cast<ZEChannelUnitDefault>(
            group->addChannelUnitWithConfiguration(ZEChannelUnitConfiguration(groupId, 1, interval, batch, pending)));
        drain();
        return unit;
    }

    void enqueue(const std::shared_ptr<ZEChannelUnitDefault>& unit, int count, std::uint64_t flags = ZEFlagsNormal)
    {
        for (int i = 0; i < count; ++i) {
            unit->enqueueItem(makeLog(), flags);
        }
        drain();
    }

    void advance(std::chrono::milliseconds by)
    {
        clock->advance(by);
        drain();
    }

    void drain() { group->logsDispatchQueue()->drain(); }

    std::size_t stored()
    {
        std::size_t count = 0;
        group->logsDispatchQueue()->sync([&] { count = group->storage()->countLogs(); });
        return count;
    }

    std::shared_ptr<FakeIngestion> ingestion = std::make_shared<FakeIngestion>();
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::shared_ptr<ZEChannelGroupDefault> group;
};

TEST_F(ZEChannelTest, AFullBatchFlushesAtOnceAndAPartialOneAfterTheInterval)
{
    auto unit = addUnit();
    enqueue(unit, 49);
    EXPECT_EQ(stored(), 49u);
    advance(5'999ms);
    EXPECT_EQ(ingestion->count(), 0u);
    advance(1ms);
    ASSERT_EQ(ingestion->count(), 1u);
    EXPECT_EQ(ingestion->at(0).container->logs.size(), 49u);

    // A new unit counts the stored logs of every group, so the store is emptied first.
    ingestion->respond(0, 200);
    drain();
    auto other = addUnit(6, 50, 3, "Other");
    enqueue(other, 50);
    ASSERT_EQ(ingestion->count(), 2u);
    EXPECT_EQ(ingestion->at(1).container->logs.size(), 50u);

    // Each log is complete when stored: time and device filled in.
    const auto& log = ingestion->at(1).container->logs.front();
    EXPECT_TRUE(log->timestamp);
    ASSERT_TRUE(log->device);
    EXPECT_EQ(log->device->sdkName, "zavedurov.macos");
}

TEST_F(ZEChannelTest, ThreadsEnqueueingAtOnceEachReturnOnlyOnceTheirLogIsStored)
{
    // A batch that never fills and a timer that never fires: every row stays in the store.
    auto unit = addUnit(6, 1'000'000);
    constexpr int kThreads = 8;
    constexpr int kEach = 40;
    const auto file = ZEUtility::zavEdurovDirectoryURL() / kZELogDatabaseFileName;
    std::atomic<int> returned{0};
    std::atomic<int> behind{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            sqlite3* reader = nullptr;
            sqlite3_open_v2(file.c_str(), &reader, SQLITE_OPEN_READONLY, nullptr);
            sqlite3_busy_timeout(reader, 5000);
            for (int i = 0; i < kEach; ++i) {
                unit->enqueueItem(makeLog(), ZEFlagsNormal);
                // Every enqueue counted so far has returned, so each of their rows is committed.
                const int atLeast = ++returned;
                sqlite3_stmt* count = nullptr;
                sqlite3_prepare_v2(reader, "SELECT COUNT(*) FROM logs", -1, &count, nullptr);
                if (sqlite3_step(count) != SQLITE_ROW || sqlite3_column_int(count, 0) < atLeast) {
                    ++behind;
                }
                sqlite3_finalize(count);
            }
            sqlite3_close(reader);
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    drain();
    EXPECT_EQ(behind.load(), 0);
    EXPECT_EQ(stored(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(recorder->completed.load(), kThreads * kEach);
    EXPECT_EQ(unit->itemsCount(), static_cast<std::uint64_t>(kThreads * kEach));
}

TEST_F(ZEChannelTest, AOneSecondUnitAlwaysWaitsForItsTimer)
{
    auto unit = addUnit(1, 1, 3, "Crashes");
    enqueue(unit, 1);
    EXPECT_EQ(ingestion->count(), 0u);
    advance(1'000ms);
    EXPECT_EQ(ingestion->count(), 1u);
}

TEST_F(ZEChannelTest, ALongIntervalKeepsItsDeadlineAcrossLaunches)
{
    const std::string key = "ChannelStartTimer:Analytics";
    {
        auto unit = addUnit(60);
        enqueue(unit, 1);
        EXPECT_TRUE(ZEZavEdurovUserDefaults::shared().objectForKey(key));
    }
    // A relaunch 20 s later waits the remaining 40 s.
    group = ZEChannelGroupDefault::make(ingestion);
    clock->advance(20s);
    auto unit = addUnit(60);
    advance(39'999ms);
    EXPECT_EQ(ingestion->count(), 0u);
    advance(1ms);
    EXPECT_EQ(ingestion->count(), 1u);
    EXPECT_FALSE(ZEZavEdurovUserDefaults::shared().objectForKey(key));

    // A relaunch after the deadline passed flushes at once.
    ZEZavEdurovUserDefaults::shared().setObject(ZEUtility::now() - 61s, key);
    group = ZEChannelGroupDefault::make(ingestion);
    addUnit(60);
    EXPECT_EQ(ingestion->count(), 2u);
    EXPECT_FALSE(ZEZavEdurovUserDefaults::shared().objectForKey(key));
}

TEST_F(ZEChannelTest, AtMostThePendingLimitOfBatchesIsInFlight)
{
    auto unit = addUnit(6, 1, 3);
    enqueue(unit, 4);
    EXPECT_EQ(ingestion->count(), 3u);
    EXPECT_TRUE(unit->pendingBatchQueueFull());
    // A success frees a slot and sends what was waiting.
    ingestion->respond(0, 200);
    drain();
    EXPECT_EQ(ingestion->count(), 4u);
    EXPECT_EQ(stored(), 3u);
    EXPECT_EQ(recorder->succeeded, 1);
    // A recoverable failure keeps its batch stored.
    ingestion->respond(1, 503);
    drain();
    EXPECT_EQ(stored(), 3u);
    EXPECT_FALSE(unit->pendingBatchQueueFull());
    // A completion for a batch no longer pending changes nothing.
    ingestion->respond(1, 200);
    drain();
    EXPECT_EQ(stored(), 3u);
    EXPECT_EQ(countLogs(ZELogLevelWarning, "Batch Id " + *ingestion->at(1).container->batchId + " not expected, ignore."), 1);
}

TEST_F(ZEChannelTest, AFatalStatusDisablesTheUnitAndDeletesItsLogs)
{
    auto unit = addUnit(6, 2, 3);
    enqueue(unit, 2); // batch 0, sent at once
    enqueue(unit, 1); // waits for its timer
    ASSERT_EQ(ingestion->count(), 1u);
    ingestion->respond(0, 400, ZEError{"test", 400, "refused"});
    drain();
    EXPECT_FALSE(unit->isEnabled());
    EXPECT_TRUE(unit->discardLogs());
    EXPECT_EQ(stored(), 0u);
    // The batch's two logs failed with the completion's error, the waiting one with code 100.
    EXPECT_EQ(recorder->failures, (std::vector<long>{400, 400, kZEConnectionPausedErrorCode}));

    // While discarding, new logs are reported as failed and never stored.
    enqueue(unit, 1);
    EXPECT_EQ(stored(), 0u);
    EXPECT_EQ(recorder->failures.back(), kZEConnectionPausedErrorCode);
    unit->setEnabled(true, false);
    enqueue(unit, 1);
    EXPECT_EQ(stored(), 1u);
}

TEST_F(ZEChannelTest, DelegatesFilterInTurnAndEveryOutcomeCompletesTheEnqueue)
{
    auto unit = addUnit();
    auto first = std::make_shared<Recorder>();
    auto second = std::make_shared<Recorder>();
    first->filter = true;
    second->filter = true;
    group->addDelegate(first);
    group->addDelegate(second);
    enqueue(unit, 1);
    EXPECT_EQ(first->asked, 1);
    EXPECT_EQ(second->asked, 0);
    EXPECT_EQ(stored(), 0u);
    EXPECT_EQ(recorder->completed, 1);

    // Not ready to send: dropped, still completed. Invalid: dropped before any delegate hears of it.
    first->filter.reset();
    second->filter.reset();
    ingestion->ready = false;
    enqueue(unit, 1);
    EXPECT_EQ(stored(), 0u);
    EXPECT_EQ(recorder->completed, 2);
    unit->enqueueItem(nullptr, ZEFlagsNormal);
    auto invalid = std::make_shared<ZEStartServiceLog>();
    invalid->type.reset();
    unit->enqueueItem(invalid, ZEFlagsNormal);
    drain();
    EXPECT_EQ(recorder->completed, 2);
    EXPECT_EQ(countLogs(ZELogLevelWarning, "Log is not valid."), 2);
}

TEST_F(ZEChannelTest, AUnitPausedByTwoObjectsResumesWhenBothResumed)
{
    auto unit = addUnit();
    int a = 0;
    int b = 0;
    unit->pauseWithIdentifyingObject(&a);
    unit->pauseWithIdentifyingObject(&b);
    enqueue(unit, 50);
    EXPECT_EQ(ingestion->count(), 0u);
    unit->resumeWithIdentifyingObject(&a);
    drain();
    EXPECT_TRUE(unit->isPaused());
    unit->resumeWithIdentifyingObject(&b);
    drain();
    EXPECT_FALSE(unit->isPaused());
    EXPECT_EQ(ingestion->count(), 1u);
}

TEST_F(ZEChannelTest, DisablingTheGroupWithDeletionReachesTheIngestionAndEveryUnit)
{
    auto analytics = addUnit();
    auto crashes = addUnit(1, 1, 3, "Crashes");
    enqueue(analytics, 2);
    enqueue(crashes, 1, ZEFlagsCritical);
    group->setEnabled(false, true);
    drain();
    EXPECT_FALSE(ingestion->enabled);
    EXPECT_EQ(stored(), 0u);
    // One report from the group and one from each unit.
    EXPECT_EQ(recorder->enabledChanges, 3);
    EXPECT_EQ(group->channelUnitForGroupId("Crashes"), crashes);
    EXPECT_EQ(group->addChannelUnitWithConfiguration(std::nullopt), nullptr);
}

} // namespace
} // namespace ze
