#include "Transcriber.h"

#include "platform/media/Asset.h"
#include "platform/media/AudioReader.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <variant>

namespace qv::transcriber {

namespace {

constexpr int kRate = SpeechRecognizer::kSampleRate;
// Audio that ends this much before the file's stated duration has been cut short, ms. Encoder
// padding and rounding stay well under it.
constexpr std::int64_t kCutShortToleranceMs = 250;

TranscriptionError makeError(TranscriptionErrorCode code, std::string reason)
{
    return {code, std::move(reason)};
}

std::string secondsText(std::int64_t milliseconds)
{
    return std::to_string(milliseconds / 1000) + "." + std::to_string(milliseconds % 1000 / 100) + " s";
}

// An MP4 file begins with its 'ftyp' box. The client's uploads keep their index at the end,
// so one that begins like this and still cannot be opened lost its end on the way.
bool beginsLikeAnMp4File(const std::string& path)
{
    char header[8] = {};
    std::ifstream in(path, std::ios::binary);
    return in.read(header, sizeof header) && std::string_view(header + 4, 4) == "ftyp";
}

// Says whether the work must stop, and why: a stop request, or the time limit.
class StopCheck {
public:
    StopCheck(std::stop_token stop, TranscriptionOptions::Clock clock, std::chrono::steady_clock::time_point start)
        : stop_(std::move(stop)), clock_(std::move(clock)), deadline_(start)
    {
    }
    void setTimeLimit(std::chrono::milliseconds limit)
    {
        deadline_ += limit;
        limited_ = true;
    }

    std::optional<TranscriptionError> operator()() const
    {
        if (stop_.stop_requested())
            return makeError(TranscriptionErrorCode::Cancelled, "The transcription was stopped.");
        if (limited_ && clock_() >= deadline_)
            return makeError(TranscriptionErrorCode::TimedOut, "The transcription took longer than the time allowed for "
                                                               "a file of this length and was given up.");
        return std::nullopt;
    }

private:
    std::stop_token stop_;
    TranscriptionOptions::Clock clock_;
    std::chrono::steady_clock::time_point deadline_;
    bool limited_ = false;
};

struct Audio {
    std::vector<std::int16_t> samples;  // 16 kHz mono
    std::int64_t durationMs = 0;        // as the file states it
};

// Inspects the file and decides how long the work may take; then reads its first audio track
// mixed to mono at the recognizer's rate.
std::variant<Audio, TranscriptionError> readAudio(const std::string& path, const TranscriptionOptions& options,
                                                  StopCheck& stopCheck)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error)
        return makeError(TranscriptionErrorCode::NotAudio, "The uploaded file cannot be read.");
    if (size == 0)
        return makeError(TranscriptionErrorCode::Empty, "The uploaded file is empty.");
    auto asset = Asset::inspect(path);
    if (!asset) {
        if (asset.error().is(MediaErrorCode::FileNotFound))
            return makeError(TranscriptionErrorCode::NotAudio, "The uploaded file cannot be read.");
        if (beginsLikeAnMp4File(path))
            return makeError(TranscriptionErrorCode::CutShort,
                             "The uploaded file breaks off before its end: it was cut short.");
        return makeError(TranscriptionErrorCode::NotAudio, "The uploaded file is not a media file that can be read.");
    }
    const auto tracks = asset->tracksWithMediaType(MediaType::Audio);
    if (tracks.empty())
        return makeError(TranscriptionErrorCode::NotAudio, "The uploaded file holds no audio.");

    Audio audio;
    const MediaTime duration = asset->duration();
    audio.durationMs = duration.isNumeric() ? std::max<std::int64_t>(0, duration.convertScale(1000).value) : 0;
    stopCheck.setTimeLimit(options.timeLimit.value_or(defaultTimeLimit(audio.durationMs)));

    const AssetTrack& track = tracks.front();
    const int channels = std::max(1, track.audio ? track.audio->channelCount : 1);
    AudioMixInputParameters input;
    input.trackID = track.trackID;
    input.defaultChannelGain = 1.0f / static_cast<float>(channels);
    auto reader = AudioReader::forMix(asset.value(), AudioMix{{input}}, 1, AudioOutputSettings{PcmFormat::Int16, kRate});
    if (!reader)
        return makeError(TranscriptionErrorCode::NotAudio, "The audio of the uploaded file cannot be decoded.");

