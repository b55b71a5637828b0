// Time to write a live report of a process with 20 threads parked 60 frames deep (in the C
// library's wait, below their own recursion), and the report's size.
// Target: under 10 ms per report.
#include "sdk/crash-engine/CECrashReport.h"
#include "sdk/crash-engine/CECrashReporter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Threads that sit blocked, each `depth` frames of recursion deep, until the benchmark ends.
class IdleThreads {
public:
    IdleThreads(int count, int depth)
    {
        for (int i = 0; i < count; ++i)
            threads_.emplace_back([this, depth] { park(depth); });
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
    // With the thread's start and the wait in the C library, 54 levels of recursion make 60
    // frames. The benchmark's own thread comes on top.
    IdleThreads threads(20, 54);
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
    size_t deepest = 0;
    for (const CECrashReportThreadInfo& thread : decoded ? decoded->threads() : std::vector<CECrashReportThreadInfo>{}) {
        frames += thread.stackFrames.size();
        deepest = std::max(deepest, thread.stackFrames.size());
    }
    state.counters["threads"] = decoded ? static_cast<double>(decoded->threads().size()) : 0;
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["deepest_thread_frames"] = static_cast<double>(deepest);
}

}  // namespace

BENCHMARK(LiveReportOf20Threads)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
