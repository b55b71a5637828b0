// What the transcription worker writes to the database, built from a transcription without
// touching the database: the transcript node `transcripts/<uuid>` in the layout the client's
// transcript loader reads, and the changes to the file record `files/<uuid>` that tell the
// client how the work went. The worker applies them in this order: the transcript (one write,
// only on success), then the file record update, then removes `files_new/<uuid>`; so a client
// that sees the transcribed status finds the whole transcript, and a failed file has none.
#pragma once

#include "TranscribedWord.h"
#include "Transcriber.h"

#include "platform/rtdb/DatabaseValue.h"
#include "platform/rtdb/PushIdGenerator.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qv::transcriber {

// File status codes of `files/<uuid>/status`. The client opens only files above 29 and shows
// 20 as under way; a failed file sits below both, so it is neither opened nor waited for.
inline constexpr std::int64_t kFileStatusSubmitted = 10;
inline constexpr std::int64_t kFileStatusFailed = 15;
inline constexpr std::int64_t kFileStatusProcessing = 20;
inline constexpr std::int64_t kFileStatusTranscribed = 30;

// A pause at least this long (from one word's end to the next one's start) opens a paragraph,
// so that long speech does not arrive as one block of text.
inline constexpr std::int64_t kParagraphPauseMs = 2000;

// The one speaker of every transcript: the recognizer does not tell voices apart.
inline constexpr const char* kSpeakerName = "Speaker 1";
inline constexpr const char* kSpeakerColor = "purple";  // the first colour of the speaker palette

// Values of the service status node `status`.
inline constexpr const char* kServiceStatusNormal = "normal";
inline constexpr const char* kServiceStatusUnavailable = "unavailable";

// `transcripts/<uuid>`: `words` keyed by push identifiers in time order (name, start, end,
// status 0 "not yet heard", favorite, deleted, new_paragraph: set on a word after a pause of
// kParagraphPauseMs), one speaker, and one speaker range from 0 that names it. `ids` makes the keys, from `nowMs`. Words must be in time order.
DatabaseValue transcriptValue(const std::vector<TranscribedWord>& words, PushIdGenerator& ids, std::int64_t nowMs);

// The update of `files/<uuid>` when the worker takes the file up: status 20 and `updated`.
DatabaseUpdate processingFileUpdate();

// The update of `files/<uuid>` for a finished transcription: status 30, the duration in ms,
// `completed` and `updated` as server timestamps, and `empty_transcript` (true when no word
// was heard, so the client can say so).
DatabaseUpdate transcribedFileUpdate(std::int64_t durationMs, bool emptyTranscript);

// The update of `files/<uuid>` for a failed transcription: the failed status, `failure_reason`
// (a sentence for the user) and `updated`. `completed` stays unset: nothing was completed.
DatabaseUpdate failedFileUpdate(const std::string& reason);

// Both parts of a finished transcription's writes.
struct TranscriptionWrites {
    DatabaseValue transcript;  // null on failure: nothing is written under `transcripts/`
    DatabaseUpdate fileRecord;
};
TranscriptionWrites transcriptionWrites(const TranscriptionResult& result, PushIdGenerator& ids, std::int64_t nowMs);

// The value of the service status node: "unavailable" while the worker cannot run.
DatabaseValue serviceStatusValue(bool workerCanRun);

}  // namespace qv::transcriber
