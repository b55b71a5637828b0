// Caption export of a long transcript: building the caption pages of 30,000 words and writing
// them as SubRip and as Timed Text. The target is under 100 ms for the three together.
#include "export/CaptionWriters.h"
#include "export/QVCaptionPagesCreate.h"
#include "model/TimeUtilities.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kWordCount = 30000;

// Speech-like text: short clauses and sentences, names, paragraphs, pauses and a speaker
// change every 150 words.
qv::ExportTranscript longTranscript() {
    static const char* const vocabulary[] = {"we", "went", "down", "to", "the", "river", "and", "New", "York",
                                             "Mary", "said", "that", "it", "was", "really", "quite", "extraordinary",
                                             "a", "good", "day", "for", "everyone", "there", "so"};
    qv::ExportTranscript transcript;
    transcript.startWords = {"the", "a", "and", "to", "for", "that"};
    int64_t time = 0;
    for (int w = 0; w < kWordCount; ++w) {
        if (w % 150 == 0) {
            qv::ExportRange range;
            range.speakerName = w % 300 ? "Guest" : "Host";
            range.start = time;
            transcript.ranges.push_back(range);
        }
        qv::ExportWord word;
        word.name = vocabulary[(w * 7) % 24];
        if (w % 11 == 10) word.name += ".";
        else if (w % 5 == 4) word.name += ",";
        word.start = time + (w % 97 == 0 ? 2500 : 60);
        word.end = word.start + 180 + (w % 7) * 40;
        word.newParagraph = w % 400 == 399;
        time = word.end;
        transcript.ranges.back().words.push_back(word);
    }
    transcript.duration = time + 1000;
    return transcript;
}

void BM_CaptionExport(benchmark::State& state) {
    const qv::ExportTranscript transcript = longTranscript();
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
