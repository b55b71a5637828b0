// Time to write a live report of a process with 20 threads, and the report's size.
// Target: under 10 ms per report.
#include "crash-engine/CECrashReport.h"
#include "crash-engine/CECrashReporter.h"

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Threads that sit blocked, each a few frames deep, until the benchmark ends.
class IdleThreads {
public:
    explicit IdleThreads(int count)
    {
        for (int i = 0; i < count; ++i)
            threads_.emplace_back([this] { park(8); });
    }
    ~IdleThreads()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        for (std::thread& thread : threads_)
            thread.join();
    }
    IdleThreads(const IdleThreads&) = delete;
    IdleThreads& operator=(const IdleThreads&) = delete;

private:
    __attribute__((noinline)) void park(int depth)
    {
        if (depth > 0) {
            park(depth - 1);
            benchmark::ClobberMemory();
            return;
        }
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return done_; });
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::vector<std::thread> threads_;
};

void LiveReportOf20Threads(benchmark::State& state)
{
    // The benchmark's main thread counts as the twentieth.
    IdleThreads threads(19);
    const std::string base = (std::filesystem::temp_directory_path() / "crash-engine-bench").string();
    CECrashReporter reporter("com.example.bench", "1", std::string("1.0"), CECrashReporterConfig(0, 0, false, base));
    std::optional<std::vector<uint8_t>> report;
    for (auto _ : state) {
        report = reporter.generateLiveReport();
        if (!report) {
            state.SkipWithError("the live report failed");
            return;
        }
    }
    state.counters["report_bytes"] = static_cast<double>(report->size());
    const std::unique_ptr<CECrashReport> decoded = CECrashReport::initWithData(*report, nullptr);
    size_t frames = 0;
    for (const CECrashReportThreadInfo& thread : decoded ? decoded->threads() : std::vector<CECrashReportThreadInfo>{})
        frames += thread.stackFrames.size();
    state.counters["threads"] = decoded ? static_cast<double>(decoded->threads().size()) : 0;
    state.counters["frames"] = static_cast<double>(frames);
}

}  // namespace

BENCHMARK(LiveReportOf20Threads)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
