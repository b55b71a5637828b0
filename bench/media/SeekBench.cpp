// Measures seeks against a floor of our own: exact seeks in H.264 MOVs with 250- and 25-picture
// groups (time from the seek to its completion: sound and picture ready) beside a plain decoding
// loop over the same library that keeps the file open, seeks to the key picture before each
// target and decodes up to the picture showing there, for the same targets; tolerant seeks (no
// limit either side, as scrubbing asks) in the 250-picture file; and exact seeks in a 1-hour AAC
// .m4a once it is open.
//
//   seek_bench [--seeks N] [--video-minutes M] [--size WxH] [--folder F]
//
// Defaults: 100 seeks, 3-minute 1280x720 MOVs; the media are made in a temporary folder, or kept
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
#include <random>
#include <string>
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

// The player's seeks to `targets` with the given tolerances, in milliseconds each.
std::vector<double> playerSeeks(const fs::path& path, const std::vector<double>& targets, const qv::MediaTime& tolerance,
                                double* durationOut = nullptr)
{
    qv::ManualDispatcher main;
    qv::Player player{main, std::make_unique<qv::SilentAudioOutput>(main)};
    openInPlayer(main, player, path);
    if (durationOut)
        *durationOut = player.currentItem()->duration().seconds();
    std::vector<double> times;
    for (double target : targets) {
        std::optional<bool> finished;
        auto start = std::chrono::steady_clock::now();
        player.seek(qv::MediaTime(std::llround(target * 1000), 1000), tolerance, tolerance,
                    [&](bool done) { finished = done; });
        if (!main.runUntil([&] { return finished.has_value(); }) || !*finished) {
            std::fprintf(stderr, "a seek in %s did not finish\n", path.c_str());
            std::exit(1);
        }
        times.push_back(secondsSince(start) * 1000);
    }
    return times;
}

double durationOf(const fs::path& path)
{
    auto asset = qv::Asset::inspect(path.string());
    return asset ? asset->duration().seconds() : 0;
}

// The plain loop: the file open once, each target reached from the key picture before it.
std::vector<double> loopSeeks(const fs::path& path, const std::vector<double>& targets)
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0 || avformat_find_stream_info(format, nullptr) < 0) {
        std::fprintf(stderr, "the loop cannot open %s\n", path.c_str());
        std::exit(1);
    }
    int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVStream* stream = format->streams[index];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, stream->codecpar);
    decoder->thread_count = 0;
    avcodec_open2(decoder, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::vector<double> times;
    for (double target : targets) {
        auto start = std::chrono::steady_clock::now();
        auto timestamp = static_cast<std::int64_t>(target / av_q2d(stream->time_base));
        av_seek_frame(format, index, timestamp, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(decoder);
        double frameSeconds = av_q2d(av_inv_q(stream->avg_frame_rate));
        bool landed = false;
        while (!landed && av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == index)
                avcodec_send_packet(decoder, packet);
            av_packet_unref(packet);
            while (!landed && avcodec_receive_frame(decoder, frame) == 0) {
                double shows = frame->best_effort_timestamp * av_q2d(stream->time_base);
                landed = shows + frameSeconds > target;
                av_frame_unref(frame);
            }
        }
        times.push_back(secondsSince(start) * 1000);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return times;
}

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

void exactAgainstLoop(const std::string& what, const fs::path& path, int count)
{
    std::vector<double> targets = randomTargets(count, durationOf(path));
    double ours = median(playerSeeks(path, targets, qv::MediaTime::zero()));
    double loop = median(loopSeeks(path, targets));
    std::printf("%d exact seeks in %s: median %.1f ms; the loop %.1f ms for the same targets: %.2f x (target <= 1.0)\n",
                count, what.c_str(), ours, loop, ours / loop);
    std::fflush(stdout);
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

}  // namespace

int main(int argc, char** argv)
{
    int count = 100;
    int videoMinutes = 3;
    std::string size = "1280x720";
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

    exactAgainstLoop("a " + size + " H.264 MOV with 250-picture groups", long250, count);
    exactAgainstLoop("a " + size + " H.264 MOV with 25-picture groups", short25, count);

    std::vector<double> tolerant =
        playerSeeks(long250, randomTargets(count, durationOf(long250)), qv::MediaTime::positiveInfinity());
    std::printf("%d tolerant seeks in the MOV with 250-picture groups: median %.1f ms (target <= 30), worst %.1f ms\n",
                count, median(tolerant), *std::max_element(tolerant.begin(), tolerant.end()));

    std::vector<double> audioTargets = randomTargets(count, durationOf(audio));
    std::vector<double> inAudio = playerSeeks(audio, audioTargets, qv::MediaTime::zero());
    std::printf("%d exact seeks in a 1-hour AAC .m4a, once open: median %.2f ms (target <= 3), worst %.2f ms\n", count,
                median(inAudio), *std::max_element(inAudio.begin(), inAudio.end()));
    std::vector<double> inReader = readerSeeks(audio, audioTargets);
    std::printf("  of which the reader's own work (moved and its first buffer decoded): median %.2f ms, worst %.2f ms\n",
                median(inReader), *std::max_element(inReader.begin(), inReader.end()));
    std::fflush(stdout);
    if (kept.empty())
        fs::remove_all(folder);
    return 0;
}
