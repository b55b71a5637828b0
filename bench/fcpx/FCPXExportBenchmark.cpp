// The fcpxml document of a 30,000-word open transcript, keyword ranges cut in the "auto" type,
// beside the SubRip export of the same transcript, each in its two steps: building (keyword
// ranges, caption pages) and writing the text. The target is 50 ms for the whole fcpxml.
#include "export/CaptionWriters.h"
#include "export/ExportTranscript.h"
#include "export/QVCaptionPagesCreate.h"
#include "fcpx/KeywordRanges.h"
#include "fcpx/QVExportFCPX.h"
#include "model/AppDelegate.h"
#include "model/ExportShell.h"
#include "model/QVMediaFile.h"
#include "platform/foundation/Preferences.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kWordCount = 30000;

class NoShell : public qv::ExportShell {
public:
    void changeFile(const std::shared_ptr<QVFile>&, int64_t, bool) override {}
    void incrementExportCountForType(int32_t, const std::shared_ptr<QVFile>&) override {}
    void logCaptionExportTypeIsAuto(bool) override {}
};

// Speech-like text with clauses, sentences, pauses, paragraphs, favourites and a speaker change
// every 150 words.
struct OpenTranscript {
    OpenTranscript() : preferences(folder.path())
    {
        static const char* const vocabulary[] = {"we", "went", "down", "to", "the", "river", "and", "New", "York",
                                                 "Mary", "said", "that", "it", "was", "really", "quite",
                                                 "extraordinary", "a", "good", "day", "for", "everyone", "there", "so"};
        preferences.registerDefaults({{kQVExportFCPXKeywordType, kKeywordTypeAuto}});
        ad.currentFile = std::make_shared<QVFile>();
        ad.currentFile->name = "Interview";
        ad.currentFile->timecodeStart = qv::MediaTime(90000, 25);
        ad.currentFile->timecodeFrameDuration = qv::MediaTime(1, 25);
        auto media = std::make_shared<QVMediaFile>();
        media->url = QUrl::fromLocalFile("/media/Interview.wav");
        ad.currentFile->mediaFiles = {media};
        std::shared_ptr<QVSpeaker> speakers[] = {std::make_shared<QVSpeaker>(), std::make_shared<QVSpeaker>()};
        speakers[0]->name = "Host";
        speakers[1]->name = "Guest";
        std::int64_t time = 0;
        for (int w = 0; w < kWordCount; ++w) {
            if (w % 150 == 0) {
                auto range = std::make_shared<QVSpeakerRange>();
                range->speaker = speakers[(w / 150) % 2];
                range->start = time;
                ad.speakerRanges.add(range);
            }
            auto word = std::make_shared<QVWord>();
            QString name = vocabulary[(w * 7) % 24];
            if (w % 11 == 10)
                name += ".";
            else if (w % 5 == 4)
                name += ",";
            word->setName(name);
            word->start = time + (w % 97 == 0 ? 2500 : 60);
            word->end = word->start + 180 + (w % 7) * 40;
            word->newParagraph = w % 400 == 399;
            word->favorite = w % 50 < 4;
            time = word->end;
            ad.words.add(word);
        }
        ad.currentFile->duration = time + 1000;
    }

    QTemporaryDir folder;
    qv::Preferences preferences;
    AppDelegate ad;
    NoShell shell;
};

void BM_FCPXBuild(benchmark::State& state)
{
    OpenTranscript open;
    for (auto _ : state) {
        QVExportFCPX exporter(open.ad, open.preferences, open.shell);
        const FCPXDocumentContent content = exporter.contentOfOpenFile();
        benchmark::DoNotOptimize(content.keywordRanges.data());
        state.counters["keywords"] = double(content.keywordRanges.size());
    }
}
BENCHMARK(BM_FCPXBuild)->Unit(benchmark::kMillisecond);

void BM_FCPXWrite(benchmark::State& state)
{
    OpenTranscript open;
    const FCPXDocumentContent content = QVExportFCPX(open.ad, open.preferences, open.shell).contentOfOpenFile();
    for (auto _ : state) {
        const QByteArray document = fcpxmlDocument(content).toUtf8();
        benchmark::DoNotOptimize(document.data());
        state.counters["bytes"] = double(document.size());
    }
}
BENCHMARK(BM_FCPXWrite)->Unit(benchmark::kMillisecond);

void BM_FCPXWhole(benchmark::State& state)
{
    OpenTranscript open;
    for (auto _ : state) {
        QVExportFCPX exporter(open.ad, open.preferences, open.shell);
        const QByteArray document = exporter.buildDocument().toUtf8();
        benchmark::DoNotOptimize(document.data());
    }
}
BENCHMARK(BM_FCPXWhole)->Unit(benchmark::kMillisecond);

std::vector<qv::QVCaptionPage> captionPages(const AppDelegate& ad)
{
    const qv::ExportTranscript transcript = qv::exportTranscriptFromModel(ad);
    qv::QVCaptionPagesCreate creator(transcript);
    return creator.createCaptionPagesWithOptions({"auto", "arrowsName"}, qv::kCaptionMaxCharsPerLine,
                                                 qv::kCaptionMaxLinesPerPage);
}

void BM_SubRipBuild(benchmark::State& state)
{
    OpenTranscript open;
    for (auto _ : state) {
        const std::vector<qv::QVCaptionPage> pages = captionPages(open.ad);
        benchmark::DoNotOptimize(pages.data());
        state.counters["pages"] = double(pages.size());
    }
}
BENCHMARK(BM_SubRipBuild)->Unit(benchmark::kMillisecond);

void BM_SubRipWrite(benchmark::State& state)
{
    OpenTranscript open;
    const std::vector<qv::QVCaptionPage> built = captionPages(open.ad);
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<qv::QVCaptionPage> pages = built;
        state.ResumeTiming();
        const QByteArray subRip = qv::subRipText(pages, std::nullopt).toUtf8();
        benchmark::DoNotOptimize(subRip.data());
        state.counters["bytes"] = double(subRip.size());
    }
}
BENCHMARK(BM_SubRipWrite)->Unit(benchmark::kMillisecond);

void BM_SubRipWhole(benchmark::State& state)
{
    OpenTranscript open;
    for (auto _ : state) {
        std::vector<qv::QVCaptionPage> pages = captionPages(open.ad);
        const QByteArray subRip = qv::subRipText(pages, std::nullopt).toUtf8();
        benchmark::DoNotOptimize(subRip.data());
    }
}
BENCHMARK(BM_SubRipWhole)->Unit(benchmark::kMillisecond);

}  // namespace
