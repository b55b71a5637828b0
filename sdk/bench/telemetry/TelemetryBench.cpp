// Enqueue speed of the telemetry pipeline. Each enqueued event (a name and 5 string properties)
// is validated, prepared, archived and stored in the log database before the call returns; an
// ingestion that accepts every batch at once keeps the store small, as a reachable service would.
// Beside it, the same rows go into a plain SQLite table (one WAL connection, one insert per row,
// a delete of every 50 rows as a sent batch would) from the same number of threads.
//
// Then the application's own call: `ZEAnalytics::trackEvent` of such an event through a started
// SDK, from 1 and from 8 threads at once, each beside plain inserts from as many threads in the
// same run. Last, the events lost in kill rounds (KillRounds.h): the target is none.
//
// Usage: telemetry_bench [events per thread, default 100000] [thread counts, default 1 8 16 32]
//        [--kill-rounds=N, default 20]
// Latencies are of the enqueue call alone; wall times include building the events.
// Targets: single-thread enqueue p50 <= 50 us; for 1, 8, 16 and 32 threads the pipeline's wall
// time at most twice the plain inserts'; trackEvent p99 at 8 threads <= 2 ms; no event lost.
#include "sdk/bench/telemetry/BenchSdk.h"
#include "sdk/bench/telemetry/KillRounds.h"
#include "sdk/analytics/Model/ZEAnalyticsLogs.h"
#include "sdk/analytics/ZEAnalytics.h"
#include "sdk/telemetry/Internals/Channel/ZEChannelGroupDefault.h"
#include "sdk/telemetry/Internals/Http/ZEDependencyConfiguration.h"
#include "sdk/telemetry/Internals/Http/ZEHttpClient.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEUuid.h"
#include "sdk/telemetry/ZEZavEdurov.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace ze;
using Clock = std::chrono::steady_clock;

class AcceptingIngestion final : public ZEIngestionProtocol {
public:
    bool isEnabled() const override { return true; }
    bool isReadyToSend() const override { return true; }
    void setEnabled(bool, bool) override {}
    void sendAsync(const std::shared_ptr<ZELogContainer>& container, ZESendAsyncCompletionHandler completion) override
    {
        completion(*container->batchId, ZEHttpResponse{200, {}}, std::nullopt, std::nullopt);
    }
};

// A transport whose server takes every request at once; answers come on a thread of its own.
class AcceptingTransport final : public ZEHttpTransport {
public:
    AcceptingTransport()
        : worker_([this] { answer(); })
    {
    }
    ~AcceptingTransport() override
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        waiting_.notify_all();
        worker_.join();
    }
    void start(ZEHttpRequest, ZEHttpTaskCompletion completion) override
    {
        {
            std::lock_guard lock(mutex_);
            pending_.push_back(std::move(completion));
        }
        waiting_.notify_all();
    }
    void cancelAll() override
    {
        std::lock_guard lock(mutex_);
        pending_.clear();
    }

private:
    void answer()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            waiting_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
            if (stopping_) {
                return;
            }
            auto completion = std::move(pending_.front());
            pending_.pop_front();
            lock.unlock();
            completion(ZEData(), ZEHttpResponse{200, {}}, std::nullopt);
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable waiting_;
    std::deque<ZEHttpTaskCompletion> pending_;
    bool stopping_ = false;
    std::thread worker_;
};

std::shared_ptr<ZEEventLog> makeEvent(int thread, int index)
{
    auto event = std::make_shared<ZEEventLog>();
    event->name = "Transcribe file(s)";
    event->eventId = ZEUuid::create().UUIDString();
    event->typedProperties = std::make_shared<ZEEventProperties>();
    event->typedProperties->setString(std::string("thread-") + std::to_string(thread), "thread")
        .setString(std::to_string(index), "index")
        .setString(std::string("video/quicktime"), "type")
        .setString(std::string("en-US"), "language")
        .setString(std::string("speaker labels"), "options");
    return event;
}

struct Result {
    double seconds = 0;
    double p50us = 0;
    double p99us = 0;
};

Result summarise(std::vector<double>& latencies, double seconds)
{
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&latencies](double q) { return latencies.empty() ? 0 : latencies[static_cast<std::size_t>(q * (latencies.size() - 1))]; };
    return {seconds, at(0.50), at(0.99)};
}

