// Times the waveform generation of long stereo 48 kHz WAV files against the decode floor,
// `ffmpeg -i in.wav -f s16le -y /dev/null`, measured on the same file in the same run, and
// measures the generation's peak memory in a child process.
//
//   waveform_bench [--minutes N]... [--runs R]
//
// Defaults: 10 and 60 minutes, best of 2 runs. Targets: at most 1.3 x the decode floor, and a
// peak resident size that does not grow with length (under 50 MB for an hour).

#include "BenchSupport.h"

#include "transcript-view/QVGenerateWaveform.h"

#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "platform/foundation/ManualDispatcher.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace qv::bench;

namespace {

// Generates the waveforms of every audio track of `source`; exits when there are none.
double generate(const fs::path& source)
{
    auto start = std::chrono::steady_clock::now();
    auto asset = qv::Asset::inspect(source.string());
    if (!asset) {
        std::fprintf(stderr, "%s\n", asset.error().description.c_str());
        std::exit(1);
    }
    auto file = std::make_shared<QVMediaFile>();
    file->asset = std::make_shared<qv::Asset>(asset.value());
    file->filePath = QString::fromStdString(source.string());
    for (const auto& track : asset->tracksWithMediaType(qv::MediaType::Audio)) {
        auto record = std::make_shared<QVAudioTrack>();
        record->assetTrack = track;
        for (int c = 0; c < track.audio->channelCount; ++c)
            record->audioChannels.push_back(std::make_shared<QVAudioChannel>());
        file->audioTracks.push_back(record);
    }
    qv::ManualDispatcher main;
    for (std::size_t t = 0; t < file->audioTracks.size(); ++t)
        QVGenerateWaveform({&main, nullptr, nullptr, {}, {}}, file, static_cast<std::int64_t>(t), false).main();
    main.drain();
    if (file->audioTracks.empty() || file->audioTracks[0]->audioChannels[0]->waveformSampleCount == 0) {
        std::fprintf(stderr, "no waveform was made\n");
        std::exit(1);
    }
    return secondsSince(start);
}

double decodeWithFfmpeg(const fs::path& source)
{
    auto start = std::chrono::steady_clock::now();
    run("ffmpeg -nostdin -v error -i '" + source.string() + "' -f s16le -y /dev/null");
    return secondsSince(start);
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<int> lengths;
    int runs = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        int value = std::atoi(argv[i + 1]);
        if (option == "--minutes")
            lengths.push_back(value);
        else if (option == "--runs")
            runs = value;
    }
    if (lengths.empty())
        lengths = {10, 60};

    fs::path folder = fs::temp_directory_path() / ("qv-waveform-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    for (int minutes : lengths) {
        fs::path source = folder / "source.wav";
        makeSource(source, minutes);
        double ours = 1e9, floor = 1e9;
        for (int i = 0; i < runs; ++i) {
            floor = std::min(floor, decodeWithFfmpeg(source));
            ours = std::min(ours, generate(source));
        }
        double peak = peakMemoryOfChild([&] { generate(source); });
        std::printf("%d-minute stereo 48 kHz WAV, best of %d:\n", minutes, runs);
        std::printf("  waveform      %7.2f s\n  decode floor  %7.2f s (ffmpeg -f s16le /dev/null)\n", ours, floor);
        std::printf("  ratio         %7.3f (target <= 1.3)\n  peak memory   %7.1f MB (target < 50 MB for 60 minutes)\n",
                    ours / floor, peak);
        std::fflush(stdout);
        fs::remove(source);
    }
    fs::remove_all(folder);
    return 0;
}
