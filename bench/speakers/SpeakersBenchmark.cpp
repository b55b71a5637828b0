// Speaker commands on a long transcript: 30,000 words, 40 speakers, 2,000 speaker ranges, on
// an in-process database. Each measured step includes the work it queues on the main queue.
// Targets: changing the speaker of a range at most 2 ms, consolidating the ranges at most
// 5 ms, rebuilding the speakers panel at most 5 ms.
#include "model/AppDelegate.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/foundation/UndoManager.h"
#include "platform/rtdb/DatabaseBackend.h"
#include "platform/rtdb/DatabaseClient.h"
#include "platform/ui/ScriptedPresenters.h"
#include "speakers/SpeakerHost.h"
#include "speakers/SpeakersController.h"
#include "speakers/SpeakersPanelView.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

constexpr int kWords = 30000;
constexpr int kSpeakers = 40;
constexpr int kRanges = 2000;

class QuietHost : public qv::speakers::SpeakerHost {
public:
    std::int64_t numberOfTranscriptRows() override { return 0; }
    qv::speakers::SpeakerRangeHeaderCell* existingHeaderCell(std::int64_t) override { return nullptr; }
    void beginTableUpdates() override {}
    void endTableUpdates() override {}
    void buildSpeakerMenu() override {}
    void searchForString(const QString&) override {}
    void resetFocus() override {}
    bool isOptionKeyDown() override { return false; }
};

// A transcript open in the speakers subsystem, with the speakers panel shown.
struct LongTranscript {
    LongTranscript()
        : backend(qv::DatabaseBackend::Options{{}, [] { return std::int64_t(1'700'000'000'000); }}),
          client(backend, main, {})
    {
        ad.undoManager = std::make_shared<qv::UndoManager>(main);
        const auto transcript = client.reference("transcripts").child("T");
        ad.wordsMetadataRef = transcript.child("words");
        ad.speakersMetadataRef = transcript.child("speakers");
        ad.speakerRangesMetadataRef = transcript.child("speaker_ranges");
        for (int s = 0; s < kSpeakers; ++s) {
            auto speaker = std::make_shared<QVSpeaker>();
            speaker->uuid = QString("S%1").arg(s);
            speaker->name = QString("Speaker %1").arg(s + 1);
            speaker->color = speakers.records().chooseRandomColorName();
            ad.speakers.add(speaker);
        }
        for (int r = 0; r < kRanges; ++r) {
            auto range = std::make_shared<QVSpeakerRange>();
            range->uuid = QString("R%1").arg(r);
            range->start = std::int64_t(r) * (kWords / kRanges) * 400;
            range->speaker = ad.speakers.at(std::size_t(r % kSpeakers));
            range->speaker->rangeCount += 1;
            ad.speakerRanges.add(range);
        }
        for (int w = 0; w < kWords; ++w) {
            auto word = std::make_shared<QVWord>();
            word->uuid = QString("W%1").arg(w);
            word->setName("word");
            word->start = std::int64_t(w) * 400;
            word->end = word->start + 300;
            word->speakerRange = ad.speakerRanges.at(std::size_t(w / (kWords / kRanges)));
            ad.words.add(word);
        }
        panel.setAnimated(false);
        panel.resize(240, 600);
        speakers.buildSpeakersList();
        panel.reloadData();
        main.drain();
    }

    qv::ManualDispatcher main;
    qv::DatabaseBackend backend;
    qv::DatabaseClient client;
    AppDelegate ad;
    qv::ScriptedAlertPresenter alerts;
    QuietHost host;
    qv::speakers::SpeakersController speakers{ad, main, alerts, host};
    qv::speakers::SpeakersPanelView panel{speakers};
};

void BM_ChangeSpeakerOfRange(benchmark::State& state)
{
    LongTranscript t;
    const auto range = t.ad.speakerRanges.at(kRanges / 2);
    // Speakers that neither neighbour has, so that nothing merges.
    const auto first = t.ad.speakers.at(7);
    const auto second = t.ad.speakers.at(23);
    bool flip = false;
    for (auto _ : state) {
        t.speakers.assignment().changeSpeaker(flip ? first : second, range, {}, false, nullptr, nullptr);
        t.main.drain();
        flip = !flip;
    }
}
BENCHMARK(BM_ChangeSpeakerOfRange)->Unit(benchmark::kMillisecond);

void BM_ConsolidateSpeakerRanges(benchmark::State& state)
{
    LongTranscript t;
    for (auto _ : state) {
        benchmark::DoNotOptimize(t.speakers.assignment().consolidateSpeakerRangesWithAnimation(true));
        t.main.drain();
    }
}
BENCHMARK(BM_ConsolidateSpeakerRanges)->Unit(benchmark::kMillisecond);

void BM_RebuildSpeakersPanel(benchmark::State& state)
{
    LongTranscript t;
    for (auto _ : state) {
        t.speakers.buildSpeakersList();
        t.panel.reloadData();
    }
}
BENCHMARK(BM_RebuildSpeakersPanel)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