    // Room for the stated duration, but not more than ten minutes of it up front: the duration
    // is the file's word, and a damaged or hostile file can state anything.
    audio.samples.reserve(static_cast<std::size_t>(std::min<std::int64_t>(audio.durationMs, 600'000)) * kRate / 1000);
    while (auto buffer = reader.value()->copyNextSampleBuffer()) {
        audio.samples.insert(audio.samples.end(), buffer->int16.begin(), buffer->int16.end());
        if (auto stop = stopCheck()) {
            reader.value()->cancelReading();
            return *stop;
        }
    }
    const std::int64_t readMs = static_cast<std::int64_t>(audio.samples.size()) * 1000 / kRate;
    if (reader.value()->status() == AudioReader::Status::Failed)
        return makeError(TranscriptionErrorCode::CutShort, "The uploaded audio breaks off after " + secondsText(readMs)
                                                               + " of its " + secondsText(audio.durationMs) + ".");
    if (audio.samples.empty())
        return makeError(TranscriptionErrorCode::Empty, "The uploaded file holds no sound.");
    // A stream that states no duration (raw AAC, for one) lasts as long as its audio.
    if (audio.durationMs == 0)
        audio.durationMs = readMs;
    if (readMs + kCutShortToleranceMs < audio.durationMs)
        return makeError(TranscriptionErrorCode::CutShort, "The uploaded audio ends after " + secondsText(readMs)
                                                               + " of its stated " + secondsText(audio.durationMs)
                                                               + ": the file was cut short.");
    return audio;
}

// Recognises the pieces on a pool of threads and gathers their words in order.
TranscriptionResult recognizePieces(const Audio& audio, const TranscriptionOptions& options, const StopCheck& stopCheck)
{
    const std::vector<SampleRange> pieces = splitAtSilences(audio.samples, kRate, options.split);
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t threadCount =
        std::min<std::size_t>(pieces.size(), options.maxThreads > 0 ? std::min(options.maxThreads, cores) : cores);

    std::vector<std::vector<TranscribedWord>> pieceWords(pieces.size());
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex errorLock;
    std::optional<TranscriptionError> firstError;
    auto fail = [&](TranscriptionError error) {
        std::lock_guard lock(errorLock);
        if (!firstError)
            firstError = std::move(error);
        failed = true;
    };
    // The custom words' pronunciations are found once for the whole pool.
    std::once_flag wordsFound;
    std::vector<SpeechRecognizer::CustomWord> customWords;
    auto work = [&] {
        std::string loadError;
        auto recognizer = SpeechRecognizer::create(options.model, loadError);
        if (!recognizer)
            return fail(makeError(TranscriptionErrorCode::ModelUnavailable, loadError));
        std::call_once(wordsFound, [&] { customWords = recognizer->newWords(options.customWords); });
        recognizer->addWords(customWords);
        for (std::size_t i = next++; i < pieces.size() && !failed; i = next++) {
            const SampleRange piece = pieces[i];
            auto words = recognizer->recognize(std::span(audio.samples).subspan(piece.begin, piece.size()),
                                               static_cast<std::int64_t>(piece.begin) * 1000 / kRate,
                                               [&] { return failed || stopCheck(); });
            if (!words) {
                if (failed)
                    return;
                auto stop = stopCheck();
                return fail(stop ? *stop
                                 : makeError(TranscriptionErrorCode::RecognitionFailed,
                                             "The speech recognizer could not process the uploaded audio."));
            }
            pieceWords[i] = std::move(*words);
        }
    };
    {
        std::vector<std::jthread> pool;
        for (std::size_t t = 0; t < threadCount; ++t)
            pool.emplace_back(work);
    }

    TranscriptionResult result;
    if (firstError) {
        result.error = std::move(firstError);
        return result;
    }
    result.durationMs = audio.durationMs;
    for (auto& words : pieceWords) {
        for (auto& word : words) {
            word.endMs = std::min(word.endMs, audio.durationMs);
            word.startMs = std::min(word.startMs, word.endMs);
            result.words.push_back(std::move(word));
        }
    }
    return result;
}

}  // namespace

std::chrono::milliseconds defaultTimeLimit(std::int64_t durationMs)
{
    // Capped at a day of media, so that no stated duration can overflow the deadline.
    constexpr std::int64_t kLongestCountedMs = 24 * 3600 * 1000;
    return std::chrono::minutes(10) + std::chrono::milliseconds(std::clamp<std::int64_t>(durationMs, 0, kLongestCountedMs));
}

TranscriptionResult transcribeFile(const std::string& path, const TranscriptionOptions& options)
{
    const TranscriptionOptions::Clock clock = options.clock ? options.clock : [] { return std::chrono::steady_clock::now(); };
    StopCheck stopCheck(options.stop, clock, clock());
    auto audio = readAudio(path, options, stopCheck);
    if (auto* error = std::get_if<TranscriptionError>(&audio)) {
        TranscriptionResult result;
        result.error = std::move(*error);
        return result;
    }
    if (options.admit) {
        if (auto refusal = options.admit(std::get<Audio>(audio).durationMs)) {
            TranscriptionResult result;
            result.error = std::move(refusal);
            return result;
        }
    }
    return recognizePieces(std::get<Audio>(audio), options, stopCheck);
}

std::optional<std::string> transcriberUnavailableReason(const SpeechModel& model)
{
    std::string error;
    const bool loads = SpeechRecognizer::check(model, error);
    // The model's parts are loaded only to see that they load: their tens of megabytes, freed in
    // many small pieces, would otherwise stay with the allocator for the life of the process.
    malloc_trim(0);
    if (loads)
        return std::nullopt;
    return error;
}

}  // namespace qv::transcriber
