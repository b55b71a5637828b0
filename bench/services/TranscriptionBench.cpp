// Transcribes ten minutes of speech (the tests' known text spoken by espeak-ng over and over,
// converted into the client's upload format) once on a single core and once on every core,
// and prints both real-time factors (transcription time / media duration; lower is faster)
// with the word error rate of each run against the spoken text. The processor time of each run
// is printed beside its wall time: on a machine that others share, the wall time of the
// all-core run says more about them than about us.
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
#include <sys/resource.h>
#include <thread>
#include <utility>

namespace {

using namespace qv::transcriber;

double processorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Run {
    double seconds = 0;
    double processorSeconds = 0;
    double wordErrorRate = 0;
    std::size_t words = 0;
};

Run transcribe(const std::string& path, const std::string& text, unsigned threads, double& mediaSeconds)
{
    TranscriptionOptions options;
    options.maxThreads = threads;
    const auto start = std::chrono::steady_clock::now();
    const double processorStart = processorSeconds();
    const TranscriptionResult result = transcribeFile(path, options);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double processor = processorSeconds() - processorStart;
    if (!result.ok()) {
        std::fprintf(stderr, "transcription failed: %s\n", result.error->reason.c_str());
        std::exit(1);
    }
    std::string heard;
    for (const auto& word : result.words)
        heard += word.text + " ";
    mediaSeconds = static_cast<double>(result.durationMs) / 1000;
    return {seconds, processor, test::wordErrorRate(test::plainWords(text), test::plainWords(heard)), result.words.size()};
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
    std::printf("%-8s %10s %18s %14s %6s\n", "threads", "time (s)", "real-time factor", "processor (s)", "WER");
    for (const auto& [threads, run] : {std::pair{1u, single}, std::pair{cores, all}})
        std::printf("%-8u %10.1f %18.3f %14.1f %6.2f\n", threads, run.seconds, run.seconds / mediaSeconds,
                    run.processorSeconds, run.wordErrorRate);
    std::printf("speed-up on %u cores: %.1fx\n", cores, single.seconds / all.seconds);
    return 0;
}
