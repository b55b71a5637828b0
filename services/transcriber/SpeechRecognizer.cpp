#include "SpeechRecognizer.h"

#include "Pronunciation.h"

#include <pocketsphinx.h>
#include <pocketsphinx/ps_search.h>
#include <sphinxbase/ckd_alloc.h>
#include <sphinxbase/err.h>
#include <sphinxbase/logmath.h>
#include <sphinxbase/ngram_model.h>

#include <cctype>
#include <filesystem>
#include <mutex>
#include <set>
#include <sstream>

namespace qv::transcriber {

namespace {

constexpr std::int64_t kMillisecondsPerFrame = 10;  // the model's 100 frames a second
// Adding a word gives it the unigram probability 1 / (words of the model) times this weight.
// At weight 1 a custom word is far less likely than any word the model knows and is never
// heard; from about 300 a name said twice in a short recording was heard; at 1000 it is, and no
// custom word showed up in recordings that do not say it.
constexpr float kCustomWordWeight = 1000;
// The search the decoder makes from the language model it is given.
constexpr char kDefaultSearch[] = "_default";

// Whether the dictionary holds `word`; the answer's phones are the caller's to free.
bool knows(ps_decoder_t* decoder, const std::string& word)
{
    char* phones = ps_lookup_word(decoder, word.c_str());
    const bool known = phones != nullptr;
    ckd_free(phones);
    return known;
}

// The decoder library writes its progress to stderr unless told once, for the whole process,
// to keep quiet.
void silenceDecoderLog()
{
    static std::once_flag once;
    std::call_once(once, [] { err_set_logfp(nullptr); });
}

}  // namespace

struct SpeechRecognizer::Impl {
    cmd_ln_t* config = nullptr;
    ps_decoder_t* decoder = nullptr;

    ~Impl()
    {
        if (decoder)
            ps_free(decoder);
        if (config)
            cmd_ln_free_r(config);
    }
};

namespace {

// False with `error` set when a file of `model` is missing.
bool filesPresent(const SpeechModel& model, std::string& error)
{
    for (const std::string* path : {&model.acousticModel, &model.languageModel, &model.dictionary}) {
        if (!std::filesystem::exists(*path)) {
            error = "The speech model file " + *path + " is missing.";
            return false;
        }
    }
    return true;
}

std::string unloadable(const SpeechModel& model) { return "The speech model in " + model.acousticModel + " could not be loaded."; }

}  // namespace

std::unique_ptr<SpeechRecognizer> SpeechRecognizer::create(const SpeechModel& model, std::string& error)
{
    silenceDecoderLog();
    if (!filesPresent(model, error))
        return nullptr;
    auto impl = std::make_unique<Impl>();
    // At most 10,000 active models a frame (the decoder's default is 30,000): as accurate as the
    // defaults on recordings of people reading, and faster. A cap of 3,000 models, with at most
    // 10 words ending a frame, lost words on those recordings that synthetic speech did not show.
    impl->config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", model.acousticModel.c_str(), "-lm",
                               model.languageModel.c_str(), "-dict", model.dictionary.c_str(), "-maxhmmpf", "10000",
                               nullptr);
    if (impl->config)
        impl->decoder = ps_init(impl->config);
    if (!impl->decoder) {
        error = unloadable(model);
        return nullptr;
    }
    return std::unique_ptr<SpeechRecognizer>(new SpeechRecognizer(std::move(impl)));
}

bool SpeechRecognizer::check(const SpeechModel& model, std::string& error)
{
    silenceDecoderLog();
    if (!filesPresent(model, error))
        return false;
    {
        // Without a language model the decoder loads the acoustic model and the dictionary only.
        Impl parts;
        parts.config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", model.acousticModel.c_str(), "-dict",
                                   model.dictionary.c_str(), nullptr);
        if (parts.config)
            parts.decoder = ps_init(parts.config);
        if (!parts.decoder) {
            error = unloadable(model);
            return false;
        }
    }
    cmd_ln_t* config = cmd_ln_init(nullptr, ps_args(), TRUE, nullptr);
    logmath_t* logmath = config ? logmath_init(cmd_ln_float_r(config, "-logbase"), 0, FALSE) : nullptr;
    ngram_model_t* languageModel = logmath ? ngram_model_read(config, model.languageModel.c_str(), NGRAM_AUTO, logmath) : nullptr;
    const bool loads = languageModel != nullptr;
    if (languageModel)
        ngram_model_free(languageModel);
    if (logmath)
        logmath_free(logmath);
    if (config)
        cmd_ln_free_r(config);
    if (!loads)
        error = "The language model " + model.languageModel + " could not be loaded.";
    return loads;
}

