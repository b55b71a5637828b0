// Times the upload conversion (stereo 48 kHz WAV to mono AAC 32 kHz 64 kbit/s M4A) against
// `ffmpeg -ac 1 -ar 32000 -c:a aac -b:a 64k` on the same file in the same run, and measures the
// conversion's peak memory on a long source in a child process.
//
//   upload_bench [--minutes N] [--memory-minutes M] [--runs R]
//
// Defaults: a 10-minute source for the timing (target: our time at most 1.1 x ffmpeg's), a
// 60-minute source for the memory (target: peak resident size under 100 MB), best of 2 runs.

#include "BenchSupport.h"

#include "platform/media/UploadEncoder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qv::bench;

namespace {

// Every channel of every audio track at equal gain.
qv::AudioMix equalMix(const qv::Asset& asset)
{
    qv::AudioMix mix;
    for (const auto& track : asset.tracksWithMediaType(qv::MediaType::Audio)) {
        int channels = track.audio->channelCount;
        mix.inputParameters.push_back({track.trackID, std::vector<float>(channels, 1.0f / channels), 1.0f, 1.0f});
    }
    return mix;
}

double convertWithUs(const fs::path& source, const fs::path& output)
{
    auto start = std::chrono::steady_clock::now();
    auto asset = qv::Asset::inspect(source.string());
    if (!asset) {
        std::fprintf(stderr, "%s\n", asset.error().description.c_str());
        std::exit(1);
    }
    if (auto error = qv::UploadEncoder(asset.value(), equalMix(asset.value()), output.string()).run()) {
        std::fprintf(stderr, "%s %s\n", error->description.c_str(), error->failureReason.c_str());
        std::exit(1);
    }
    return secondsSince(start);
}

double convertWithFfmpeg(const fs::path& source, const fs::path& output)
{
    auto start = std::chrono::steady_clock::now();
    run("ffmpeg -nostdin -v error -y -i '" + source.string() + "' -ac 1 -ar 32000 -c:a aac -b:a 64k '"
        + output.string() + "'");
    return secondsSince(start);
}

}  // namespace

int main(int argc, char** argv)
{
    int minutes = 10;
    int memoryMinutes = 60;
    int runs = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        int value = std::atoi(argv[i + 1]);
        if (option == "--minutes")
            minutes = value;
        else if (option == "--memory-minutes")
            memoryMinutes = value;
        else if (option == "--runs")
            runs = value;
    }

    fs::path folder = fs::temp_directory_path() / ("qv-upload-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);

    fs::path source = folder / "source.wav";
    makeSource(source, minutes);
    double ours = 1e9, theirs = 1e9;
    for (int i = 0; i < runs; ++i) {
        ours = std::min(ours, convertWithUs(source, folder / "ours.m4a"));
        theirs = std::min(theirs, convertWithFfmpeg(source, folder / "ffmpeg.m4a"));
    }
    std::printf("%d-minute stereo 48 kHz WAV to mono AAC M4A, best of %d:\n", minutes, runs);
    std::printf("  ours    %7.2f s\n  ffmpeg  %7.2f s\n  ratio   %7.3f (target <= 1.1)\n", ours, theirs, ours / theirs);

    fs::remove(source);
    fs::path longSource = folder / "long.wav";
    makeSource(longSource, memoryMinutes);
    double peak = peakMemoryOfChild([&] { convertWithUs(longSource, folder / "long.m4a"); });
    std::printf("%d-minute source: peak resident memory %.1f MB (target < 100 MB)\n", memoryMinutes, peak);

    fs::remove_all(folder);
    return 0;
}
