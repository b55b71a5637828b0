#include "CompositionAudioReader.h"

#include "FFmpegSupport.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

namespace qv {

namespace {

// Frames per buffer handed out. Defaults to 4096 (85 ms at 48 kHz).
constexpr int kBufferFrames = 4096;

// Exact: a time on a sample's start is that sample, however its seconds would round.
std::int64_t frameAt(const MediaTime& time, int rate) { return time.convertScale(rate).value; }

// One composition track read at the output rate: its segments in turn, silence between them.
struct TrackCursor {
    int trackID = 0;
    int channels = 0;
    int rate = 0;
    std::vector<CompositionSegment> segments;
    std::int64_t position = 0;  // next frame, counted from the composition's time zero
    std::int64_t end = 0;       // first frame past what is read
    std::size_t segmentIndex = 0;
    std::unique_ptr<AudioReader> reader;  // of segments[segmentIndex], once reached
    bool readerMoved = false;             // `reader` is to be moved to `position` before reading on
    std::vector<float> pending;           // decoded by `reader`, not yet taken
    std::size_t pendingOffset = 0;        // samples of `pending` already taken

    std::int64_t segmentStart(std::size_t i) const { return frameAt(segments[i].targetRange.start, rate); }
    std::int64_t segmentEnd(std::size_t i) const { return frameAt(segments[i].targetRange.end(), rate); }

    std::optional<MediaError> openReader();
    // Reads from `frame` to `last` from now on, keeping the reader when the frame lies in its segment.
    void moveTo(std::int64_t frame, std::int64_t last);
    // After the current segment's reader ended early: an error when its file ends before the
    // track it describes, which means the file was cut short.
    std::optional<MediaError> checkWhole() const;
    // Writes `frames` frames (fewer only at the end) into `out`; the count written, or an error.
    MediaResult<int> fill(float* out, int frames);
};

std::optional<MediaError> TrackCursor::openReader()
{
    const CompositionSegment& segment = segments[segmentIndex];
    // A scaled segment is read at the rate that gives its target length in output frames.
    double ratio = segment.targetRange.duration.seconds() / segment.sourceRange.duration.seconds();
    int readRate = std::max(1, static_cast<int>(std::lround(rate * ratio)));
    std::int64_t offset = std::max<std::int64_t>(0, position - segmentStart(segmentIndex));
    MediaTime skipped(offset, readRate);
    MediaTimeRange range{segment.sourceRange.start + skipped, segment.sourceRange.duration - skipped};
    pending.clear();
    pendingOffset = 0;
    // A reader kept open is moved (onto the file put in the place of its own, if one was); one
    // whose file went or cannot be read is opened again, which says what became of it.
    bool moved = reader && reader->sampleRate() == readRate && !reader->seek(range);
    readerMoved = false;
    if (moved)
        return std::nullopt;
    reader.reset();
    auto opened = AudioReader::forTrack(*segment.asset, segment.sourceTrackID, {PcmFormat::Float32, readRate}, range);
    if (!opened)
        return opened.error();
    reader = std::move(opened.value());
    return std::nullopt;
}

void TrackCursor::moveTo(std::int64_t frame, std::int64_t last)
{
    position = frame;
    end = std::max(frame, last);
    pending.clear();
    pendingOffset = 0;
    std::size_t index = 0;
    while (index < segments.size() && segmentEnd(index) <= position)
        ++index;
    if (index != segmentIndex)
        reader.reset();
    segmentIndex = index;
    readerMoved = reader != nullptr;
}

std::optional<MediaError> TrackCursor::checkWhole() const
{
    const CompositionSegment& segment = segments[segmentIndex];
    MediaTime trackEnd = segment.asset->duration();
    for (const auto& track : segment.asset->tracks())
        if (track.trackID == segment.sourceTrackID && track.timeRange.isValid() && track.timeRange.duration.isNumeric())
            trackEnd = track.timeRange.end();
    double expectedEnd = std::min(trackEnd.seconds(), segment.sourceRange.end().seconds());
    double ratio = segment.targetRange.duration.seconds() / segment.sourceRange.duration.seconds();
    double reachedEnd = segment.sourceRange.end().seconds()
                      - static_cast<double>(segmentEnd(segmentIndex) - position) / rate / ratio;
    // A little short is rounding and encoder padding; a tenth of a second or more is lost audio.
    if (!(expectedEnd - reachedEnd >= 0.1))
        return std::nullopt;
    return makeMediaError(MediaErrorCode::ReadFailed,
                          "The file “" + ffmpeg::displayName(segment.asset->path()) + "” ends before its audio does.",
                          "The file is truncated.");
}

MediaResult<int> TrackCursor::fill(float* out, int frames)
{
    int written = 0;
    while (written < frames && position < end) {
        while (segmentIndex < segments.size() && segmentEnd(segmentIndex) <= position) {
            ++segmentIndex;
            reader.reset();
        }
        std::int64_t want = std::min<std::int64_t>(frames - written, end - position);
        float* into = out + static_cast<std::ptrdiff_t>(written) * channels;
        if (segmentIndex >= segments.size() || position < segmentStart(segmentIndex)) {
            std::int64_t gapEnd = segmentIndex < segments.size() ? segmentStart(segmentIndex) : end;
            auto silent = static_cast<int>(std::min(want, gapEnd - position));
            std::fill(into, into + static_cast<std::ptrdiff_t>(silent) * channels, 0.0f);
            written += silent;
            position += silent;
            continue;
        }
        if (!reader || readerMoved)
            if (auto error = openReader())
                return *error;
        want = std::min(want, segmentEnd(segmentIndex) - position);
        int sourceChannels = reader->channelCount();
        if (pendingOffset >= pending.size()) {
            auto buffer = reader->copyNextSampleBuffer();
            if (!buffer) {
                if (reader->status() == AudioReader::Status::Failed && reader->error())
                    return *reader->error();
                if (auto error = checkWhole())
                    return *error;
                // The source ended where its track does, before the segment: the rest is silence.
                pending.assign(static_cast<std::size_t>(want) * sourceChannels, 0.0f);
            } else {
                pending = std::move(buffer->float32);
            }
            pendingOffset = 0;
            if (pending.empty())
                continue;
        }
        auto available = static_cast<std::int64_t>((pending.size() - pendingOffset) / sourceChannels);
        auto take = static_cast<int>(std::min(want, available));
        const float* from = pending.data() + pendingOffset;
        for (int f = 0; f < take; ++f)
            for (int c = 0; c < channels; ++c)
                into[f * channels + c] = c < sourceChannels ? from[f * sourceChannels + c] : 0.0f;
        pendingOffset += static_cast<std::size_t>(take) * sourceChannels;
        written += take;
        position += take;
    }
    return written;
}

}  // namespace

struct CompositionAudioReader::Impl {
    std::vector<TrackCursor> cursors;
    std::shared_ptr<AudioMixStage> mix;  // null when one track is read as it is
    int outputChannels = 0;
    int rate = 0;
    PcmFormat format = PcmFormat::Int16;
    MediaTimeRange range;
    MediaTime compositionDuration;
    std::int64_t framesEmitted = 0;
    std::atomic<bool> cancelled{false};
    Status status = Status::Reading;
    std::optional<MediaError> error;
    std::vector<float> scratch;

