// Opens a transcript of 30,000 words, 40 speakers and 2,000 speaker ranges stored in the
// in-process database and reports how long reading, sorting and linking it takes and how much
// memory it adds. Targets: under 100 ms and under 30 MB.

#include "model/AppDelegate.h"
#include "model/LocalFileData.h"
#include "model/TranscriptLoader.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/foundation/Preferences.h"
#include "platform/foundation/Uuid.h"
#include "platform/rtdb/DatabaseBackend.h"
#include "platform/rtdb/DatabaseClient.h"

#include <QTemporaryDir>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string_view>
#include <vector>

namespace {

constexpr int kWords = 30'000;
constexpr int kSpeakers = 40;
constexpr int kRanges = 2'000;
constexpr int kRuns = 5;
constexpr double kTargetMilliseconds = 100;
constexpr double kTargetMegabytes = 30;

qv::DatabaseValue makeTranscript()
{
    std::mt19937 random(7);
    const char* vocabulary[] = {"the", "interview", "\u201CWell,", "said", "camera", "rolling.", "we", "can't",
                                "(laughs)", "okay?", "$5,000", "Yes!", "and", "then\u2014", "so", "right"};
    std::vector<qv::DatabaseValue::Entry> words;
    words.reserve(kWords);
    for (int i = 0; i < kWords; ++i) {
        const std::int64_t start = std::int64_t{i} * 400 + static_cast<std::int64_t>(random() % 100);
        words.emplace_back(qv::createUUID().toStdString(),
                           qv::DatabaseValue::object({{"name", vocabulary[random() % std::size(vocabulary)]},
                                                      {"start", start},
                                                      {"end", start + 300},
                                                      {"status", 0},
                                                      {"favorite", i % 50 == 0},
                                                      {"deleted", i % 500 == 0},
                                                      {"new_paragraph", i % 40 == 0}}));
    }
    std::vector<std::string> speakerIDs;
    std::vector<qv::DatabaseValue::Entry> speakers;
    const char* colors[] = {"purple", "blue", "teal", "green", "lime", "yellow", "orange", "red", "fuschia"};
    for (int i = 0; i < kSpeakers; ++i) {
        speakerIDs.push_back(qv::createUUID().toStdString());
        speakers.emplace_back(speakerIDs.back(), qv::DatabaseValue::object({{"name", "Speaker " + std::to_string(i + 1)},
                                                                            {"color", colors[i % std::size(colors)]}}));
    }
    std::vector<qv::DatabaseValue::Entry> ranges;
    for (int i = 0; i < kRanges; ++i)
        ranges.emplace_back(qv::createUUID().toStdString(),
                            qv::DatabaseValue::object({{"speaker", speakerIDs[random() % speakerIDs.size()]},
                                                       {"start", std::int64_t{i} * 6000}}));
    return qv::DatabaseValue::object({{"words", qv::DatabaseValue::map(std::move(words))},
                                      {"speakers", qv::DatabaseValue::map(std::move(speakers))},
                                      {"speaker_ranges", qv::DatabaseValue::map(std::move(ranges))}});
}

std::size_t heapInUse()
{
    return mallinfo2().uordblks;
}

std::size_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    std::size_t resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

struct Result {
    double milliseconds;
    double heapMegabytes;
    double residentMegabytes;
    std::size_t words;
    std::size_t ranges;
};

Result openOnce(qv::DatabaseClient& client, qv::ManualDispatcher& main, qv::Preferences& preferences)
{
    const std::size_t heapBefore = heapInUse();
    const std::size_t residentBefore = residentBytes();
    Result result{};
    {
        AppDelegate ad;
        ad.transcriptsMetadataRef = client.reference("transcripts");
        LocalFileData localFileData(ad, preferences);
        TranscriptLoader loader(ad, localFileData, preferences);
        auto file = std::make_shared<QVFile>();
        file->uuid = "BENCH";
        file->fileType = 0;

        const auto start = std::chrono::steady_clock::now();
        loader.loadFile(file);
        main.drain();
        const auto end = std::chrono::steady_clock::now();

        result.milliseconds = std::chrono::duration<double, std::milli>(end - start).count();
        result.heapMegabytes = static_cast<double>(heapInUse() - heapBefore) / 1e6;
        result.residentMegabytes = static_cast<double>(residentBytes() - residentBefore) / 1e6;
        result.words = file->hasLoadedTranscript ? ad.words.size() + ad.wordsDeleted.size() : 0;
        result.ranges = ad.speakerRanges.size() + ad.speakerRangesDeleted.size();
    }
    return result;
}

}  // namespace

int main()
{
    QTemporaryDir folder;
    qv::Preferences preferences(folder.path());
    qv::ManualDispatcher main;
    qv::DatabaseBackend backend;
    qv::DatabaseClient client(backend, main);
    backend.setValue("transcripts/BENCH", makeTranscript());
    main.drain();

    std::vector<Result> results;
    for (int run = 0; run < kRuns; ++run)
        results.push_back(openOnce(client, main, preferences));
    if (results.front().words != kWords || results.front().ranges != kRanges) {
        std::fprintf(stderr, "transcript_load_bench: loaded %zu words and %zu ranges, expected %d and %d\n",
                     results.front().words, results.front().ranges, kWords, kRanges);
        return 1;
    }
    std::vector<double> times;
    for (const Result& r : results)
        times.push_back(r.milliseconds);
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double heap = results.front().heapMegabytes;

    std::printf("transcript load: %d words, %d speakers, %d speaker ranges (%s build%s)\n", kWords, kSpeakers, kRanges,
                QV_BUILD_TYPE, std::string_view(QV_BUILD_TYPE) == "Release" ? "" : "; the targets are for a Release build");
    std::printf("time:   median %.1f ms of %d runs (best %.1f ms); target under %.0f ms: %s\n", median, kRuns,
                times.front(), kTargetMilliseconds, median < kTargetMilliseconds ? "met" : "MISSED");
    std::printf("memory: %.1f MB added to the heap (%.1f MB resident); target under %.0f MB: %s\n", heap,
                results.front().residentMegabytes, kTargetMegabytes, heap < kTargetMegabytes ? "met" : "MISSED");
    return 0;
}
