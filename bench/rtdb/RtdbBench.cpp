// Database figures: reading a large transcript as one snapshot and walking it in key order
// (target: under 50 ms), single-key updates with a value observer attached (target: over
// 100,000 per second), and the memory a transcript's words take in the value tree, per word
// (target: at most 600 bytes, a transcription's word with its seven fields and its key). The figures mean something only in an optimised build:
//   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release && build-release/bench/rtdb/rtdb_bench
#include "platform/foundation/ManualDispatcher.h"
#include "platform/rtdb/DatabaseClient.h"
#include "platform/rtdb/ValueJson.h"

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

using namespace qv;

namespace {

constexpr int kWords = 30'000;
constexpr int kSpeakers = 40;
constexpr int kRanges = 2'000;
constexpr int kUpdates = 100'000;
// Updates made in one turn of the main queue before it runs what they queued: one, as when each
// edit is one user event (the measured figure), and a burst of 100 (shown for comparison).
constexpr int kUpdatesPerTurn = 1;
constexpr int kBurst = 100;
constexpr int kReadRuns = 20;
constexpr double kBytesPerWord = 600;

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::string identifier(std::mt19937_64& random)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string id;
    for (int i = 0; i < 32; ++i)
        id += hex[random() % 16];
    return id;
}

struct Transcript {
    DatabaseValue value;
    std::vector<std::string> wordIds;
};

