// Measures seeks against a floor of our own: exact seeks in H.264 MOVs with 250- and 25-picture
// groups (time from the seek to its completion: sound and picture ready) beside a plain decoding
// loop over the same library that keeps the file open, seeks to the key picture before each
// target and decodes up to the picture showing there, for the same targets, the two taken in
// turn so that the load of a shared machine falls on both alike; tolerant seeks (no limit either
// side, as scrubbing asks) in the 250-picture file; and exact seeks in a 1-hour AAC .m4a once it
// is open; and, first, the peak memory of a player opening an AIFF whose header claims 65,535
// channels. Beside each time it prints the processor time of the whole process over the seek,
// which the load of other programs moves less, and the load average at the start and the end.
// The player is paused, as while scrubbing: the pictures after the one sought are decoded only
// once they are asked for, which nothing here does, so that work is in none of the figures.
//
//   seek_bench [--seeks N] [--video-minutes M] [--size WxH] [--folder F]
//
// Defaults: 100 seeks, 3-minute 1920x1080 MOVs; the media are made in a temporary folder, or kept
// in F for the next run. Targets: exact seeks at most 1.0 x the loop's median; tolerant seeks
// median <= 30 ms; .m4a seeks median <= 3 ms.

#include "BenchSupport.h"

#include "platform/foundation/ManualDispatcher.h"
#include "platform/media/AudioReader.h"
#include "platform/media/Player.h"
#include "platform/media/SilentAudioOutput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace qv::bench;

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::vector<double> randomTargets(int count, double duration)
{
    std::mt19937 random(20261210);
    std::vector<double> targets;
    for (int i = 0; i < count; ++i)
        targets.push_back(std::uniform_real_distribution<double>(0.0, duration)(random));
    return targets;
}

// The processor time of the whole process (every thread), in milliseconds.
double processorMilliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The time and the processor time one seek took, in milliseconds.
struct Cost {
    double wall = 0;
    double processor = 0;
};

template <typename Work>
Cost measure(Work&& work)
{
    double processorStart = processorMilliseconds();
    auto start = std::chrono::steady_clock::now();
    work();
    return {secondsSince(start) * 1000, processorMilliseconds() - processorStart};
}

// The player with the file open, seeking with the given tolerances; a seek ends when it
// completes (sound and picture ready).
class PlayerSeeks {
public:
    PlayerSeeks(const fs::path& path, const qv::MediaTime& tolerance)
        : path_(path), tolerance_(tolerance), player_(main_, std::make_unique<qv::SilentAudioOutput>(main_))
    {
        openInPlayer(main_, player_, path);
    }
    double duration() const { return player_.currentItem()->duration().seconds(); }
    Cost seek(double target)
    {
        return measure([&] {
            std::optional<bool> finished;
            player_.seek(qv::MediaTime(std::llround(target * 1000), 1000), tolerance_, tolerance_,
                         [&](bool done) { finished = done; });
            if (!main_.runUntil([&] { return finished.has_value(); }) || !*finished) {
                std::fprintf(stderr, "a seek in %s did not finish\n", path_.c_str());
                std::exit(1);
            }
        });
    }

private:
    fs::path path_;
    qv::MediaTime tolerance_;
    qv::ManualDispatcher main_;
    qv::Player player_;
};

// The plain loop: the file open once, each target reached from the key picture before it.
class LoopSeeks {
public:
    explicit LoopSeeks(const fs::path& path)
    {
        if (avformat_open_input(&format_, path.c_str(), nullptr, nullptr) < 0
            || avformat_find_stream_info(format_, nullptr) < 0) {
            std::fprintf(stderr, "the loop cannot open %s\n", path.c_str());
            std::exit(1);
        }
        index_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        stream_ = format_->streams[index_];
        const AVCodec* codec = avcodec_find_decoder(stream_->codecpar->codec_id);
        decoder_ = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(decoder_, stream_->codecpar);
        decoder_->thread_count = 0;
        avcodec_open2(decoder_, codec, nullptr);
    }
    ~LoopSeeks()
    {
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&decoder_);
        avformat_close_input(&format_);
    }
    LoopSeeks(const LoopSeeks&) = delete;
    LoopSeeks& operator=(const LoopSeeks&) = delete;

    Cost seek(double target)
    {
        return measure([&] {
            auto timestamp = static_cast<std::int64_t>(target / av_q2d(stream_->time_base));
            av_seek_frame(format_, index_, timestamp, AVSEEK_FLAG_BACKWARD);
            avcodec_flush_buffers(decoder_);
            double frameSeconds = av_q2d(av_inv_q(stream_->avg_frame_rate));
            bool landed = false;
            while (!landed && av_read_frame(format_, packet_) >= 0) {
                if (packet_->stream_index == index_)
                    avcodec_send_packet(decoder_, packet_);
                av_packet_unref(packet_);
                while (!landed && avcodec_receive_frame(decoder_, frame_) == 0) {
                    double shows = frame_->best_effort_timestamp * av_q2d(stream_->time_base);
                    landed = shows + frameSeconds > target;
                    av_frame_unref(frame_);
                }
            }
        });
    }

