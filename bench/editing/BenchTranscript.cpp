#include "BenchTranscript.h"

#include "platform/foundation/UndoManager.h"

#include <algorithm>
#include <random>

#include <time.h>

namespace bench {

namespace {

// Builds the transcript in memory and writes it to the database as a loaded file would be.
void buildTranscript(AppDelegate& ad, qv::DatabaseBackend& backend)
{
    std::mt19937 random(7);
    const char* vocabulary[] = {"the", "interview", "\u201CWell,", "said", "camera", "rolling.", "we", "can't",
                                "(laughs)", "okay?", "$5,000", "Yes!", "and", "then", "so", "right"};
    std::vector<qv::DatabaseValue::Entry> speakerValues;
    for (int i = 0; i < kSpeakers; ++i) {
        auto speaker = std::make_shared<QVSpeaker>();
        speaker->uuid = QString("S%1").arg(i);
        speaker->name = QString("Speaker %1").arg(i + 1);
        speaker->color = "blue";
        ad.speakers.add(speaker);
        speakerValues.emplace_back(speaker->uuid.toStdString(),
                                   qv::DatabaseValue::object({{"name", speaker->name.toStdString()}, {"color", "blue"}}));
    }
    std::vector<qv::DatabaseValue::Entry> rangeValues;
    constexpr int wordsPerRange = kWords / kRanges;
    for (int i = 0; i < kRanges; ++i) {
        auto range = std::make_shared<QVSpeakerRange>();
        range->uuid = QString("R%1").arg(i);
        range->speaker = ad.speakers.at(random() % kSpeakers);
        ++range->speaker->rangeCount;
        range->start = std::int64_t{i} * wordsPerRange * 400;
        ad.speakerRanges.add(range);
        rangeValues.emplace_back(range->uuid.toStdString(),
                                 qv::DatabaseValue::object({{"speaker", range->speaker->uuid.toStdString()}, {"start", range->start}}));
    }
    std::vector<qv::DatabaseValue::Entry> wordValues;
    wordValues.reserve(kWords);
    ad.words.reserve(kWords);
    for (int i = 0; i < kWords; ++i) {
        auto word = std::make_shared<QVWord>();
        word->uuid = QString("W%1").arg(i);
        word->setName(vocabulary[random() % std::size(vocabulary)]);
        word->start = std::int64_t{i} * 400;
        word->end = word->start + 300;
        word->status = 1;
        word->speakerRange = ad.speakerRanges.at(static_cast<std::size_t>(i / wordsPerRange));
        ad.words.add(word);
        wordValues.emplace_back(word->uuid.toStdString(), qv::DatabaseValue::object({{"name", word->name().toStdString()},
                                                                                     {"start", word->start},
                                                                                     {"end", word->end},
                                                                                     {"status", 1}}));
    }
    backend.setValue("transcripts/BENCH", qv::DatabaseValue::object({{"words", qv::DatabaseValue::map(std::move(wordValues))},
                                                                     {"speakers", qv::DatabaseValue::map(std::move(speakerValues))},
                                                                     {"speaker_ranges", qv::DatabaseValue::map(std::move(rangeValues))}}));
}

}  // namespace

BenchTranscript::BenchTranscript()
{
    ad.viewServices = &view;
    ad.speakerServices = &speakers;
    ad.modelServices = &shell;
    ad.undoManager = std::make_shared<qv::UndoManager>(main);
    ad.wordsMetadataRef = client.reference("transcripts/BENCH/words");
    ad.speakerRangesMetadataRef = client.reference("transcripts/BENCH/speaker_ranges");
    ad.currentFile = std::make_shared<QVFile>();
    ad.currentFile->uuid = "BENCH";
    ad.currentFile->language = "en-US";
    ad.currentFile->duration = std::int64_t{kWords} * 400 + 1000;
    buildTranscript(ad, backend);
    client.reference("transcripts/BENCH").observe(qv::DatabaseEvent::Value, [](const qv::DataSnapshot&) {});
    main.drain();
    editing = std::make_unique<EditingController>(ad, main, alerts, pasteboard);
    ad.editingServices = editing.get();
}

double threadCpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

}  // namespace bench
