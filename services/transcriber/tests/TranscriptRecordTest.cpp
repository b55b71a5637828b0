#include "services/transcriber/TranscriptRecord.h"

#include <gtest/gtest.h>

namespace qv::transcriber {
namespace {

constexpr std::int64_t kNow = 1'800'000'000'000;

DatabaseValue valueOf(const DatabaseUpdate& update)
{
    return DatabaseValue::map(update);
}

TEST(TranscriptRecord, TranscriptHasTheWordsInTimeOrderOneSpeakerAndOneRange)
{
    const std::vector<TranscribedWord> words = {{"hello", 100, 400}, {"there", 400, 900}, {"again", 900, 900}};
    PushIdGenerator ids;
    const DatabaseValue transcript = transcriptValue(words, ids, kNow);

    const DatabaseValue wordsNode = transcript.child("words");
    ASSERT_EQ(wordsNode.childCount(), 3u);
    // Children come back in key order, which must be the order of the words.
    std::size_t i = 0;
    for (const auto& [key, word] : wordsNode.children()) {
        EXPECT_EQ(word.child("name").toString(), words[i].text);
        EXPECT_EQ(word.child("start"), DatabaseValue(words[i].startMs));
        EXPECT_EQ(word.child("end"), DatabaseValue(words[i].endMs));
        EXPECT_EQ(word.child("status"), DatabaseValue(0));
        for (const char* flag : {"favorite", "deleted", "new_paragraph"})
            EXPECT_EQ(word.child(flag), DatabaseValue(false)) << flag;
        ++i;
    }

    const DatabaseValue speakers = transcript.child("speakers");
    ASSERT_EQ(speakers.childCount(), 1u);
    const auto speaker = *speakers.children().begin();
    EXPECT_EQ(speaker.value.child("name").toString(), "Speaker 1");
    EXPECT_EQ(speaker.value.child("color").toString(), "purple");
    EXPECT_EQ(speaker.value.child("deleted"), DatabaseValue(false));

    const DatabaseValue ranges = transcript.child("speaker_ranges");
    ASSERT_EQ(ranges.childCount(), 1u);
    const auto range = *ranges.children().begin();
    EXPECT_EQ(range.value.child("speaker").toString(), speaker.key);
    EXPECT_EQ(range.value.child("start"), DatabaseValue(0));

    // No words: the speaker and its range are still there, so the transcript exists.
    const DatabaseValue empty = transcriptValue({}, ids, kNow);
    EXPECT_FALSE(empty.hasChild("words"));
    EXPECT_EQ(empty.child("speakers").childCount(), 1u);
    EXPECT_EQ(empty.child("speaker_ranges").childCount(), 1u);
}

// A long pause opens a paragraph at the word after it; a shorter one, or none, does not.
TEST(TranscriptRecord, ALongPauseStartsAParagraph)
{
    const std::vector<TranscribedWord> words = {
        {"one", 0, 500}, {"two", 600, 1000}, {"three", 3000, 3400}, {"four", 5300, 5600}, {"five", 7600, 8000}};
    PushIdGenerator ids;
    const DatabaseValue wordsNode = transcriptValue(words, ids, kNow).child("words");
    std::vector<bool> paragraphs;
    for (const auto& [key, word] : wordsNode.children())
        paragraphs.push_back(word.child("new_paragraph").toBool());
    EXPECT_EQ(paragraphs, (std::vector<bool>{false, false, true, false, true}));
}

TEST(TranscriptRecord, FileRecordTellsHowTheWorkWent)
{
    PushIdGenerator ids;
    TranscriptionResult done;
    done.words = {{"word", 0, 300}};
    done.durationMs = 61'500;
    const TranscriptionWrites success = transcriptionWrites(done, ids, kNow);
    EXPECT_TRUE(success.transcript.hasChild("words"));
    EXPECT_EQ(valueOf(success.fileRecord), DatabaseValue::object({
                                               {"status", 30},
                                               {"duration", 61'500},
                                               {"empty_transcript", false},
                                               {"completed", DatabaseValue::serverTimestamp()},
                                               {"updated", DatabaseValue::serverTimestamp()},
                                           }));

    done.words.clear();
    EXPECT_EQ(valueOf(transcriptionWrites(done, ids, kNow).fileRecord).child("empty_transcript"), DatabaseValue(true));

    TranscriptionResult failed;
    failed.error = TranscriptionError{TranscriptionErrorCode::NotAudio, "The uploaded file holds no audio."};
    const TranscriptionWrites failure = transcriptionWrites(failed, ids, kNow);
    EXPECT_TRUE(failure.transcript.isNull()) << "nothing is written under transcripts/";
    EXPECT_EQ(valueOf(failure.fileRecord), DatabaseValue::object({
                                               {"status", kFileStatusFailed},
                                               {"failure_reason", "The uploaded file holds no audio."},
                                               {"updated", DatabaseValue::serverTimestamp()},
                                           }));
    // Never a status the client opens as transcribed, nor one it waits on as under way.
    EXPECT_LT(kFileStatusFailed, kFileStatusProcessing);
    EXPECT_GT(kFileStatusFailed, kFileStatusSubmitted);

    EXPECT_EQ(valueOf(processingFileUpdate()).child("status"), DatabaseValue(20));
    EXPECT_EQ(serviceStatusValue(true), DatabaseValue("normal"));
    EXPECT_EQ(serviceStatusValue(false), DatabaseValue("unavailable"));
}

}  // namespace
}  // namespace qv::transcriber