    std::optional<MediaError> place(MediaTimeRange asked);
};

// Sets up reading `asked` (see forTrack) from its start.
std::optional<MediaError> CompositionAudioReader::Impl::place(MediaTimeRange asked)
{
    if (asked.isValid() && !(asked.start.isNumeric() && asked.start >= MediaTime::zero()))
        return makeMediaError(MediaErrorCode::InvalidArgument, "The composition cannot be read from before its start.");
    MediaTime end = compositionDuration;
    if (asked.isValid() && asked.duration.isNumeric())
        end = asked.end();
    range = MediaTimeRange::fromStartEnd(asked.isValid() ? asked.start : MediaTime::zero(), end);
    for (auto& cursor : cursors)
        cursor.moveTo(frameAt(range.start, rate), frameAt(end, rate));
    framesEmitted = 0;
    status = Status::Reading;
    error.reset();
    return std::nullopt;
}

namespace {

MediaResult<TrackCursor> makeCursor(const CompositionTrack& track)
{
    TrackCursor cursor;
    cursor.trackID = track.trackID();
    cursor.segments = track.segments();
    const AssetTrack* source = track.firstSourceTrack();
    if (source && source->audio) {
        cursor.channels = source->audio->channelCount;
        cursor.rate = source->audio->sampleRate;
    }
    return cursor;
}

}  // namespace

MediaResult<std::unique_ptr<CompositionAudioReader::Impl>> CompositionAudioReader::open(
    const Composition& composition, const std::vector<int>& trackIDs, AudioOutputSettings settings,
    MediaTimeRange range)
{
    auto impl = std::make_unique<Impl>();
    impl->format = settings.format;
    for (int trackID : trackIDs) {
        const CompositionTrack* track = composition.trackWithID(trackID);
        if (!track || track->mediaType() != MediaType::Audio)
            return makeMediaError(MediaErrorCode::NoAudioTrack,
                                  "The composition has no audio track " + std::to_string(trackID) + ".");
        auto cursor = makeCursor(*track);
        impl->cursors.push_back(std::move(cursor.value()));
    }
    if (impl->cursors.empty())
        return makeMediaError(MediaErrorCode::NoAudioTrack, "No audio track of the composition was chosen.");
    impl->rate = settings.sampleRate;
    for (const auto& cursor : impl->cursors)
        if (impl->rate <= 0)
            impl->rate = cursor.rate;
    if (impl->rate <= 0)
        return makeMediaError(MediaErrorCode::DecodeFailed, "The audio format of the composition is not known.");
    for (auto& cursor : impl->cursors) {
        cursor.rate = impl->rate;
        if (cursor.channels <= 0)
            cursor.channels = 1;
    }
    impl->compositionDuration = composition.duration();
    if (auto error = impl->place(range))
        return *error;
    return impl;
}

MediaResult<std::unique_ptr<CompositionAudioReader>> CompositionAudioReader::forTrack(
    const Composition& composition, int trackID, AudioOutputSettings settings, MediaTimeRange range)
{
    auto opened = open(composition, {trackID}, settings, range);
    if (!opened)
        return opened.error();
    auto& impl = opened.value();
    impl->outputChannels = impl->cursors.front().channels;
    return std::unique_ptr<CompositionAudioReader>(new CompositionAudioReader(std::move(impl)));
}

MediaResult<std::unique_ptr<CompositionAudioReader>> CompositionAudioReader::forMix(
    const Composition& composition, std::shared_ptr<AudioMixStage> mix, int outputChannels,
    AudioOutputSettings settings, MediaTimeRange range)
{
    if (!mix || (outputChannels != 1 && outputChannels != 2))
        return makeMediaError(MediaErrorCode::InvalidArgument, "The composition can be mixed to one or two channels only.");
    auto opened = open(composition, mix->trackIDs(), settings, range);
    if (!opened)
        return opened.error();
    auto& impl = opened.value();
    impl->outputChannels = outputChannels;
    impl->mix = std::move(mix);
    return std::unique_ptr<CompositionAudioReader>(new CompositionAudioReader(std::move(impl)));
}

CompositionAudioReader::CompositionAudioReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CompositionAudioReader::~CompositionAudioReader() = default;

std::optional<AudioSampleBuffer> CompositionAudioReader::copyNextSampleBuffer()
{
    Impl& d = *impl_;
    if (d.status != Status::Reading)
        return std::nullopt;
    if (d.cancelled.load()) {
        d.status = Status::Cancelled;
        return std::nullopt;
    }
    std::int64_t remaining = d.cursors.front().end - d.cursors.front().position;
    auto frames = static_cast<int>(std::min<std::int64_t>(remaining, kBufferFrames));
    if (frames <= 0) {
        d.status = Status::Completed;
        return std::nullopt;
    }
    std::vector<float> samples(static_cast<std::size_t>(frames) * d.outputChannels, 0.0f);
    for (auto& cursor : d.cursors) {
        float* target = samples.data();
        if (d.mix) {
            d.scratch.resize(static_cast<std::size_t>(frames) * cursor.channels);
            target = d.scratch.data();
        }
        auto filled = cursor.fill(target, frames);
        if (!filled) {
            d.status = Status::Failed;
            d.error = filled.error();
            return std::nullopt;
        }
        if (d.mix)
            d.mix->mixTrack(cursor.trackID, target, cursor.channels, filled.value(), samples.data(), d.outputChannels);
    }
    AudioSampleBuffer buffer;
    buffer.sampleRate = d.rate;
    buffer.channelCount = d.outputChannels;
    buffer.frameCount = frames;
    buffer.presentationTime = d.range.start + MediaTime(d.framesEmitted, d.rate);
    buffer.duration = MediaTime(frames, d.rate);
    d.framesEmitted += frames;
    if (d.format == PcmFormat::Float32) {
        buffer.float32 = std::move(samples);
    } else {
        buffer.int16.resize(samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i)
            buffer.int16[i] = static_cast<std::int16_t>(std::lrint(std::clamp(samples[i] * 32768.0f, -32768.0f, 32767.0f)));
    }
    return buffer;
}

std::optional<MediaError> CompositionAudioReader::seek(MediaTimeRange range) { return impl_->place(range); }

void CompositionAudioReader::cancelReading() { impl_->cancelled = true; }

CompositionAudioReader::Status CompositionAudioReader::status() const
{
    if (impl_->status == Status::Reading && impl_->cancelled.load())
        return Status::Cancelled;
    return impl_->status;
}

const std::optional<MediaError>& CompositionAudioReader::error() const { return impl_->error; }
int CompositionAudioReader::sampleRate() const { return impl_->rate; }
int CompositionAudioReader::channelCount() const { return impl_->outputChannels; }
MediaTimeRange CompositionAudioReader::timeRange() const { return impl_->range; }

}  // namespace qv
