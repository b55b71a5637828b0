// Measures the player: 100 exact seeks to random points of a 1-hour AAC .m4a and of an H.264
// MOV with 250-frame groups (time from the seek to its completion: sound and picture ready),
// beside what FFmpeg's own tool takes to decode the MOV; 100 seeks through the MOV that each
// land a little after the one before; and the processor time that playing the .m4a's audio
// takes at 1 x and at 2 x (tempo filter), with the silent output on a clock that follows real
// time.
//
//   player_bench [--seeks N] [--play-seconds S] [--video-minutes M] [--size WxH] [--folder F]
//
// Defaults: 100 seeks, 10 s of playing per rate, a 10-minute 1280x720 MOV; the media are made
// in a temporary folder, or kept in F for the next run. Targets: seeks median
// <= 30 ms and worst <= 150 ms; playing at most 3 % of one core at 1 x and 8 % at 2 x.

#include "BenchSupport.h"

#include "platform/foundation/ManualDispatcher.h"
#include "platform/media/Player.h"
#include "platform/media/SilentAudioOutput.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace qv::bench;

namespace {

struct Rig {
    qv::ManualDispatcher main;
    qv::Player player{main, std::make_unique<qv::SilentAudioOutput>(main)};

    explicit Rig(const fs::path& path) { openInPlayer(main, player, path); }
};

// What it takes FFmpeg's own tool to decode the pictures of `video`, the floor under an exact
// seek that must decode from a group's key picture: per picture of the file, and per group
// when only the pictures that others refer to are decoded (an exact seek needs no other before
// the one it lands on). Decoding threads as our decoder takes them: a core each and one more.
struct DecodeFloor {
    int threads = 0;
    double msPerPicture = 0;
    double msPerGroupOfReferences = 0;
};

DecodeFloor decodeFloor(const fs::path& video, int pictures, int groupSize)
{
    DecodeFloor floor;
    floor.threads = static_cast<int>(std::min(std::thread::hardware_concurrency() + 1, 16u));
    auto decode = [&](const std::string& options) {
        auto start = std::chrono::steady_clock::now();
        run("ffmpeg -nostdin -v error -threads " + std::to_string(floor.threads) + options + " -i '" + video.string()
            + "' -an -f null -");
        return secondsSince(start) * 1000;
    };
    floor.msPerPicture = decode("") / pictures;
    floor.msPerGroupOfReferences = decode(" -skip_frame noref") / (static_cast<double>(pictures) / groupSize);
    return floor;
}

// Times `count` exact seeks in `path`, each from the seek before it to `nextTarget(previous,
// duration, random)`, and prints the median and the worst.
template <typename NextTarget>
void seeks(const std::string& what, const fs::path& path, int count, NextTarget nextTarget)
{
    Rig rig(path);
    double duration = rig.player.currentItem()->duration().seconds();
    std::mt19937 random(20261209);
    std::vector<double> times;
    double previous = 0;
    for (int i = 0; i < count; ++i) {
        std::optional<bool> finished;
        previous = nextTarget(previous, duration, random);
        auto target = qv::MediaTime(std::llround(previous * 1000), 1000);
        auto start = std::chrono::steady_clock::now();
        rig.player.seek(target, qv::MediaTime::zero(), qv::MediaTime::zero(), [&](bool done) { finished = done; });
        if (!rig.main.runUntil([&] { return finished.has_value(); }) || !*finished) {
            std::fprintf(stderr, "a seek in %s did not finish\n", path.c_str());
            std::exit(1);
        }
        times.push_back(secondsSince(start) * 1000);
    }
    std::sort(times.begin(), times.end());
    std::printf("%d exact seeks %s: median %.1f ms (target <= 30), worst %.1f ms (target <= 150)\n", count,
                what.c_str(), times[times.size() / 2], times.back());
    std::fflush(stdout);
}

// Anywhere in the item.
double anywhere(double, double duration, std::mt19937& random)
{
    return std::uniform_real_distribution<double>(0.0, duration)(random);
}

// A little later than the last, as a reader going down a transcript clicks the next words.
double readingOn(double previous, double duration, std::mt19937& random)
{
    double next = previous + std::uniform_real_distribution<double>(0.2, 2.0)(random);
    return next < duration ? next : 0.0;
}

double processorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
         + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void playing(const fs::path& path, double rate, double seconds, double target)
{
    Rig rig(path);
    rig.player.setRate(rate);
    rig.main.advance(0.0);
    double cpuStart = processorSeconds();
    auto start = std::chrono::steady_clock::now();
    // The fake clock follows real time in 20 ms steps, as an audio device would pull.
    while (secondsSince(start) < seconds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        rig.main.advance(0.02);
    }
    double share = (processorSeconds() - cpuStart) / secondsSince(start) * 100;
    std::printf("playing the m4a's audio at %.1f x: %.2f %% of one core (target <= %.0f %%), at %.1f s of media\n",
                rate, share, target, rig.player.currentTime().seconds());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    int count = 100;
    double playSeconds = 10;
    int videoMinutes = 10;
    std::string size = "1280x720";
    fs::path kept;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        double value = std::atof(argv[i + 1]);
        if (option == "--size")
            size = argv[i + 1];
        else if (option == "--folder")
            kept = argv[i + 1];
        if (option == "--seeks")
            count = static_cast<int>(value);
        else if (option == "--play-seconds")
            playSeconds = value;
        else if (option == "--video-minutes")
            videoMinutes = static_cast<int>(value);
    }
    fs::path folder = kept.empty() ? fs::temp_directory_path() / ("qv-player-bench-" + std::to_string(getpid())) : kept;
    fs::create_directories(folder);
    fs::path audio = folder / "hour.m4a";
    if (!fs::exists(audio))
        run("ffmpeg -nostdin -v error -y -f lavfi -i 'anoisesrc=c=pink:r=48000:a=0.2:d=3600' -ac 2 -c:a aac -b:a 128k '"
        + audio.string() + "'");
    fs::path video = folder / ("gop250-" + size + "-" + std::to_string(videoMinutes) + ".mov");
    if (!fs::exists(video))
        run("ffmpeg -nostdin -v error -y -f lavfi -i 'testsrc2=s=" + size + ":r=25:d=" + std::to_string(videoMinutes * 60)
        + "' -f lavfi -i 'sine=f=440:r=48000:d=" + std::to_string(videoMinutes * 60)
        + "' -c:v libx264 -preset veryfast -g 250 -keyint_min 250 -sc_threshold 0 -pix_fmt yuv420p -c:a aac -f mov '"
        + video.string() + "'");

    seeks("to random points of a 1-hour AAC .m4a", audio, count, anywhere);
    std::string movie = "a " + size + " H.264 MOV with 250-frame groups";
    seeks("to random points of " + movie, video, count, anywhere);
    constexpr int kGroup = 250;
    DecodeFloor floor = decodeFloor(video, videoMinutes * 60 * 25, kGroup);
    std::printf("  decode floor (ffmpeg -threads %d, this file, this run): %.2f ms a picture, so %.1f ms for the\n"
                "  %d pictures from a key picture to a random point on average; %.1f ms when only the pictures\n"
                "  others refer to are decoded up to there (what an exact seek can skip)\n",
                floor.threads, floor.msPerPicture, floor.msPerPicture * kGroup / 2, kGroup / 2,
                floor.msPerGroupOfReferences / 2);
    std::fflush(stdout);
    seeks("0.2 to 2 s apart, reading on through " + movie, video, count, readingOn);
    playing(audio, 1.0, playSeconds, 3);
    playing(audio, 2.0, playSeconds, 8);
    if (kept.empty())
        fs::remove_all(folder);
    return 0;
}
