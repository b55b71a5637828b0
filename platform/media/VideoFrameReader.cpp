#include "VideoFrameReader.h"

#include "FFmpegSupport.h"
#include "FileIdentity.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <cmath>
#include <deque>
#include <iterator>
#include <limits>

namespace qv {

using namespace ffmpeg;

namespace {

// A decoded picture not yet converted for showing; no frame stands for black.
struct Decoded {
    double shows = 0;  // when it starts showing on the composition's time line
    std::int64_t stamp = 0;  // when it starts showing, in its stream's timestamps (kNever for none)
    FramePtr frame;
};

FramePtr referenceTo(const AVFrame& frame)
{
    FramePtr copy = makeFrame();
    av_frame_ref(copy.get(), &frame);
    return copy;
}

std::size_t pictureBytes(const AVFrame& frame)
{
    int bytes = av_image_get_buffer_size(static_cast<AVPixelFormat>(frame.format), frame.width, frame.height, 1);
    return bytes > 0 ? static_cast<std::size_t>(bytes) : 0;
}

// Before every picture, in a stream's timestamps.
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::min();

}  // namespace

// Which picture shows at a time is decided in the stream's own timestamps, never in seconds: a
// picture's start in seconds (its timestamp times the time base) can come out a hair after the
// very time it starts at, which would show the picture before it.
struct VideoFrameReader::Impl {
    std::vector<CompositionSegment> segments;
    MediaTime startTime;  // the start asked for
    double start = 0;     // the start in seconds, where a tolerant start landed once it has
    std::size_t segmentIndex = 0;
    double shownUntil = 0;  // the end of the last segment given out, for gaps
    std::optional<MediaError> error;
    Positioning positioning = Positioning::Reopened;
    // A tolerant start: a key picture that shows within [landFrom, landTo] is taken as the start.
    bool landing = false;
    double landFrom = 0;
    double landTo = 0;
    // The key picture's packet was followed by the end of input, so that the decoder gives the
    // picture out at once instead of after the packets its threads and reordering wait for.
    bool drainedForKey = false;
    // The start is to be shown alone: drain the decoder once every picture up to it is read
    // (see seek()). Then drained for it: at the end of what was read, decode again from the key.
    bool alone = false;
    bool drainForStart = false;
    bool drainedForStart = false;
    int picturesSinceSeek = 0;  // packets of the track read since the last seek in the file
    // Decoding again from the key picture given out: pictures up to it are not given out twice.
    bool replaying = false;
    std::int64_t seekedTo = 0;  // where the last seek in the file went, and how
    int seekedFlags = 0;
    // How long after it is decoded a key picture shows, in the stream's time base: the index
    // knows key pictures by their decoding time, and with pictures shown out of order (B-frames)
    // a key picture shows that much later. Learnt from the key pictures read.
    std::int64_t keyShowDelay = 0;
    // To be given out, in order; their times are held at the start at the latest.
    std::deque<Decoded> ready;
    // Pictures given out last, in order, running up to ready's first without a gap.
    std::deque<Decoded> kept;
    std::size_t keptBytes = 0;

    // The segment being decoded, and its file as it was opened (taken before opening it).
    std::optional<FileIdentity> file;
    FormatContextPtr format;
    CodecContextPtr decoder;
    ScalerPtr scaler;
    int streamIndex = -1;
    AVRational timeBase{0, 1};
    double fileStart = 0;
    std::int64_t fileStartStamp = 0;  // fileStart in AV_TIME_BASE units
    // In the segment's stream: the latest timestamp at or before the start (pictures up to it
    // show at the start at the latest), and the earliest at or after the segment's end.
    std::int64_t startStamp = 0;
    std::int64_t endStamp = 0;
    bool draining = false;
    bool segmentOpen = false;
    // The latest picture at or before the start, not given out until it is known to show.
    FramePtr held;
    double heldTime = 0;
    std::int64_t heldStamp = 0;
    // The decoder's latest picture, and the latest timestamp at or before the start at which a
    // picture of the packets read so far shows: a picture before that cannot show at the start.
    FramePtr last;
    double lastTime = 0;
    std::int64_t lastStamp = kNever;
    std::int64_t latestBeforeStart = kNever;
    std::int64_t lastPacketTimestamp = AV_NOPTS_VALUE;  // decoding order, of the packets read
    // Every packet read since the last seek in the file had both its times, showed no earlier than
    // it is decoded and was counted in latestBeforeStart; and one of them is decoded after the
    // start. Then every picture that shows at or before the start has been read (packets come in
    // decoding order), and the one at latestBeforeStart is the picture showing at the start: it is
    // given out as soon as it is decoded, without waiting for the decoder to give out the next.
    bool countedSinceSeek = false;
    bool readPastStart = false;
    PacketPtr packet = makePacket();
    FramePtr frame = makeFrame();