SpeechRecognizer::SpeechRecognizer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

SpeechRecognizer::~SpeechRecognizer() = default;

std::vector<SpeechRecognizer::CustomWord> SpeechRecognizer::newWords(const std::vector<std::string>& customWords) const
{
    std::vector<CustomWord> found;
    std::set<std::string> seen;
    for (const std::string& entry : customWords) {
        std::istringstream words(entry);
        for (std::string word; words >> word;) {
            while (!word.empty() && std::ispunct(static_cast<unsigned char>(word.back())))
                word.pop_back();
            while (!word.empty() && std::ispunct(static_cast<unsigned char>(word.front())))
                word.erase(0, 1);
            std::string lower = word;
            for (char& c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (word.empty() || !seen.insert(word).second || knows(impl_->decoder, word) || knows(impl_->decoder, lower))
                continue;
            if (std::optional<std::string> phones = pronunciationOf(word))
                found.push_back({word, std::move(*phones)});
        }
    }
    return found;
}

std::vector<std::string> SpeechRecognizer::addWords(const std::vector<CustomWord>& words)
{
    std::vector<std::string> added;
    ngram_model_t* lm = ps_get_lm(impl_->decoder, kDefaultSearch);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const CustomWord& word = words[i];
        // Weighted first: adding the word to the decoder then keeps the model's entry.
        if (lm)
            ngram_model_add_word(lm, word.word.c_str(), kCustomWordWeight);
        // The search is rebuilt once, with the last word: a rebuild takes a fifth of a second.
        const bool last = i + 1 == words.size();
        if (ps_add_word(impl_->decoder, word.word.c_str(), word.phones.c_str(), last ? TRUE : FALSE) >= 0)
            added.push_back(word.word);
    }
    return added;
}

std::vector<std::string> SpeechRecognizer::addCustomWords(const std::vector<std::string>& customWords)
{
    return addWords(newWords(customWords));
}

std::optional<std::vector<TranscribedWord>> SpeechRecognizer::recognize(std::span<const std::int16_t> samples,
                                                                        std::int64_t offsetMs,
                                                                        const std::function<bool()>& shouldStop)
{
    ps_decoder_t* decoder = impl_->decoder;
    // A new stream starts the frame count, which the word times are read from, at 0 again.
    if (ps_start_stream(decoder) < 0 || ps_start_utt(decoder) < 0)
        return std::nullopt;
    // Whole, so that the cepstral mean is taken over this utterance alone: the words of a piece
    // then do not depend on which pieces the same decoder recognised before it.
    if ((shouldStop && shouldStop()) || ps_process_raw(decoder, samples.data(), samples.size(), FALSE, TRUE) < 0) {
        ps_end_utt(decoder);
        return std::nullopt;
    }
    if (ps_end_utt(decoder) < 0)
        return std::nullopt;

    std::vector<TranscribedWord> words;
    for (ps_seg_t* segment = ps_seg_iter(decoder); segment; segment = ps_seg_next(segment)) {
        std::string text = displayedWord(ps_seg_word(segment));
        if (text.empty())
            continue;
        int startFrame = 0, endFrame = 0;
        ps_seg_frames(segment, &startFrame, &endFrame);
        words.push_back({std::move(text), offsetMs + startFrame * kMillisecondsPerFrame,
                         offsetMs + (endFrame + 1) * kMillisecondsPerFrame});
    }
    return words;
}

std::string displayedWord(const std::string& recognized)
{
    if (recognized.empty() || recognized.front() == '<' || recognized.front() == '[' || recognized.starts_with("++"))
        return {};
    const auto variant = recognized.find('(');
    return variant == std::string::npos ? recognized : recognized.substr(0, variant);
}

}  // namespace qv::transcriber
