// Measures how long inspecting a long, whole file takes, as adding it to the pending list does:
// the check that its audio gets to the end it states reads only its last moments, so a 2-hour
// file is listed about as fast as the ffprobe command opens it. Beside each, a copy cut to half
// its bytes, which is read through to find where its sound ends, and the ffprobe command's time
// to open the whole file, the floor. Each is the median of five runs.
//
//   inspect_bench [--minutes M] [--folder F]
//
// Defaults: 120-minute mono 44.1 kHz files (MP3 at 128 kbit/s, FLAC, AAC .m4a, WAV); the media
// are made in a temporary folder, or kept in F for the next run. Target: a whole file at most
// 0.25 s more than the ffprobe command.

#include "BenchSupport.h"

#include "platform/media/Asset.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace qv::bench;

namespace {

constexpr int kRuns = 5;
constexpr double kTargetSeconds = 0.25;

template <class Work>
double medianSeconds(Work work)
{
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(secondsSince(start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double inspectSeconds(const fs::path& path, bool expectTruncated)
{
    return medianSeconds([&] {
        auto asset = qv::Asset::inspect(path.string());
        if (!asset || asset->isTruncated() != expectTruncated) {
            std::fprintf(stderr, "%s: not inspected as %s\n", path.c_str(), expectTruncated ? "truncated" : "whole");
            std::exit(1);
        }
    });
}

}  // namespace

int main(int argc, char** argv)
{
    int minutes = 120;
    std::string kept;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--minutes")
            minutes = std::atoi(argv[i + 1]);
        else if (option == "--folder")
            kept = argv[i + 1];
    }
    fs::path folder = kept.empty() ? fs::temp_directory_path() / ("qv-inspect-bench-" + std::to_string(getpid())) : fs::path(kept);
    fs::create_directories(folder);
    const std::string source = "-f lavfi -i 'sine=f=440:r=44100:d=" + std::to_string(minutes * 60) + "'";
    const std::pair<const char*, const char*> kinds[] = {
        {"mp3", "-c:a libmp3lame -b:a 128k"},
        {"flac", "-c:a flac"},
        {"m4a", "-c:a aac -b:a 64k -movflags +faststart"},
        {"wav", "-c:a pcm_s16le"},
    };
    bool met = true;
    std::printf("%-6s %10s %10s %10s\n", "kind", "whole s", "ffprobe s", "cut s");
    for (const auto& [extension, codec] : kinds) {
        fs::path whole = folder / ("long-" + std::to_string(minutes) + "." + extension);
        if (!fs::exists(whole))
            run("ffmpeg -nostdin -v error -y " + source + " " + codec + " '" + whole.string() + "'");
        fs::path cut = folder / ("cut-" + std::to_string(minutes) + "." + extension);
        fs::copy_file(whole, cut, fs::copy_options::overwrite_existing);
        fs::resize_file(cut, fs::file_size(whole) / 2);

        double inspected = inspectSeconds(whole, false);
        double floor = medianSeconds([&] { run("ffprobe -v quiet '" + whole.string() + "'"); });
        double cutInspected = inspectSeconds(cut, true);
        std::printf("%-6s %10.3f %10.3f %10.3f\n", extension, inspected, floor, cutInspected);
        met = met && inspected <= floor + kTargetSeconds;
    }
    std::printf("whole files within %.2f s of the ffprobe command: %s\n", kTargetSeconds, met ? "yes" : "NO");
    if (kept.empty())
        fs::remove_all(folder);
    return met ? 0 : 1;
}