Transcript makeTranscript()
{
    std::mt19937_64 random(42);
    Transcript transcript;
    std::vector<std::string> speakerIds;
    std::vector<DatabaseValue::Entry> speakers, ranges, words;
    for (int i = 0; i < kSpeakers; ++i) {
        speakerIds.push_back(identifier(random));
        speakers.emplace_back(speakerIds.back(), DatabaseValue::object({{"color", "purple"}, {"deleted", false},
                                                                        {"name", "Speaker " + std::to_string(i + 1)}}));
    }
    for (int i = 0; i < kRanges; ++i)
        ranges.emplace_back(identifier(random),
                            DatabaseValue::object({{"deleted", false}, {"speaker", speakerIds[i % kSpeakers]},
                                                   {"start", std::int64_t{i} * 15'000}}));
    for (int i = 0; i < kWords; ++i) {
        transcript.wordIds.push_back(identifier(random));
        words.emplace_back(transcript.wordIds.back(),
                           DatabaseValue::object({{"deleted", false}, {"end", std::int64_t{i} * 1000 + 800},
                                                  {"favorite", false}, {"name", "word" + std::to_string(i % 997)},
                                                  {"new_paragraph", i % 50 == 0}, {"start", std::int64_t{i} * 1000},
                                                  {"status", 0}}));
    }
    transcript.value = DatabaseValue::object({{"speaker_ranges", DatabaseValue::map(std::move(ranges))},
                                              {"speakers", DatabaseValue::map(std::move(speakers))},
                                              {"words", DatabaseValue::map(std::move(words))}});
    return transcript;
}

// Bytes the allocator hands out now.
std::size_t heapInUse()
{
    return mallinfo2().uordblks;
}

// Bytes per word the words of a transcript hold in the tree, their keys included.
double bytesPerWord()
{
    std::mt19937_64 random(7);
    const std::size_t before = heapInUse();
    DatabaseValue words;
    {
        std::vector<DatabaseValue::Entry> entries;
        entries.reserve(kWords);
        for (int i = 0; i < kWords; ++i)
            entries.emplace_back(identifier(random),
                                 DatabaseValue::object({{"deleted", false}, {"end", std::int64_t{i} * 1000 + 800},
                                                        {"favorite", false}, {"name", "word" + std::to_string(i % 997)},
                                                        {"new_paragraph", i % 50 == 0}, {"start", std::int64_t{i} * 1000},
                                                        {"status", 0}}));
        words = DatabaseValue::map(std::move(entries));
    }
    const std::size_t after = heapInUse();
    return words.childCount() == kWords ? double(after - before) / kWords : -1;
}

// Reads every field the document model reads, in key order; returns a checksum.
std::int64_t walk(const DataSnapshot& transcript)
{
    std::int64_t sum = 0;
    for (const DataSnapshot& word : transcript.child("words").children()) {
        sum += word.childInt("start") + word.childInt("end") + word.childInt("status");
        sum += word.childBool("favorite") + word.childBool("deleted") + word.childBool("new_paragraph");
        sum += static_cast<std::int64_t>(word.childString("name").size() + word.key().size());
    }
    for (const DataSnapshot& speaker : transcript.child("speakers").children())
        sum += static_cast<std::int64_t>(speaker.childString("name").size() + speaker.childString("color").size())
             + speaker.childBool("deleted");
    for (const DataSnapshot& range : transcript.child("speaker_ranges").children())
        sum += range.childInt("start") + static_cast<std::int64_t>(range.childString("speaker").size())
             + range.childBool("deleted");
    return sum;
}

}  // namespace

int main()
{
    const double perWord = bytesPerWord();
    ManualDispatcher queue;
    DatabaseBackend backend;
    DatabaseClient client(backend, queue);
    queue.drain();

    auto build = std::chrono::steady_clock::now();
    Transcript transcript = makeTranscript();
    double buildMs = msSince(build);
    backend.setValue("transcripts/T1", transcript.value);
    std::string stored = encodeValue(transcript.value);
    auto parse = std::chrono::steady_clock::now();
    auto decoded = decodeValue(stored);
    double parseMs = msSince(parse);

    // Figure 1: one read of the transcript node, then the walk in key order.
    std::vector<double> readMs;
    std::int64_t checksum = 0;
    auto node = client.reference("transcripts/T1");
    for (int run = 0; run < kReadRuns; ++run) {
        auto start = std::chrono::steady_clock::now();
        node.observeSingleEvent([&](const DataSnapshot& snapshot) { checksum = walk(snapshot); });
        queue.drain();
        readMs.push_back(msSince(start));
    }
    std::sort(readMs.begin(), readMs.end());

    // Figure 2: single-key updates of words with a value observer on the transcript.
    std::int64_t reports = 0;
    node.observe(DatabaseEvent::Value, [&](const DataSnapshot&) { ++reports; });
    queue.drain();
    auto words = node.child("words");
    int made = 0;
    auto updates = [&](int perTurn) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kUpdates; ++i, ++made) {
            words.child(transcript.wordIds[static_cast<std::size_t>(made) % transcript.wordIds.size()])
                .updateChildValues({{"status", (made / kWords) % 2 == 0 ? 1 : 0}});
            if ((i + 1) % perTurn == 0)
                queue.drain();
        }
        queue.drain();
        return kUpdates / (msSince(start) / 1000);
    };
    double perSecond = updates(kUpdatesPerTurn);
    double burstPerSecond = updates(kBurst);

    std::printf("transcript: %d words, %d speakers, %d speaker ranges (%zu bytes stored)\n", kWords, kSpeakers,
                kRanges, stored.size());
    std::printf("  built in %.1f ms; parsed from its stored form in %.1f ms%s\n", buildMs, parseMs,
                decoded ? "" : " (FAILED)");
    std::printf("read as one snapshot and walked in key order: %.2f ms median, %.2f ms worst of %d (target < 50 ms) %s\n",
                readMs[readMs.size() / 2], readMs.back(), kReadRuns, readMs.back() < 50 ? "PASS" : "FAIL");
    std::printf("single-key updates with one value observer, one per turn: %.0f updates/s (target > 100000) %s\n",
                perSecond, perSecond > 100'000 ? "PASS" : "FAIL");
    std::printf("  the same in bursts of %d per turn: %.0f updates/s\n", kBurst, burstPerSecond);
    std::printf("words held in the tree: %.0f bytes per word, key included (target <= %.0f) %s\n", perWord,
                kBytesPerWord, perWord > 0 && perWord <= kBytesPerWord ? "PASS" : "FAIL");
    std::printf("  observer reports: %lld; backend holds the last status: %s; checksum %lld\n",
                static_cast<long long>(reports),
                backend.value("transcripts/T1/words/" + transcript.wordIds[(made - 1) % kWords] + "/status")
                        == DatabaseValue((((made - 1) / kWords) % 2) == 0 ? 1 : 0)
                    ? "yes"
                    : "NO",
                static_cast<long long>(checksum));
    return readMs.back() < 50 && perSecond > 100'000 && perWord > 0 && perWord <= kBytesPerWord ? 0 : 1;
}
