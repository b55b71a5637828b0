// Caption export of a long transcript: building the caption pages of 30,000 words and writing
// them as SubRip and as Timed Text. The target is under 100 ms for the three together.
#include "export/CaptionWriters.h"
#include "bench/export/LongTranscript.h"
#include "export/QVCaptionPagesCreate.h"
#include "model/TimeUtilities.h"

#include <benchmark/benchmark.h>

namespace {

void BM_CaptionExport(benchmark::State& state) {
    const qv::ExportTranscript transcript = qv::bench::longTranscript();
    const qv::MediaTime frame(1, 25);
    const auto timecode = [&](int64_t ms) {
        return timecodeFromCMTime(qv::MediaTime(ms, 1000), frame, 25, false, qv::MediaTime::invalid(), false);
    };
    for (auto _ : state) {
        qv::QVCaptionPagesCreate creator(transcript);
        auto pages = creator.createCaptionPagesWithOptions({"auto", "arrowsName"}, qv::kCaptionMaxCharsPerLine,
                                                           qv::kCaptionMaxLinesPerPage);
        const QString timedText = qv::timedTextDocument(pages, "en-US", {false, 25, false}, timecode);
        const QString subRip = qv::subRipText(pages, std::nullopt);
        benchmark::DoNotOptimize(timedText.toUtf8());
        benchmark::DoNotOptimize(subRip.toUtf8());
        state.counters["pages"] = double(pages.size());
    }
}
BENCHMARK(BM_CaptionExport)->Unit(benchmark::kMillisecond);

}  // namespace
