#include "TranscriptRecord.h"

namespace qv::transcriber {

DatabaseValue transcriptValue(const std::vector<TranscribedWord>& words, PushIdGenerator& ids, std::int64_t nowMs)
{
    std::vector<DatabaseValue::Entry> wordEntries;
    wordEntries.reserve(words.size());
    const TranscribedWord* previous = nullptr;
    for (const TranscribedWord& word : words) {
        const bool newParagraph = previous && word.startMs - previous->endMs >= kParagraphPauseMs;
        previous = &word;
        wordEntries.emplace_back(ids.next(nowMs), DatabaseValue::object({
                                                      {"name", word.text},
                                                      {"start", word.startMs},
                                                      {"end", word.endMs},
                                                      {"status", 0},
                                                      {"favorite", false},
                                                      {"deleted", false},
                                                      {"new_paragraph", newParagraph},
                                                  }));
    }
    const std::string speakerID = ids.next(nowMs);
    const std::string rangeID = ids.next(nowMs);
    return DatabaseValue::object({
        {"words", DatabaseValue::map(std::move(wordEntries))},
        {"speakers", DatabaseValue::object({{speakerID, DatabaseValue::object({{"name", kSpeakerName},
                                                                               {"color", kSpeakerColor},
                                                                               {"deleted", false}})}})},
        {"speaker_ranges", DatabaseValue::object({{rangeID, DatabaseValue::object({{"speaker", speakerID},
                                                                                  {"start", 0},
                                                                                  {"deleted", false}})}})},
    });
}

DatabaseUpdate processingFileUpdate()
{
    return {{"status", kFileStatusProcessing}, {"updated", DatabaseValue::serverTimestamp()}};
}

DatabaseUpdate transcribedFileUpdate(std::int64_t durationMs, bool emptyTranscript)
{
    return {
        {"status", kFileStatusTranscribed},
        {"duration", durationMs},
        {"empty_transcript", emptyTranscript},
        {"completed", DatabaseValue::serverTimestamp()},
        {"updated", DatabaseValue::serverTimestamp()},
    };
}

DatabaseUpdate failedFileUpdate(const std::string& reason)
{
    return {
        {"status", kFileStatusFailed},
        {"failure_reason", reason},
        {"updated", DatabaseValue::serverTimestamp()},
    };
}

TranscriptionWrites transcriptionWrites(const TranscriptionResult& result, PushIdGenerator& ids, std::int64_t nowMs)
{
    if (!result.ok())
        return {DatabaseValue(), failedFileUpdate(result.error->reason)};
    return {transcriptValue(result.words, ids, nowMs), transcribedFileUpdate(result.durationMs, result.words.empty())};
}

DatabaseValue serviceStatusValue(bool workerCanRun)
{
    return workerCanRun ? kServiceStatusNormal : kServiceStatusUnavailable;
}

}  // namespace qv::transcriber