    enum class Progress { Ready, SegmentEnded, Interrupted };

    const CompositionSegment& segment() const { return segments[segmentIndex]; }
    double ratio() const
    {
        return segment().targetRange.duration.seconds() / segment().sourceRange.duration.seconds();
    }
    // A time of the file's stream as a time on the composition's time line, in seconds: for
    // showing, never for choosing a picture.
    double compositionTime(std::int64_t timestamp) const
    {
        double seconds = static_cast<double>(timestamp) * timeBase.num / timeBase.den;
        return segment().targetRange.start.seconds()
             + (seconds - fileStart - segment().sourceRange.start.seconds()) * ratio();
    }
    // The timestamp in the segment's stream where a time of the composition falls, exactly.
    std::int64_t stampAt(const MediaTime& time, bool roundUp = false) const
    {
        return streamTimestampAt(time, segment().targetRange, segment().sourceRange, fileStartStamp, timeBase,
                                 roundUp);
    }
    // The segment's start and end and the start asked for, in the stream.
    void aimAtStart()
    {
        startStamp = stampAt(startTime);
        endStamp = stampAt(segment().targetRange.end(), true);
    }

    void position(const MediaTime& time, double toleranceBefore, double toleranceAfter, bool shownAlone);
    std::int64_t seekTarget();
    bool land(FramePtr& decoded, double time, std::int64_t stamp);
    void decodeAgainFromKey(bool keyGivenOut);
    bool takeFromKept();
    bool decodeOnTo();
    void seekInSegment();
    bool openSegment();
    void learnKeyShowDelay(const AVPacket& read);
    void closeSegment();
    void forgetDecoded();
    Progress decodeMore(const std::function<bool()>& interrupted);
    void accept(FramePtr decoded, double time, std::int64_t stamp);
    void keep(Decoded picture);
    void releaseHeld()
    {
        if (held)
            ready.push_back({heldTime, heldStamp, std::move(held)});
        held.reset();
    }
    VideoFrame convert(const Decoded& decoded);
};

void VideoFrameReader::Impl::forgetDecoded()
{
    ready.clear();
    kept.clear();
    keptBytes = 0;
    held.reset();
    last.reset();
    lastStamp = kNever;
    latestBeforeStart = kNever;
}

void VideoFrameReader::Impl::position(const MediaTime& time, double toleranceBefore, double toleranceAfter,
                                      bool shownAlone)
{
    // The composition's time line has one epoch: a time of another counts by its value alone.
    MediaTime onLine = time;
    onLine.epoch = 0;
    startTime = onLine.isNumeric() && onLine > MediaTime::zero() ? onLine : MediaTime::zero();
    start = startTime.seconds();
    alone = shownAlone;
    // A landing cut short has read on without taking a picture: where the decoder stands is
    // not known from the pictures, so it never decodes on from there.
    const bool wasLanding = landing;
    landing = toleranceBefore > 0 || toleranceAfter > 0;
    landFrom = start - std::max(toleranceBefore, 0.0);
    landTo = start + std::max(toleranceAfter, 0.0);
    std::size_t index = 0;
    while (index < segments.size() && segments[index].targetRange.end() <= startTime)
        ++index;
    // A file renamed into the place of the one open is read from the start of its segment.
    bool inOpenSegment = segmentOpen && index == segmentIndex && segments[index].targetRange.start <= startTime
                      && fileIdentity(segment().asset->path()) == file;
    if (inOpenSegment)
        aimAtStart();
    if (inOpenSegment && takeFromKept()) {
        landing = false;
        positioning = Positioning::Kept;
        return;
    }
    if (inOpenSegment && !landing && !wasLanding && decodeOnTo()) {
        positioning = Positioning::DecodedOn;
        return;
    }
    if (inOpenSegment) {
        seekInSegment();
        positioning = Positioning::Sought;
        return;
    }
    closeSegment();
    segmentIndex = index;
    shownUntil = start;
    positioning = Positioning::Reopened;
}

// Serves the start from the pictures given out last and those waiting, when one of them shows
// there and a later one follows it.
bool VideoFrameReader::Impl::takeFromKept()
{
    std::deque<Decoded> run = std::move(kept);
    for (auto& picture : ready)
        if (picture.frame)
            run.push_back(std::move(picture));
    ready.clear();
    kept.clear();
    keptBytes = 0;
    auto after = std::find_if(run.begin(), run.end(), [&](const Decoded& d) { return d.stamp > startStamp; });
    if (after == run.begin() || after == run.end())
        return false;
    auto showing = after - 1;
    for (auto it = run.begin(); it != showing; ++it)
        keep(std::move(*it));
    std::move(showing, run.end(), std::back_inserter(ready));
    return true;
}

// Decodes on from where the decoder stands, when the start is at or after every picture decoded
// and no key picture lies between: seeking would decode from a key picture anyway.
bool VideoFrameReader::Impl::decodeOnTo()
{
    // A picture skipped on the way to an earlier start could be the one showing before it.
    if (draining || drainedForStart || startStamp < lastStamp || startStamp < latestBeforeStart)
        return false;
    const AVStream& stream = *format->streams[streamIndex];
    const AVIndexEntry* key = avformat_index_get_entry_from_timestamp(const_cast<AVStream*>(&stream), startStamp,
                                                                      AVSEEK_FLAG_BACKWARD);
    if (!key || lastPacketTimestamp == AV_NOPTS_VALUE || key->timestamp > lastPacketTimestamp)
        return false;
    ready.clear();
    kept.clear();
    keptBytes = 0;
    held.reset();
    // Pictures read on the way to the last start that show before this one were not counted.
    countedSinceSeek = false;
    if (last && lastStamp <= startStamp) {
        held = referenceTo(*last);
        heldTime = lastTime;
        heldStamp = lastStamp;
    }
    return true;
}

// Where to seek in the file for the start: the key picture before it, or for a tolerant start
// the key picture that shows nearest to it within the tolerances (the index knows the time a
// picture is decoded at, the time it shows is that and the delay learnt; it is checked again
// once the picture is decoded).
std::int64_t VideoFrameReader::Impl::seekTarget()
{
    std::int64_t target = startStamp;
    if (!landing)
        return target;
    auto* stream = format->streams[streamIndex];
    const double segmentStart = segment().targetRange.start.seconds();
    const double segmentEnd = segment().targetRange.end().seconds();
    const AVIndexEntry* nearest = nullptr;
    double nearestDistance = std::numeric_limits<double>::infinity();
    for (int flags : {AVSEEK_FLAG_BACKWARD, 0}) {
        const AVIndexEntry* key = avformat_index_get_entry_from_timestamp(stream, target, flags);
        if (!key)
            continue;
        // A picture from before the segment shows from its start.
        double time = std::max(compositionTime(key->timestamp + keyShowDelay), segmentStart);
        double distance = std::fabs(time - start);
        if (time >= landFrom && time <= landTo && time < segmentEnd && distance < nearestDistance) {
            nearest = key;
            nearestDistance = distance;
        }
    }
    if (!nearest) {
        landing = false;
        return target;
    }
    return nearest->timestamp;
}

// Takes the first key picture decoded after a tolerant seek as the start when it shows within
// the tolerances. True when it did; otherwise the start stays exact (and the decoder has been
// moved back when the key picture lay beyond it).
bool VideoFrameReader::Impl::land(FramePtr& decoded, double time, std::int64_t stamp)
{
    landing = false;
    if (time >= landFrom && time <= landTo) {
        start = time;
        startStamp = stamp;
        last = referenceTo(*decoded);
        lastTime = time;
        lastStamp = stamp;
        ready.push_back({time, stamp, std::move(decoded)});
        return true;
    }
    if (stamp > startStamp)
        seekInSegment();
    return false;
}

void VideoFrameReader::Impl::seekInSegment()
{
    forgetDecoded();
    seekedTo = seekTarget();
    // The index gives a key picture's decoding time, which may come before the time it shows,
    // and some demuxers seek by the latter: a key picture is reached by seeking on to it.
    seekedFlags = landing ? 0 : AVSEEK_FLAG_BACKWARD;
    av_seek_frame(format.get(), streamIndex, seekedTo, seekedFlags);
    avcodec_flush_buffers(decoder.get());
    draining = false;
    drainedForKey = false;
    drainForStart = alone && !landing;
    drainedForStart = false;
    picturesSinceSeek = 0;
    replaying = false;
    lastPacketTimestamp = AV_NOPTS_VALUE;
    countedSinceSeek = true;
    readPastStart = false;
}

// After the key picture, or the pictures up to the start, were drained out of the decoder: the
// decoder starts again from the key picture.
void VideoFrameReader::Impl::decodeAgainFromKey(bool keyGivenOut)
{
    av_seek_frame(format.get(), streamIndex, seekedTo, seekedFlags);
    avcodec_flush_buffers(decoder.get());
    drainedForKey = false;
    drainedForStart = false;
    replaying = keyGivenOut;
    lastPacketTimestamp = AV_NOPTS_VALUE;
}

bool VideoFrameReader::Impl::openSegment()
{
    const std::string& path = segment().asset->path();
    file = fileIdentity(path);
    auto opened = openInput(path);
    if (!opened) {
        error = opened.error();
        return false;
    }
    const auto& tracks = segment().asset->tracks();
    auto track = std::find_if(tracks.begin(), tracks.end(), [&](const AssetTrack& t) {
        return t.trackID == segment().sourceTrackID && t.mediaType == MediaType::Video;
    });
    AVFormatContext& context = *opened.value();
    if (track == tracks.end() || track->streamIndex >= static_cast<int>(context.nb_streams)) {
        error = makeMediaError(MediaErrorCode::NoVideoTrack, "The file “" + displayName(path) + "” has no video.");
        return false;
    }
    AVStream& stream = *context.streams[track->streamIndex];
    // As many decoding threads as the machine has cores: an exact seek decodes up to a whole group.
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
    fileStartStamp = fileStartTimestamp(context);
    format = std::move(opened.value());
    this->decoder = std::move(decoder.value());
    segmentOpen = true;
    aimAtStart();
    // The file's first picture is a key picture: it tells the delay before a tolerant seek reads one.
    keyShowDelay = 0;
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        bool ours = packet->stream_index == streamIndex;
        learnKeyShowDelay(*packet);
        av_packet_unref(packet.get());
        if (ours)
            break;
    }
    seekInSegment();
    return true;
}

