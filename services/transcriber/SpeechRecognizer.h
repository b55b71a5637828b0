// Recognises English speech in 16 kHz mono 16-bit samples with the installed PocketSphinx
// model. One recognizer holds one decoder and is used by one thread at a time; a pool makes one
// per worker. Loading the model takes a fraction of a second and some tens of megabytes.
#pragma once

#include "TranscribedWord.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qv::transcriber {

// The files of the acoustic model, the language model and the pronunciation dictionary.
struct SpeechModel {
    std::string acousticModel = "/usr/share/pocketsphinx/model/en-us/en-us";
    std::string languageModel = "/usr/share/pocketsphinx/model/en-us/en-us.lm.bin";
    std::string dictionary = "/usr/share/pocketsphinx/model/en-us/cmudict-en-us.dict";
};

class SpeechRecognizer {
public:
    static constexpr int kSampleRate = 16000;  // Hz, what the model was trained on

    // Loads the model; on failure nothing, and `error` says which file could not be used.
    static std::unique_ptr<SpeechRecognizer> create(const SpeechModel& model, std::string& error);
    // Whether the model loads, without keeping it: the acoustic model with the dictionary, then
    // the language model alone, so that at most the larger part (about 35 MB) is held at once
    // rather than the whole decoder (about 90 MB). On failure `error` says which file failed.
    static bool check(const SpeechModel& model, std::string& error);

    ~SpeechRecognizer();
    SpeechRecognizer(const SpeechRecognizer&) = delete;
    SpeechRecognizer& operator=(const SpeechRecognizer&) = delete;

    // A word the dictionary lacks, with its pronunciation in the model's phones.
    struct CustomWord {
        std::string word;
        std::string phones;
    };
    // The words of `customWords` (entries of one or more words) that the dictionary does not
    // hold, once each, with their pronunciations (Pronunciation.h); words without one are left
    // out. Punctuation around a word is not part of it. The same for every recognizer of a model,
    // so recognizers that share a job need ask only one of them.
    std::vector<CustomWord> newWords(const std::vector<std::string>& customWords) const;
    // Teaches the recognizer `words` so that they can be heard, rebuilding its search once;
    // returns the words added.
    std::vector<std::string> addWords(const std::vector<CustomWord>& words);
    // Both of the above.
    std::vector<std::string> addCustomWords(const std::vector<std::string>& customWords);

    // The words of one utterance, with times counted from `offsetMs`. The utterance is decoded
    // in one go (keep it to tens of seconds); `shouldStop` is asked first, and when it answers
    // true nothing is decoded and nothing comes back. Nothing also when the decoder fails.
    std::optional<std::vector<TranscribedWord>> recognize(std::span<const std::int16_t> samples, std::int64_t offsetMs,
                                                          const std::function<bool()>& shouldStop);

private:
    struct Impl;
    explicit SpeechRecognizer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// The recognizer's spelling of a word made fit to show: "read(2)" (an alternative
// pronunciation) becomes "read"; fillers and markers ("<sil>", "<s>", "[NOISE]", "++UM++") give
// an empty text.
std::string displayedWord(const std::string& recognized);

}  // namespace qv::transcriber
