#include "Pronunciation.h"

#include <espeak-ng/speak_lib.h>

#include <mutex>
#include <utility>

namespace qv::transcriber {

namespace {

// IPA as espeak-ng writes it for US English, longest symbols first; each maps to one or two
// phones. A flap and a glottal stop are heard as T, as the dictionary spells "butter", "button".
constexpr std::pair<std::string_view, std::string_view> kIpaPhones[] = {
    {"aɪ", "AY"}, {"aʊ", "AW"}, {"eɪ", "EY"}, {"oʊ", "OW"}, {"əʊ", "OW"}, {"ɔɪ", "OY"}, {"tʃ", "CH"}, {"dʒ", "JH"},
    {"n̩", "AH N"}, {"l̩", "AH L"}, {"m̩", "AH M"}, {"ɜː", "ER"}, {"ɑː", "AA"}, {"ɔː", "AO"}, {"oː", "AO"},
    {"iː", "IY"}, {"uː", "UW"}, {"ɝ", "ER"}, {"ɚ", "ER"}, {"ɜ", "ER"}, {"ɑ", "AA"}, {"ɒ", "AA"}, {"ɔ", "AO"},
    {"o", "OW"}, {"æ", "AE"}, {"a", "AE"}, {"ʌ", "AH"}, {"ə", "AH"}, {"ɐ", "AH"}, {"ɛ", "EH"}, {"e", "EH"},
    {"ɪ", "IH"}, {"ᵻ", "IH"}, {"i", "IY"}, {"ʊ", "UH"}, {"u", "UW"}, {"ð", "DH"}, {"θ", "TH"}, {"ʃ", "SH"},
    {"ʒ", "ZH"}, {"ŋ", "NG"}, {"ɹ", "R"}, {"r", "R"}, {"ɡ", "G"}, {"g", "G"}, {"h", "HH"}, {"j", "Y"},
    {"ɾ", "T"}, {"ʔ", "T"}, {"x", "K"}, {"ɬ", "L"}, {"ɫ", "L"},
};
// Letters that are phones of the same name.
constexpr std::string_view kSameLetters = "bdfklmnpstvwz";

std::mutex phonemiserMutex;

bool loadPhonemiser()
{
    static const bool loaded = [] {
        if (espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT) < 0)
            return false;
        return espeak_SetVoiceByName("en-us") == EE_OK;
    }();
    return loaded;
}

}  // namespace

std::string phonesFromIpa(std::string_view ipa)
{
    std::string phones;
    auto add = [&phones](std::string_view phone) {
        if (!phones.empty())
            phones += ' ';
        phones += phone;
    };
    std::size_t at = 0;
    while (at < ipa.size()) {
        bool matched = false;
        for (const auto& [symbol, phone] : kIpaPhones)
            if (ipa.substr(at, symbol.size()) == symbol) {
                add(phone);
                at += symbol.size();
                matched = true;
                break;
            }
        if (matched)
            continue;
        const char c = ipa[at];
        if (kSameLetters.find(c) != std::string_view::npos) {
            add(std::string(1, char(c - 'a' + 'A')));
            ++at;
            continue;
        }
        // Anything else (stress, length, blanks, symbols without a counterpart) is passed over,
        // a whole UTF-8 sequence at a time.
        ++at;
        while (at < ipa.size() && (static_cast<unsigned char>(ipa[at]) & 0xC0) == 0x80)
            ++at;
    }
    return phones;
}

std::optional<std::string> pronunciationOf(const std::string& word)
{
    std::lock_guard lock(phonemiserMutex);
    if (!loadPhonemiser())
        return std::nullopt;
    std::string ipa;
    const void* text = word.c_str();
    // The phonemiser gives a clause at a time, and moves `text` past it; nothing is left at the end.
    while (text)
        if (const char* clause = espeak_TextToPhonemes(&text, espeakCHARS_UTF8, espeakPHONEMES_IPA))
            ipa += std::string(clause) + ' ';
        else
            break;
    std::string phones = phonesFromIpa(ipa);
    if (phones.empty())
        return std::nullopt;
    return phones;
}

}  // namespace qv::transcriber