void VideoFrameReader::Impl::learnKeyShowDelay(const AVPacket& read)
{
    if (read.stream_index == streamIndex && (read.flags & AV_PKT_FLAG_KEY) && read.pts != AV_NOPTS_VALUE
        && read.dts != AV_NOPTS_VALUE)
        keyShowDelay = std::max<std::int64_t>(0, read.pts - read.dts);
}

void VideoFrameReader::Impl::closeSegment()
{
    forgetDecoded();
    segmentOpen = false;
    draining = false;
    drainedForStart = false;
    lastPacketTimestamp = AV_NOPTS_VALUE;
    decoder.reset();
    format.reset();
    scaler.reset();
}

void VideoFrameReader::Impl::keep(Decoded picture)
{
    if (!picture.frame)
        return;
    keptBytes += pictureBytes(*picture.frame);
    kept.push_back(std::move(picture));
    while (!kept.empty() && (kept.size() > kKeptPictures || keptBytes > kKeptBytes)) {
        keptBytes -= pictureBytes(*kept.front().frame);
        kept.pop_front();
    }
}

VideoFrame VideoFrameReader::Impl::convert(const Decoded& decoded)
{
    VideoFrame picture;
    picture.time = std::max(decoded.shows, start);
    if (!decoded.frame)
        return picture;
    const AVFrame& source = *decoded.frame;
    AVRational aspect = av_guess_sample_aspect_ratio(format.get(), format->streams[streamIndex],
                                                     const_cast<AVFrame*>(&source));
    picture.pixelAspect = aspect.num > 0 && aspect.den > 0 ? av_q2d(aspect) : 1.0;
    scaler.reset(sws_getCachedContext(scaler.release(), source.width, source.height,
                                      static_cast<AVPixelFormat>(source.format), source.width, source.height,
                                      AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler)
        return picture;
    picture.image.width = source.width;
    picture.image.height = source.height;
    picture.image.rgb.resize(static_cast<std::size_t>(source.width) * source.height * 3);
    std::uint8_t* planes[1] = {picture.image.rgb.data()};
    int strides[1] = {source.width * 3};
    sws_scale(scaler.get(), source.data, source.linesize, 0, source.height, planes, strides);
    return picture;
}

// Takes a picture from the decoder: kept as the candidate for the start while it shows at or
// before it, queued after that.
void VideoFrameReader::Impl::accept(FramePtr decoded, double time, std::int64_t stamp)
{
    last = referenceTo(*decoded);
    lastTime = time;
    lastStamp = stamp;
    if (stamp <= startStamp) {
        held = std::move(decoded);
        heldTime = time;
        heldStamp = stamp;
        return;
    }
    releaseHeld();
    ready.push_back({time, stamp, std::move(decoded)});
}

VideoFrameReader::Impl::Progress VideoFrameReader::Impl::decodeMore(const std::function<bool()>& interrupted)
{
    for (;;) {
        int received = avcodec_receive_frame(decoder.get(), frame.get());
        if (received == 0) {
            // A picture without a time shows from the segment's start.
            std::int64_t stamp = frame->best_effort_timestamp == AV_NOPTS_VALUE ? kNever : frame->best_effort_timestamp;
            double time = stamp == kNever ? segment().targetRange.start.seconds() : compositionTime(stamp);
            if (stamp >= endStamp) {
                av_frame_unref(frame.get());
                releaseHeld();
                return ready.empty() ? Progress::SegmentEnded : Progress::Ready;
            }
            time = std::max(time, segment().targetRange.start.seconds());
            // Drained for the start, the pictures after it that were read come out with gaps
            // where those not read yet belong: they come again with the rest.
            if ((landing && !frame->key_frame) || (replaying && stamp <= lastStamp)
                || (drainedForStart && stamp > startStamp)) {
                av_frame_unref(frame.get());
                continue;
            }
            replaying = false;
            const bool showsAtStart = countedSinceSeek && readPastStart && frame->pts != AV_NOPTS_VALUE
                                   && frame->pts == latestBeforeStart;
            FramePtr decoded = makeFrame();
            av_frame_move_ref(decoded.get(), frame.get());
            if (landing) {
                bool wasAhead = stamp > startStamp;
                bool drained = drainedForKey;
                if (land(decoded, time, stamp)) {
                    if (drained)
                        decodeAgainFromKey(true);
                    return Progress::Ready;
                }
                if (wasAhead)
                    continue;
                // Behind the tolerances: decoded again on the way to the exact start.
                if (drained) {
                    decodeAgainFromKey(false);
                    continue;
                }
            }
            accept(std::move(decoded), time, stamp);
            if (showsAtStart)
                releaseHeld();
            if (!ready.empty())
                return Progress::Ready;
            continue;
        }
        if (drainedForStart && received == AVERROR_EOF) {
            // Every picture read has come out, the one showing at the start last: the pictures
            // after it are decoded from the key picture again, those given out passed over.
            releaseHeld();
            decodeAgainFromKey(true);
            if (!ready.empty())
                return Progress::Ready;
            continue;
        }
        if (drainedForKey) {
            // The key picture did not come out: the start is reached exactly instead.
            landing = false;
            seekInSegment();
            continue;
        }
        if (received == AVERROR_EOF || draining) {
            releaseHeld();
            return ready.empty() ? Progress::SegmentEnded : Progress::Ready;
        }
        if (interrupted && interrupted())
            return Progress::Interrupted;
        int read = av_read_frame(format.get(), packet.get());
        if (read < 0) {
            draining = true;
            avcodec_send_packet(decoder.get(), nullptr);
            continue;
        }
        if (packet->stream_index == streamIndex) {
            ++picturesSinceSeek;
            if (packet->dts != AV_NOPTS_VALUE)
                lastPacketTimestamp = packet->dts;
            // A picture that shows before another one already read that shows at or before
            // the start is never the one showing at the start: when nothing refers to it, it
            // need not be decoded at all; nor, when decoding again, one given out already.
            // Pictures referred to are always decoded, in full.
            std::int64_t shows = packet->pts == AV_NOPTS_VALUE ? startStamp : packet->pts;
            // (A tolerant start may yet move to the key picture: until it lands, nothing is skipped.)
            const bool passedOver = shows < latestBeforeStart || (replaying && shows <= lastStamp);
            decoder->skip_frame = !landing && passedOver ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
            if (!landing && shows <= startStamp)
                latestBeforeStart = std::max(latestBeforeStart, shows);
            if (landing || packet->pts == AV_NOPTS_VALUE || packet->dts == AV_NOPTS_VALUE || packet->pts < packet->dts)
                countedSinceSeek = false;
            else if (packet->dts > startStamp)
                readPastStart = true;
            // This picture and those after it show after the start: it is read again later.
            if (drainForStart && countedSinceSeek && readPastStart) {
                drainForStart = false;
                if (picturesSinceSeek <= kDrainedStartPictures + 1) {
                    drainedForStart = true;
                    avcodec_send_packet(decoder.get(), nullptr);
                    av_packet_unref(packet.get());
                    continue;
                }
            }
            learnKeyShowDelay(*packet);
            avcodec_send_packet(decoder.get(), packet.get());
            if (landing && (packet->flags & AV_PKT_FLAG_KEY)) {
                avcodec_send_packet(decoder.get(), nullptr);
                drainedForKey = true;
            }
        }
        av_packet_unref(packet.get());
    }
}

VideoFrameReader::VideoFrameReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
VideoFrameReader::~VideoFrameReader() = default;

MediaResult<std::unique_ptr<VideoFrameReader>> VideoFrameReader::make(const Composition& composition, int trackID,
                                                                      const MediaTime& start)
{
    const CompositionTrack* track = composition.trackWithID(trackID);
    if (!track || track->mediaType() != MediaType::Video)
        return makeMediaError(MediaErrorCode::NoVideoTrack, "The composition has no video track " + std::to_string(trackID) + ".");
    auto impl = std::make_unique<Impl>();
    impl->segments = track->segments();
    impl->position(start, 0, 0, false);
    return std::unique_ptr<VideoFrameReader>(new VideoFrameReader(std::move(impl)));
}

void VideoFrameReader::seek(const MediaTime& start, double toleranceBefore, double toleranceAfter, bool alone)
{
    impl_->position(start, toleranceBefore, toleranceAfter, alone);
}

std::optional<VideoFrame> VideoFrameReader::next(const std::function<bool()>& interrupted)
{
    Impl& d = *impl_;
    while (d.ready.empty() && !d.error && d.segmentIndex < d.segments.size()) {
        const CompositionSegment& segment = d.segment();
        if (!d.segmentOpen) {
            if (!d.openSegment())
                break;
            // Black from where the last segment ended up to this one.
            if (segment.targetRange.start.seconds() > d.shownUntil + 1e-9)
                d.ready.push_back({std::max(d.shownUntil, d.start), kNever, nullptr});
        }
        auto progress = d.decodeMore(interrupted);
        if (progress == Impl::Progress::Interrupted)
            return std::nullopt;
        if (progress == Impl::Progress::SegmentEnded) {
            d.shownUntil = segment.targetRange.end().seconds();
            d.closeSegment();
            ++d.segmentIndex;
        }
    }
    if (d.ready.empty())
        return std::nullopt;
    Decoded picture = std::move(d.ready.front());
    d.ready.pop_front();
    VideoFrame shown = d.convert(picture);
    d.keep(std::move(picture));
    return shown;
}

const std::optional<MediaError>& VideoFrameReader::error() const { return impl_->error; }

VideoFrameReader::Positioning VideoFrameReader::lastPositioning() const { return impl_->positioning; }

}  // namespace qv