private:
    AVFormatContext* format_ = nullptr;
    int index_ = -1;
    AVStream* stream_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    AVPacket* packet_ = av_packet_alloc();
    AVFrame* frame_ = av_frame_alloc();
};

// The audio reader alone, kept open: moved to each target and its first buffer decoded, in
// milliseconds each. What a player's seek in the file costs before its threads hand over.
std::vector<double> readerSeeks(const fs::path& path, const std::vector<double>& targets)
{
    auto asset = qv::Asset::inspect(path.string());
    auto reader = asset ? qv::AudioReader::forTrack(asset.value(), asset->tracksWithMediaType(qv::MediaType::Audio).at(0).trackID,
                                                    {qv::PcmFormat::Float32, 48000})
                        : qv::MediaResult<std::unique_ptr<qv::AudioReader>>(asset.error());
    if (!reader) {
        std::fprintf(stderr, "%s\n", reader.error().description.c_str());
        std::exit(1);
    }
    std::vector<double> times;
    for (double target : targets) {
        auto start = std::chrono::steady_clock::now();
        qv::MediaTime at(std::llround(target * 48000), 48000);
        if (reader.value()->seek({at, qv::MediaTime::positiveInfinity()}) || !reader.value()->copyNextSampleBuffer()) {
            std::fprintf(stderr, "the reader could not seek in %s\n", path.c_str());
            std::exit(1);
        }
        times.push_back(secondsSince(start) * 1000);
    }
    return times;
}

double loadAverage()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

// Exact seeks of the player and of the loop to the same targets, taken in turn (each first
// every other time), so that a change in the machine's load falls on both alike. Returns the
// ratio of the medians of the times.
double exactAgainstLoop(const std::string& what, const fs::path& path, int count)
{
    PlayerSeeks ours(path, qv::MediaTime::zero());
    LoopSeeks loop(path);
    std::vector<double> ourTimes, ourProcessor, loopTimes, loopProcessor;
    const std::vector<double> targets = randomTargets(count, ours.duration());
    for (std::size_t i = 0; i < targets.size(); ++i) {
        Cost mine, theirs;
        if (i % 2 == 0) {
            mine = ours.seek(targets[i]);
            theirs = loop.seek(targets[i]);
        } else {
            theirs = loop.seek(targets[i]);
            mine = ours.seek(targets[i]);
        }
        ourTimes.push_back(mine.wall);
        ourProcessor.push_back(mine.processor);
        loopTimes.push_back(theirs.wall);
        loopProcessor.push_back(theirs.processor);
    }
    double ratio = median(ourTimes) / median(loopTimes);
    std::printf("%d exact seeks in %s, in turn with the loop:\n"
                "  ours median %.1f ms (processor %.1f ms); the loop %.1f ms (processor %.1f ms)\n"
                "  ours / loop: %.2f x in time, %.2f x in processor time (target <= 1.0 in time)\n",
                count, what.c_str(), median(ourTimes), median(ourProcessor), median(loopTimes), median(loopProcessor),
                ratio, median(ourProcessor) / median(loopProcessor));
    std::fflush(stdout);
    return ratio;
}

// The player's seeks to `targets` with the given tolerances: the times and the processor times,
// in milliseconds each.
struct Costs {
    std::vector<double> wall;
    std::vector<double> processor;
};

Costs playerSeeks(const fs::path& path, const std::vector<double>& targets, const qv::MediaTime& tolerance)
{
    PlayerSeeks player(path, tolerance);
    Costs costs;
    for (double target : targets) {
        Cost cost = player.seek(target);
        costs.wall.push_back(cost.wall);
        costs.processor.push_back(cost.processor);
    }
    return costs;
}

double durationOf(const fs::path& path)
{
    auto asset = qv::Asset::inspect(path.string());
    return asset ? asset->duration().seconds() : 0;
}

void makeMovie(const fs::path& path, const std::string& size, int minutes, int group)
{
    if (fs::exists(path))
        return;
    std::string seconds = std::to_string(minutes * 60);
    run("ffmpeg -nostdin -v error -y -f lavfi -i 'testsrc2=s=" + size + ":r=25:d=" + seconds
        + "' -f lavfi -i 'sine=f=440:r=48000:d=" + seconds + "' -c:v libx264 -preset veryfast -g "
        + std::to_string(group) + " -keyint_min " + std::to_string(group)
        + " -sc_threshold 0 -pix_fmt yuv420p -c:a aac -f mov '" + path.string() + "'");
}

