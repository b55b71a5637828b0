// Turns an uploaded media file into words with their times: reads its audio through the media
// layer as 16 kHz mono, cuts it at pauses, and recognises the pieces in parallel on a pool of
// threads, one speech recognizer each. Runs on the caller's thread (which waits for the pool);
// it can be stopped from another thread, and gives up once its time limit has passed. The
// audio of the whole file is held in memory while it is recognised: about 115 MB an hour.
#pragma once

#include "SilenceSplitter.h"
#include "SpeechRecognizer.h"
#include "TranscribedWord.h"

#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace qv::transcriber {

enum class TranscriptionErrorCode {
    Empty = 1,         // no bytes, or no sound in them
    NotAudio,          // not a media file, or one without an audio track
    CutShort,          // the file ends before its own stated end, or its audio breaks off
    TimedOut,          // the time limit passed first
    Cancelled,         // stopped by the caller
    ModelUnavailable,  // the speech model cannot be loaded: no transcription can run
    RecognitionFailed, // the decoder refused the audio
    Refused,           // the caller's admission check turned the media down (see `admit`)
};

struct TranscriptionError {
    TranscriptionErrorCode code = TranscriptionErrorCode::RecognitionFailed;
    std::string reason;  // a sentence for the user, saying what was wrong with the file
};

struct TranscriptionResult {
    std::optional<TranscriptionError> error;  // set on failure, and then nothing else is
    std::vector<TranscribedWord> words;       // in time order, within the duration
    std::int64_t durationMs = 0;              // of the media, as its file states it

    bool ok() const { return !error; }
};

struct TranscriptionOptions {
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    SpeechModel model;
    SplitSettings split;
    unsigned maxThreads = 0;  // 0: one per core; never more than the cores
    // Time allowed for the whole transcription; unset: defaultTimeLimit() of the media's duration.
    std::optional<std::chrono::milliseconds> timeLimit;
    Clock clock;              // defaults to the steady clock; read from every worker thread
    std::stop_token stop;     // a stop request ends the transcription as Cancelled
    // Words the transcript may hold that the dictionary may not: the file's and the account's
    // custom words.
    std::vector<std::string> customWords;
    // Asked with the media's duration once its audio has been read, before any of it is
    // recognised: an error ends the transcription with it (the account cannot pay for the file).
    std::function<std::optional<TranscriptionError>(std::int64_t durationMs)> admit;
};

// Ten minutes plus the media's own duration (counted up to a day): the recognizer runs several
// times faster than real time on one core, so a file that needs longer than that is stuck, not
// slow.
std::chrono::milliseconds defaultTimeLimit(std::int64_t durationMs);

// Transcribes the media file at `path`.
TranscriptionResult transcribeFile(const std::string& path, const TranscriptionOptions& options = {});

// Why the transcription worker cannot run with `model` (it cannot be loaded), or nothing.
std::optional<std::string> transcriberUnavailableReason(const SpeechModel& model = {});

}  // namespace qv::transcriber
