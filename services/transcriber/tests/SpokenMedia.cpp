#include "SpokenMedia.h"

#include "platform/foundation/Md5.h"
#include "platform/media/Asset.h"
#include "platform/media/UploadEncoder.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace qv::transcriber::test {

namespace fs = std::filesystem;

namespace {

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs `makeSource` (a shell command writing a WAV file to $1), converts the result into the
// upload format and caches it under `name` and a digest of the command.
std::string cachedUpload(const std::string& name, const std::string& makeSource)
{
    const fs::path folder(QV_TEST_MEDIA_DIR);
    const std::string key = md5Hex(QByteArray::fromStdString(makeSource)).left(12).toStdString();
    const fs::path target = folder / (name + "-" + key + ".m4a");
    if (fs::exists(target))
        return target.string();
    fs::create_directories(folder);
    const std::string suffix = "." + std::to_string(getpid());
    const fs::path wav = folder / (name + suffix + ".wav");
    const fs::path partial = folder / (name + suffix + ".m4a");
    const std::string command = "sh -c " + quoted(makeSource) + " make " + quoted(wav.string());
    if (std::system(command.c_str()) != 0 || !fs::exists(wav))
        throw std::runtime_error("could not make " + name + ": " + command);
    auto asset = Asset::inspect(wav.string());
    if (!asset)
        throw std::runtime_error(asset.error().description);
    AudioMixInputParameters input;
    input.trackID = asset->tracksWithMediaType(MediaType::Audio).at(0).trackID;
    if (auto error = UploadEncoder(asset.value(), AudioMix{{input}}, partial.string()).run())
        throw std::runtime_error(error->description + " " + error->failureReason);
    fs::remove(wav);
    // Renamed into place whole, so parallel test processes never see half a file.
    fs::rename(partial, target);
    return target.string();
}

}  // namespace

const std::string& spokenText()
{
    static const std::string text =
        "The weather was calm on the morning we left the harbor. We loaded the boat with water, bread and fruit, "
        "and the children carried the blankets down to the dock. My father checked the engine twice before we "
        "started. The sea was quiet and the sky was clear. After an hour we could see the island in the distance.";
    return text;
}

const std::string& openingSentences()
{
    static const std::string text = spokenText().substr(0, spokenText().find(" My father"));
    return text;
}

const std::string& testedText()
{
#ifdef __SANITIZE_ADDRESS__
    return openingSentences();
#else
    return spokenText();
#endif
}

std::string spokenUpload(const std::string& text)
{
    // The Klatt voice at 140 words a minute with short gaps between words is the one the
    // recognizer follows best of those measured.
    return cachedUpload("speech", "espeak-ng -v en-us+klatt2 -s 140 -g 5 -w \"$1\" " + quoted(text));
}

std::string recordedUpload(const std::string& wav)
{
    return cachedUpload(std::filesystem::path(wav).stem().string(), "cp " + quoted(wav) + " \"$1\"");
}

std::string silentUpload(double seconds)
{
    return cachedUpload("silence", "ffmpeg -nostdin -v error -y -f lavfi -i anullsrc=r=16000:cl=mono -t "
                                       + std::to_string(seconds) + " -c:a pcm_s16le \"$1\"");
}

std::vector<std::string> plainWords(const std::string& text)
{
    std::vector<std::string> words;
    std::string current;
    for (char c : text + " ") {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '\'') {
            current += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (!current.empty()) {
            words.push_back(std::move(current));
            current.clear();
        }
    }
    return words;
}

double wordErrorRate(const std::vector<std::string>& reference, const std::vector<std::string>& hypothesis)
{
    if (reference.empty())
        return hypothesis.empty() ? 0 : 1;
    std::vector<std::size_t> row(hypothesis.size() + 1);
    for (std::size_t j = 0; j < row.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= reference.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= hypothesis.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (reference[i - 1] != hypothesis[j - 1])});
            diagonal = above;
        }
    }
    return static_cast<double>(row.back()) / static_cast<double>(reference.size());
}

}  // namespace qv::transcriber::test