// Runs `work(prepare(thread, index))` `perThread` times on each of `threads` threads; the latencies
// are of `work` alone (building an event is the caller's business, not the enqueue's), the wall
// time is of everything.
template <class Prepare, class Work>
Result run(int threads, int perThread, Prepare prepare, Work work)
{
    std::vector<std::vector<double>> latencies(threads);
    const auto start = Clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            auto& mine = latencies[t];
            mine.reserve(perThread);
            for (int i = 0; i < perThread; ++i) {
                auto input = prepare(t, i);
                const auto before = Clock::now();
                work(input);
                mine.push_back(std::chrono::duration<double, std::micro>(Clock::now() - before).count());
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> all;
    for (auto& mine : latencies) {
        all.insert(all.end(), mine.begin(), mine.end());
    }
    return summarise(all, seconds);
}

class PlainSqlite {
public:
    explicit PlainSqlite(const std::string& file)
    {
        sqlite3_open(file.c_str(), &db_);
        sqlite3_exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                          "CREATE TABLE logs (id INTEGER PRIMARY KEY AUTOINCREMENT, groupId TEXT NOT NULL, log TEXT NOT NULL, priority INTEGER);",
            nullptr, nullptr, nullptr);
        sqlite3_prepare_v2(db_, "INSERT INTO logs (groupId, log, priority) VALUES (?, ?, ?)", -1, &insert_, nullptr);
    }
    ~PlainSqlite()
    {
        sqlite3_finalize(insert_);
        sqlite3_close(db_);
    }
    void insert(const std::string& row)
    {
        std::lock_guard lock(mutex_);
        sqlite3_bind_text(insert_, 1, "Analytics", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert_, 2, row.c_str(), static_cast<int>(row.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert_, 3, 1);
        sqlite3_step(insert_);
        sqlite3_reset(insert_);
        if (++count_ % 50 == 0) {
            sqlite3_exec(db_, "DELETE FROM logs WHERE id IN (SELECT id FROM logs ORDER BY id LIMIT 50)", nullptr, nullptr, nullptr);
        }
    }

private:
    std::mutex mutex_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    long count_ = 0;
};

Result enqueueEvents(ZEChannelUnitProtocol& unit, int threads, int perThread)
{
    return run(threads, perThread, makeEvent, [&unit](const std::shared_ptr<ZEEventLog>& event) { unit.enqueueItem(event, ZEFlagsNormal); });
}

Result insertRows(PlainSqlite& plain, const std::string& row, int threads, int perThread)
{
    return run(threads, perThread, [](int, int) { return 0; }, [&](int) { plain.insert(row); });
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::string(argv[1]) == "--kill-child") {
        bench::trackUntilKilled(argv[2], argv[3], argv[4]);
    }
    int killRounds = 20;
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--kill-rounds=", 0) == 0) {
            killRounds = std::atoi(argument.c_str() + 14);
        } else {
            arguments.push_back(argument);
        }
    }
    const int perThread = !arguments.empty() ? std::atoi(arguments[0].c_str()) : 100'000;
    std::vector<int> threadCounts;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        threadCounts.push_back(std::atoi(arguments[i].c_str()));
    }
    if (threadCounts.empty()) {
        threadCounts = {1, 8, 16, 32};
    }
    if (perThread <= 0 || std::any_of(threadCounts.begin(), threadCounts.end(), [](int count) { return count <= 0; })) {
        std::fprintf(stderr, "usage: telemetry_bench [events per thread] [thread counts...] [--kill-rounds=N], every number above 0\n");
        return 2;
    }
    // Each row as soon as it is measured: a full run takes long on a loaded machine.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const auto home = bench::setUpTelemetrySdk("telemetry-bench");

    auto group = ZEChannelGroupDefault::make(std::make_shared<AcceptingIngestion>());
    auto unit = group->addChannelUnitWithConfiguration(ZEChannelUnitConfiguration::defaultConfiguration("Analytics"));
    group->logsDispatchQueue()->drain();

    // Warm up, then the single-thread latency.
    enqueueEvents(*unit, 1, 1000);
    const int singleCount = std::min(perThread, 20'000);
    const Result single = enqueueEvents(*unit, 1, singleCount);
    std::printf("enqueue of one event with 5 properties, 1 thread, %d calls: p50 %.1f us, p99 %.1f us (target p50 <= 50 us)\n",
        singleCount, single.p50us, single.p99us);

    // The rows the plain inserts store: the pipeline's own archived form of such an event.
    auto sample = makeEvent(0, 0);
    sample->timestamp = ZEUtility::now();
    const std::string row = crypto::base64Encode(*ZEUtility::archiveKeyedData(sample));

    // What one committed insert of such a row costs on this machine now, beside the target.
    Result plainSingle;
    {
        PlainSqlite plain((home / "plain-single.sqlite").string());
        plainSingle = insertRows(plain, row, 1, singleCount);
    }
    std::printf("plain SQLite insert of the same row, 1 thread, %d calls: p50 %.1f us, p99 %.1f us\n\n", singleCount,
        plainSingle.p50us, plainSingle.p99us);

    std::printf("%7s | %12s %12s %10s | %12s %12s %10s | %6s\n", "threads", "pipeline/s", "p99 us", "wall s", "sqlite/s",
        "p99 us", "wall s", "ratio");
    bool withinTarget = single.p50us <= 50;
    for (const int threads : threadCounts) {
        const Result ours = enqueueEvents(*unit, threads, perThread);
        group->logsDispatchQueue()->drain();
        const auto plainFile = home / ("plain-" + std::to_string(threads) + ".sqlite");
        Result theirs;
        {
            PlainSqlite plain(plainFile.string());
            theirs = insertRows(plain, row, threads, perThread);
        }
        const double total = static_cast<double>(threads) * perThread;
        const double ratio = ours.seconds / theirs.seconds;
        withinTarget = withinTarget && ratio <= 2.0;
        std::printf("%7d | %12.0f %12.1f %10.2f | %12.0f %12.1f %10.2f | %6.2f\n", threads, total / ours.seconds, ours.p99us,
            ours.seconds, total / theirs.seconds, theirs.p99us, theirs.seconds, ratio);
    }
    group.reset();

    // The application's call, through a started SDK, from 1 and 8 threads; plain inserts from as
    // many threads beside each.
    ZEDependencyConfiguration::setHttpClient(ZEHttpClient::make(std::nullopt, nullptr, std::make_shared<AcceptingTransport>()));
    ZEZavEdurov::setLogUrl("http://127.0.0.1:9");
    ZEZavEdurov::start("0b5c7a3e-4f21-4d8e-9a6b-2c1d3e4f5a6b", {ZEAnalytics::sharedInstance()});
    const int trackCount = std::min(perThread, 20'000);
    const auto properties = [](int thread, int index) {
        return std::optional<ZEStringMap>(ZEStringMap{{"thread", "thread-" + std::to_string(thread)}, {"index", std::to_string(index)},
            {"type", "video/quicktime"}, {"language", "en-US"}, {"options", "speaker labels"}});
    };
    const auto track = [](const std::optional<ZEStringMap>& map) { ZEAnalytics::trackEvent("Transcribe file(s)", map); };
    run(8, 200, properties, track);
    std::printf("\n%7s | %10s %10s | %10s %10s | %s\n", "threads", "track p50", "p99 us", "plain p50", "p99 us", "p99 ratio");
    for (const int threads : {1, 8}) {
        const Result tracked = run(threads, trackCount, properties, track);
        Result inserted;
        {
            PlainSqlite plain((home / ("plain-tracking-" + std::to_string(threads) + ".sqlite")).string());
            inserted = insertRows(plain, row, threads, trackCount);
        }
        std::printf("%7d | %10.1f %10.1f | %10.1f %10.1f | %.2f\n", threads, tracked.p50us, tracked.p99us, inserted.p50us,
            inserted.p99us, inserted.p99us > 0 ? tracked.p99us / inserted.p99us : 0.0);
        if (threads == 8) {
            withinTarget = withinTarget && tracked.p99us <= 2000;
        }
    }
    std::printf("(%d calls per thread; target: trackEvent p99 at 8 threads <= 2000 us)\n", trackCount);
    ZEAnalytics::resetSharedInstance();
    ZEZavEdurov::resetSharedInstance();

    if (killRounds > 0) {
        const auto killed = bench::runKillRounds("/proc/self/exe", home, killRounds);
        std::printf("\nkill rounds: %d, events acknowledged %ld, reported failed %ld, lost %ld (target 0)\n", killed.rounds,
            killed.acknowledged, killed.reportedFailed, killed.lost);
        withinTarget = withinTarget && killed.lost == 0 && killed.rounds == killRounds;
    }

    std::printf("\n%s\n", withinTarget ? "targets met" : "TARGETS MISSED");
    std::filesystem::remove_all(home);
    return 0;
}
