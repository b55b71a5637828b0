#include "TrackEnd.h"

#include "AudioReader.h"
#include "Mp3InfoHeader.h"
#include "WaveChunks.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string_view>
#include <vector>

namespace qv::trackend {

using namespace ffmpeg;

namespace {

// How far before its stated end a whole stream is read to find that it gets there, seconds.
constexpr double kTailSeconds = 1.0;

// The end of the last packet of stream `streamIndex` read from where `context` stands up to
// where the file ends (or cannot be read further); AV_NOPTS_VALUE when none is.
int64_t endOfPackets(AVFormatContext& context, int streamIndex)
{
    int64_t end = AV_NOPTS_VALUE;
    PacketPtr packet = makePacket();
    while (av_read_frame(&context, packet.get()) >= 0) {
        int64_t time = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (packet->stream_index == streamIndex && time != AV_NOPTS_VALUE)
            end = std::max(end == AV_NOPTS_VALUE ? time : end, time + packet->duration);
        av_packet_unref(packet.get());
    }
    return end;
}

void readOnly(AVFormatContext& context, int streamIndex)
{
    for (unsigned i = 0; i < context.nb_streams; ++i)
        context.streams[i]->discard = static_cast<int>(i) == streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
}

}  // namespace

std::optional<int64_t> statedEnd(const AVFormatContext& context, const AVStream& stream)
{
    if (stream.duration == AV_NOPTS_VALUE || context.duration_estimation_method == AVFMT_DURATION_FROM_BITRATE)
        return std::nullopt;
    return stream.duration + (stream.start_time == AV_NOPTS_VALUE ? 0 : stream.start_time);
}

int64_t toleranceFrames(const AVCodecParameters& codec, int rate)
{
    auto atRate = [&](int64_t codecFrames) { return codec.sample_rate > 0 ? av_rescale(codecFrames, rate, codec.sample_rate) : 0; };
    // The codec's own delay and padding (an Opus stream's pre-skip and the trim of its last
    // packet) may be counted in the declared length without ever being handed out.
    return AudioReader::kEndTolerancePackets * atRate(std::max(codec.frame_size, 0))
         + atRate(std::max(codec.initial_padding, 0) + std::max(codec.trailing_padding, 0))
         + std::llround(AudioReader::kEndToleranceSeconds * rate);
}

std::optional<int64_t> cutShortEnd(AVFormatContext& context, int streamIndex, const std::string& path)
{
    const AVStream& stream = *context.streams[streamIndex];
    const int64_t start = stream.start_time == AV_NOPTS_VALUE ? 0 : stream.start_time;
    // FFmpeg sizes a WAVE stream by the bytes there are: the header alone tells what is missing.
    const bool waveCut = wave::isCutShort(path);
    if (waveCut && stream.duration != AV_NOPTS_VALUE)
        return start + stream.duration;
    auto stated = statedEnd(context, stream);
    if (!stated && !waveCut)
        return std::nullopt;
    const AVCodecParameters& codec = *stream.codecpar;
    const int rate = codec.sample_rate > 0 ? codec.sample_rate : 1;
    const int64_t tolerance = av_rescale_q(toleranceFrames(codec, rate), AVRational{1, rate}, stream.time_base);
    auto whole = [&](int64_t end) { return stated && end != AV_NOPTS_VALUE && end + tolerance >= *stated; };

    // An MP3 file's header may state the bytes of its audio: there, the file's size tells it is
    // whole (seeking one by time reads it through, or trusts an index too rough to judge by).
    const bool isMp3 = context.iformat && std::string_view(context.iformat->name) == "mp3";
    const auto mp3End = isMp3 ? mp3::declaredDataEnd(path) : std::nullopt;
    std::error_code sizeError;
    if (stated && mp3End && std::filesystem::file_size(path, sizeError) >= *mp3End && !sizeError)
        return std::nullopt;
    // A whole stream gets to its stated end: only its last moments are read to see it does.
    if (stated && !mp3End) {
        readOnly(context, streamIndex);
        const int64_t tail = av_rescale_q(std::llround(kTailSeconds * rate), AVRational{1, rate}, stream.time_base);
        int64_t end = AV_NOPTS_VALUE;
        if (av_seek_frame(&context, streamIndex, *stated - tail - tolerance, AVSEEK_FLAG_BACKWARD) >= 0)
            end = endOfPackets(context, streamIndex);
        for (unsigned i = 0; i < context.nb_streams; ++i)
            context.streams[i]->discard = AVDISCARD_DEFAULT;
        if (whole(end))
            return std::nullopt;
    }
    // The MP3 file holds fewer bytes than it states, the seek went where the bytes no longer
    // reach, or the demuxer could not seek: the stream is read through from its start, in a
    // file opened afresh.
    auto reopened = openInput(path);
    if (!reopened || streamIndex >= static_cast<int>(reopened.value()->nb_streams))
        return std::nullopt;
    readOnly(*reopened.value(), streamIndex);
    const int64_t end = endOfPackets(*reopened.value(), streamIndex);
    if (whole(end))
        return std::nullopt;
    return end != AV_NOPTS_VALUE ? end : start;
}

}  // namespace qv::trackend
