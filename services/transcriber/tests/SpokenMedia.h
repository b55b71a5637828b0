// Speech for the tests, made at test time: a known English text spoken by espeak-ng and
// converted into the upload the client sends (mono AAC in M4A, through the media layer's
// upload encoder). Files are kept in the build folder under a digest of how they were made,
// so the test processes of one build share them. Also built into the transcription benchmark.
#pragma once

#include <string>
#include <vector>

namespace qv::transcriber::test {

// The known text: 62 words, about 25 seconds spoken.
const std::string& spokenText();

// Word error rate the recognizer must stay under on the spoken text. Measured 0.49 on the whole
// text and 0.53 on the first sentences the sanitizer build speaks, with this voice and model
// (a synthetic voice is harder for it than a person is); a transcript of the wrong audio, or
// with its pieces lost or out of order, is far above the bar.
inline constexpr double kMaxWordErrorRate = 0.65;

// The first two sentences of the known text: 29 words, about 10 seconds spoken.
const std::string& openingSentences();

// The text the recognition tests speak: the known text, or under the address sanitizer, which
// slows the recognizer's many small allocations several times over, its first sentences.
const std::string& testedText();

// The upload of `text` spoken by espeak-ng, as the client would send it.
std::string spokenUpload(const std::string& text);

// The upload of a recording (a WAV file), as the client would send it.
std::string recordedUpload(const std::string& wav);

// The upload of `seconds` of digital silence.
std::string silentUpload(double seconds);

// Lower-case words of a text, apostrophes kept, other punctuation dropped.
std::vector<std::string> plainWords(const std::string& text);

// Word error rate of `hypothesis` against `reference`: (substitutions + deletions +
// insertions) / reference words, by edit distance.
double wordErrorRate(const std::vector<std::string>& reference, const std::vector<std::string>& hypothesis);

}  // namespace qv::transcriber::test
