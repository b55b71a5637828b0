// Pronunciations for words the recognizer's dictionary does not hold: espeak-ng's US English
// phonemiser gives the IPA, which is mapped onto the recognizer's phone set (39 phones, no
// stress). Safe to call from any thread: the phonemiser is shared and used under a lock.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qv::transcriber {

// The recognizer's phones for the IPA of a word, separated by blanks, e.g. "W AO T ER" for
// "wˈɔːɾɚ". Stress and length marks are dropped, and so are symbols without a counterpart.
std::string phonesFromIpa(std::string_view ipa);

// The phones of `word` as espeak-ng says it; nothing when the phonemiser cannot be loaded or
// gives no phone.
std::optional<std::string> pronunciationOf(const std::string& word);

}  // namespace qv::transcriber
