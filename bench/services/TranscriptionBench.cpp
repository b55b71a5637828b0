// Transcribes ten minutes of speech (the tests' known text spoken by espeak-ng over and over,
// converted into the client's upload format) once on a single core and once on every core,
// and prints both real-time factors (transcription time / media duration; lower is faster)
// with the word error rate of each run against the spoken text.
//
//   transcription_bench [--minutes N]
//
// Defaults: 10 minutes. Run it from a Release build.

#include "SpokenMedia.h"

#include "services/transcriber/Transcriber.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

using namespace qv::transcriber;

struct Run {
    double seconds = 0;
    double wordErrorRate = 0;
    std::size_t words = 0;
};

Run transcribe(const std::string& path, const std::string& text, unsigned threads, double& mediaSeconds)
{
    TranscriptionOptions options;
    options.maxThreads = threads;
    const auto start = std::chrono::steady_clock::now();
    const TranscriptionResult result = transcribeFile(path, options);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!result.ok()) {
        std::fprintf(stderr, "transcription failed: %s\n", result.error->reason.c_str());
        std::exit(1);
    }
    std::string heard;
    for (const auto& word : result.words)
        heard += word.text + " ";
    mediaSeconds = static_cast<double>(result.durationMs) / 1000;
    return {seconds, test::wordErrorRate(test::plainWords(text), test::plainWords(heard)), result.words.size()};
}

}  // namespace

int main(int argc, char** argv)
{
    int minutes = 10;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::strcmp(argv[i], "--minutes") == 0)
            minutes = std::max(1, std::atoi(argv[i + 1]));

    // The known text lasts about 25 s: repeat it until the speech fills the minutes asked for.
    std::string text;
    for (int i = 0; i < minutes * 60 / 25; ++i)
        text += test::spokenText() + " ";
    std::printf("making %d minutes of speech...\n", minutes);
    const std::string path = test::spokenUpload(text);

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    double mediaSeconds = 0;
    const Run single = transcribe(path, text, 1, mediaSeconds);
    const Run all = transcribe(path, text, cores, mediaSeconds);

    std::printf("media: %.1f s of speech, %zu words heard\n", mediaSeconds, all.words);
    std::printf("%-14s %10s %16s %10s\n", "threads", "time (s)", "real-time factor", "WER");
    std::printf("%-14u %10.1f %16.3f %10.2f\n", 1u, single.seconds, single.seconds / mediaSeconds, single.wordErrorRate);
    std::printf("%-14u %10.1f %16.3f %10.2f\n", cores, all.seconds, all.seconds / mediaSeconds, all.wordErrorRate);
    std::printf("speed-up on %u cores: %.1fx\n", cores, single.seconds / all.seconds);
    return 0;
}