// A stereo AIFF whose header is made to claim 65,535 channels (the 16-bit count after "COMM").
void makeHostileAiff(const fs::path& path)
{
    fs::path plain = path.string() + ".plain.aiff";
    run("ffmpeg -nostdin -v error -y -f lavfi -i anoisesrc=d=60:r=48000 -ac 2 -c:a pcm_s16be '" + plain.string() + "'");
    std::ifstream in(plain, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t comm = bytes.find("COMM");
    if (comm == std::string::npos || comm + 10 > bytes.size()) {
        std::fprintf(stderr, "ffmpeg wrote an AIFF without a COMM chunk\n");
        std::exit(1);
    }
    bytes[comm + 8] = '\xff';
    bytes[comm + 9] = '\xff';
    std::ofstream(path, std::ios::binary) << bytes;
    fs::remove(plain);
}

// Opens the AIFF in a player as the program does (inspected, then given to the player) in a child
// process: how long until it is refused, and the child's peak resident size.
void openHostileAiff(const fs::path& folder)
{
    fs::path path = folder / "channels-65535.aiff";
    makeHostileAiff(path);
    double memory = peakMemoryOfChild([&] {
        auto start = std::chrono::steady_clock::now();
        auto asset = qv::Asset::inspect(path.string());
        if (asset) {
            qv::ManualDispatcher main;
            qv::Player player(main, std::make_unique<qv::SilentAudioOutput>(main));
            player.replaceCurrentItem(qv::PlayerItem(asset.value()));
            player.setRate(1.0);
            main.runUntil([&] { return player.status() == qv::Player::Status::Failed; });
        }
        std::printf("the player opening an AIFF that claims 65,535 channels: %s after %.3f s",
                    asset ? "failed" : "refused at inspection", secondsSince(start));
        std::fflush(stdout);
    });
    std::printf(", peak memory %.1f MB (target: failure within 1 s, <= 50 MB)\n", memory);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    int count = 100;
    int videoMinutes = 3;
    std::string size = "1920x1080";
    fs::path kept;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--seeks")
            count = std::atoi(argv[i + 1]);
        else if (option == "--video-minutes")
            videoMinutes = std::atoi(argv[i + 1]);
        else if (option == "--size")
            size = argv[i + 1];
        else if (option == "--folder")
            kept = argv[i + 1];
    }
    fs::path folder = kept.empty() ? fs::temp_directory_path() / ("qv-seek-bench-" + std::to_string(getpid())) : kept;
    fs::create_directories(folder);
    std::string tag = size + "-" + std::to_string(videoMinutes);
    fs::path long250 = folder / ("gop250-" + tag + ".mov");
    fs::path short25 = folder / ("gop25-" + tag + ".mov");
    makeMovie(long250, size, videoMinutes, 250);
    makeMovie(short25, size, videoMinutes, 25);
    fs::path audio = folder / "hour.m4a";
    if (!fs::exists(audio))
        run("ffmpeg -nostdin -v error -y -f lavfi -i 'anoisesrc=c=pink:r=48000:a=0.2:d=3600' -ac 2 -c:a aac -b:a 128k '"
            + audio.string() + "'");

    std::printf("load average at the start: %.2f\n", loadAverage());
    std::fflush(stdout);
    // First, while the process is small: the child starts with the parent's resident pages.
    openHostileAiff(folder);
    double long250Ratio = exactAgainstLoop("a " + size + " H.264 MOV with 250-picture groups", long250, count);
    double short25Ratio = exactAgainstLoop("a " + size + " H.264 MOV with 25-picture groups", short25, count);

    Costs tolerant = playerSeeks(long250, randomTargets(count, durationOf(long250)), qv::MediaTime::positiveInfinity());
    std::printf("%d tolerant seeks in the MOV with 250-picture groups: median %.1f ms (target <= 30), worst %.1f ms;"
                " processor median %.1f ms\n",
                count, median(tolerant.wall), *std::max_element(tolerant.wall.begin(), tolerant.wall.end()),
                median(tolerant.processor));

    std::vector<double> audioTargets = randomTargets(count, durationOf(audio));
    Costs inAudio = playerSeeks(audio, audioTargets, qv::MediaTime::zero());
    std::printf("%d exact seeks in a 1-hour AAC .m4a, once open: median %.2f ms (target <= 3), worst %.2f ms;"
                " processor median %.2f ms\n",
                count, median(inAudio.wall), *std::max_element(inAudio.wall.begin(), inAudio.wall.end()),
                median(inAudio.processor));
    std::vector<double> inReader = readerSeeks(audio, audioTargets);
    std::printf("  of which the reader's own work (moved and its first buffer decoded): median %.2f ms, worst %.2f ms\n",
                median(inReader), *std::max_element(inReader.begin(), inReader.end()));
    std::printf("exact seeks / the loop: %.2f x with 250-picture groups, %.2f x with 25-picture groups (target <= 1.0: %s)\n",
                long250Ratio, short25Ratio, long250Ratio <= 1.0 && short25Ratio <= 1.0 ? "met" : "missed");
    std::printf("load average at the end: %.2f\n", loadAverage());
    std::fflush(stdout);
    if (kept.empty())
        fs::remove_all(folder);
    return 0;
}
