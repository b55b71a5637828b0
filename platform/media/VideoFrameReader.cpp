#include "VideoFrameReader.h"

#include "FFmpegSupport.h"

#include <algorithm>
#include <deque>

namespace qv {

using namespace ffmpeg;

namespace {

// How far before the start a picture must show for it to be skipped when nothing refers to it:
// more than the few pictures that a decoder reorders. Seconds.
constexpr double kSkipMargin = 0.5;

}  // namespace

struct VideoFrameReader::Impl {
    std::vector<CompositionSegment> segments;
    double start = 0;
    std::size_t segmentIndex = 0;
    double shownUntil = 0;  // the end of the last segment given out, for gaps
    std::optional<MediaError> error;
    std::deque<VideoFrame> ready;

    // The segment being decoded.
    FormatContextPtr format;
    CodecContextPtr decoder;
    ScalerPtr scaler;
    int streamIndex = -1;
    AVRational timeBase{0, 1};
    double fileStart = 0;
    bool draining = false;
    bool segmentOpen = false;
    // The latest picture at or before the start, not converted until it is known to show.
    FramePtr held;
    double heldTime = 0;
    PacketPtr packet = makePacket();
    FramePtr frame = makeFrame();

    bool openSegment();
    void closeSegment();
    // Decodes until a picture is ready or the segment ends; false at its end.
    bool decodeMore();
    void releaseHeld()
    {
        if (held && held->data[0])
            ready.push_back(convert(*held, heldTime));
        held.reset();
    }
    VideoFrame convert(const AVFrame& decoded, double time);
};

bool VideoFrameReader::Impl::openSegment()
{
    const CompositionSegment& segment = segments[segmentIndex];
    const std::string& path = segment.asset->path();
    auto opened = openInput(path);
    if (!opened) {
        error = opened.error();
        return false;
    }
    const auto& tracks = segment.asset->tracks();
    auto track = std::find_if(tracks.begin(), tracks.end(), [&](const AssetTrack& t) {
        return t.trackID == segment.sourceTrackID && t.mediaType == MediaType::Video;
    });
    AVFormatContext& context = *opened.value();
    if (track == tracks.end() || track->streamIndex >= static_cast<int>(context.nb_streams)) {
        error = makeMediaError(MediaErrorCode::NoVideoTrack, "The file “" + displayName(path) + "” has no video.");
        return false;
    }
    AVStream& stream = *context.streams[track->streamIndex];
    // Pictures are decoded on several threads: an exact seek decodes up to a whole group.
    auto decoder = openDecoder(stream, path, 0);
    if (!decoder) {
        error = decoder.error();
        return false;
    }
    for (unsigned i = 0; i < context.nb_streams; ++i)
        context.streams[i]->discard = static_cast<int>(i) == track->streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    streamIndex = track->streamIndex;
    timeBase = stream.time_base;
    fileStart = fileStartSeconds(context);
    double ratio = segment.targetRange.duration.seconds() / segment.sourceRange.duration.seconds();
    double from = segment.sourceRange.start.seconds()
                + std::max(0.0, start - segment.targetRange.start.seconds()) / ratio;
    av_seek_frame(&context, streamIndex, streamTimestampFromSeconds(from + fileStart, timeBase), AVSEEK_FLAG_BACKWARD);
    format = std::move(opened.value());
    this->decoder = std::move(decoder.value());
    draining = false;
    segmentOpen = true;
    return true;
}

void VideoFrameReader::Impl::closeSegment()
{
    segmentOpen = false;
    decoder.reset();
    format.reset();
    scaler.reset();
    held.reset();
}

VideoFrame VideoFrameReader::Impl::convert(const AVFrame& decoded, double time)
{
    VideoFrame picture;
    picture.time = time;
    AVRational aspect = av_guess_sample_aspect_ratio(format.get(), format->streams[streamIndex],
                                                     const_cast<AVFrame*>(&decoded));
    picture.pixelAspect = aspect.num > 0 && aspect.den > 0 ? av_q2d(aspect) : 1.0;
    scaler.reset(sws_getCachedContext(scaler.release(), decoded.width, decoded.height,
                                      static_cast<AVPixelFormat>(decoded.format), decoded.width, decoded.height,
                                      AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler)
        return picture;
    picture.image.width = decoded.width;
    picture.image.height = decoded.height;
    picture.image.rgb.resize(static_cast<std::size_t>(decoded.width) * decoded.height * 3);
    std::uint8_t* planes[1] = {picture.image.rgb.data()};
    int strides[1] = {decoded.width * 3};
    sws_scale(scaler.get(), decoded.data, decoded.linesize, 0, decoded.height, planes, strides);
    return picture;
}

bool VideoFrameReader::Impl::decodeMore()
{
    const CompositionSegment& segment = segments[segmentIndex];
    const double targetStart = segment.targetRange.start.seconds();
    const double targetEnd = segment.targetRange.end().seconds();
    const double ratio = segment.targetRange.duration.seconds() / segment.sourceRange.duration.seconds();
    const double sourceStart = segment.sourceRange.start.seconds();
    for (;;) {
        int received = avcodec_receive_frame(decoder.get(), frame.get());
        if (received == 0) {
            std::int64_t stamp = frame->best_effort_timestamp;
            double sourceTime = stamp == AV_NOPTS_VALUE ? sourceStart : stamp * av_q2d(timeBase) - fileStart;
            double time = targetStart + (sourceTime - sourceStart) * ratio;
            if (time >= targetEnd) {
                av_frame_unref(frame.get());
                releaseHeld();
                return !ready.empty();
            }
            if (time <= start) {
                // Before the start: keep only the latest, which is the one showing at the start.
                if (!held)
                    held = makeFrame();
                av_frame_unref(held.get());
                av_frame_move_ref(held.get(), frame.get());
                heldTime = start;
                continue;
            }
            releaseHeld();
            ready.push_back(convert(*frame, std::max(time, targetStart)));
            av_frame_unref(frame.get());
            if (!ready.empty())
                return true;
            continue;
        }
        if (received == AVERROR_EOF || draining) {
            releaseHeld();
            return !ready.empty();
        }
        int read = av_read_frame(format.get(), packet.get());
        if (read < 0) {
            draining = true;
            avcodec_send_packet(decoder.get(), nullptr);
            continue;
        }
        if (packet->stream_index == streamIndex) {
            // A picture that nothing refers to and that shows well before the start cannot be
            // the one showing at the start: it need not be decoded at all.
            double shows = packet->pts == AV_NOPTS_VALUE
                         ? start
                         : targetStart + (packet->pts * av_q2d(timeBase) - fileStart - sourceStart) * ratio;
            decoder->skip_frame = shows < start - kSkipMargin ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
            avcodec_send_packet(decoder.get(), packet.get());
        }
        av_packet_unref(packet.get());
    }
}

VideoFrameReader::VideoFrameReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
VideoFrameReader::~VideoFrameReader() = default;

MediaResult<std::unique_ptr<VideoFrameReader>> VideoFrameReader::make(const Composition& composition, int trackID,
                                                                      double startSeconds)
{
    const CompositionTrack* track = composition.trackWithID(trackID);
    if (!track || track->mediaType() != MediaType::Video)
        return makeMediaError(MediaErrorCode::NoVideoTrack, "The composition has no video track " + std::to_string(trackID) + ".");
    auto impl = std::make_unique<Impl>();
    impl->segments = track->segments();
    impl->start = std::max(0.0, startSeconds);
    impl->shownUntil = impl->start;
    while (impl->segmentIndex < impl->segments.size()
           && impl->segments[impl->segmentIndex].targetRange.end().seconds() <= impl->start)
        ++impl->segmentIndex;
    return std::unique_ptr<VideoFrameReader>(new VideoFrameReader(std::move(impl)));
}

std::optional<VideoFrame> VideoFrameReader::next()
{
    Impl& d = *impl_;
    while (d.ready.empty() && !d.error && d.segmentIndex < d.segments.size()) {
        const CompositionSegment& segment = d.segments[d.segmentIndex];
        if (!d.segmentOpen) {
            // Black from where the last segment ended up to this one.
            if (segment.targetRange.start.seconds() > d.shownUntil + 1e-9)
                d.ready.push_back({std::max(d.shownUntil, d.start), 1.0, {}});
            if (!d.openSegment())
                break;
        }
        if (!d.decodeMore()) {
            d.shownUntil = segment.targetRange.end().seconds();
            d.closeSegment();
            ++d.segmentIndex;
        }
    }
    if (d.ready.empty())
        return std::nullopt;
    VideoFrame picture = std::move(d.ready.front());
    d.ready.pop_front();
    return picture;
}

const std::optional<MediaError>& VideoFrameReader::error() const { return impl_->error; }

}  // namespace qv
