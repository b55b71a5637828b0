#include "AudioReader.h"

#include "FFmpegSupport.h"
#include "FileIdentity.h"
#include "TrackEnd.h"
#include "WaveChunks.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

namespace qv {

using namespace ffmpeg;

namespace {

// Frames per buffer handed out. Defaults to 4096 (85 ms at 48 kHz).
constexpr int kBufferFrames = 4096;

// One track being decoded and converted to the output rate and channels. Each track reads the
// file through its own demuxer, so that tracks stored far apart in the file never make the
// reader hold one track's audio while it looks for another's.
struct Source {
    FormatContextPtr format;
    int streamIndex = 0;
    AVRational timeBase{0, 1};
    double fileStart = 0;  // seconds of the file's clock at the asset's time zero
    std::int64_t fileStartStamp = 0;  // the same in AV_TIME_BASE units
    CodecContextPtr decoder;
    ResamplerPtr resampler;
    // The decoded format the resampler was set up for; a stream may change it part-way.
    int resamplerInputRate = 0;
    int resamplerInputChannels = 0;
    int resamplerInputFormat = -1;
    // How far before a start decoding begins, so that the decoder's state (the overlap of its
    // transforms, the bits a packet borrows from those before it) is whole at the start.
    double preRollSeconds = 0;
    AudioMixInputParameters parameters;  // used when mixing
    std::vector<std::uint8_t> pending;    // converted, interleaved, not yet handed out
    // Silence before `pending`, for a track that starts after the range does; made a buffer at
    // a time, so that a track starting an hour in does not hold an hour of zeros.
    std::int64_t leadingSilence = 0;
    std::int64_t framesToDrop = 0;        // decoded before the start of the range
    std::int64_t framesProduced = 0;      // placed on the time line of the range so far
    std::int64_t framesExpected = -1;     // up to the track's stated end; -1 when unknown
    std::int64_t endTolerance = 0;        // frames the track may fall short of framesExpected
    bool positioned = false;              // the first frame has been placed on the time line
    bool finished = false;
    bool decodedAny = false;
    int invalidPackets = 0;
};

// Packets decoded before a start, for codecs whose packets depend on those before them.
constexpr int kPreRollPackets = 8;
// The packet length assumed when the stream does not state one (as for Vorbis, whose packets vary).
constexpr int kAssumedPacketFrames = 2048;

double preRollSeconds(const AVCodecParameters& codec)
{
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec.codec_id);
    // Lossless codecs (PCM, FLAC) code each packet on its own; lossy ones overlap their blocks.
    if (codec.sample_rate <= 0 || (descriptor && !(descriptor->props & AV_CODEC_PROP_LOSSY)))
        return 0;
    int packetFrames = codec.frame_size > 0 ? codec.frame_size : kAssumedPacketFrames;
    return static_cast<double>(std::max(codec.seek_preroll, 0) + kPreRollPackets * packetFrames) / codec.sample_rate;
}

// Opens the file for reading the audio stream `streamIndex` for `request`'s track.
MediaResult<Source> openSource(const std::string& path, int streamIndex, const AudioMixInputParameters& request)
{
    auto opened = openInput(path);
    if (!opened)
        return opened.error();
    AVFormatContext& context = *opened.value();
    if (streamIndex < 0 || streamIndex >= static_cast<int>(context.nb_streams)
        || context.streams[streamIndex]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
        return makeMediaError(MediaErrorCode::NoAudioTrack, "The file “" + displayName(path) + "” has no audio track "
                                                                + std::to_string(request.trackID) + ".");
    const AVStream& stream = *context.streams[streamIndex];
    auto decoder = openDecoder(stream, path);
    if (!decoder)
        return decoder.error();
    for (unsigned i = 0; i < context.nb_streams; ++i)
        context.streams[i]->discard = static_cast<int>(i) == streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    Source source;
    source.streamIndex = streamIndex;
    source.timeBase = stream.time_base;
    source.fileStart = fileStartSeconds(context);
    source.fileStartStamp = fileStartTimestamp(context);
    source.preRollSeconds = preRollSeconds(*stream.codecpar);
    source.parameters = request;
    source.decoder = std::move(decoder.value());
    source.format = std::move(opened.value());
    return source;
}

// Opens the file for reading `request`'s track as `asset` describes it.
MediaResult<Source> openTrack(const Asset& asset, const AudioMixInputParameters& request)
{
    const auto& tracks = asset.tracks();
    auto track = std::find_if(tracks.begin(), tracks.end(), [&](const AssetTrack& t) {
        return t.trackID == request.trackID && t.mediaType == MediaType::Audio;
    });
    return openSource(asset.path(), track == tracks.end() ? -1 : track->streamIndex, request);
}

}  // namespace

struct AudioReader::Impl {
    std::string path;
    // Of the file as opened (taken before opening it, so that a file put in its place meanwhile
    // is at worst opened once more).
    std::optional<FileIdentity> identity;
    MediaTime assetDuration;
    std::vector<Source> sources;
    bool mixing = false;
    int outputChannels = 0;
    int outputRate = 0;
    PcmFormat outputFormat = PcmFormat::Int16;
    std::size_t convertedSampleBytes = 2;  // of the samples in Source::pending
    MediaTimeRange range;
    double startSeconds = 0;
    std::int64_t framesTotal = -1;  // -1: up to the end of the file
    std::int64_t framesEmitted = 0;
    // The file holds fewer bytes than its header declares, and reading goes up to where they
    // end: reaching the end is a failure, not the end of the audio.
    bool cutShort = false;
    std::atomic<bool> cancelled{false};
    Status status = Status::Reading;
    std::optional<MediaError> error;
    PacketPtr packet = makePacket();
    FramePtr frame = makeFrame();

    std::size_t frameBytes() const { return convertedSampleBytes * static_cast<std::size_t>(outputChannels); }
    std::int64_t pendingFrames(const Source& source) const
    {
        return source.leadingSilence + static_cast<std::int64_t>(source.pending.size() / frameBytes());
    }

    void fail(MediaErrorCode code, const std::string& description, const std::string& reason = {})
    {
        status = Status::Failed;
        error = makeMediaError(code, description, reason);
    }
    void failTruncated()
    {
        fail(MediaErrorCode::ReadFailed, "The file “" + displayName(path) + "” ends before its audio does.",
             "The file is truncated.");
    }

    std::optional<MediaError> refusedStart(const MediaTimeRange& asked) const;
    std::optional<MediaError> position(MediaTimeRange asked);
    std::optional<MediaError> reopen(const FileIdentity& now);
    std::optional<MediaError> positionSource(Source& source, double rangeEnd);
    bool setUpResampler(Source& source, const AVFrame& decoded);
    void convert(Source& source, const AVFrame* decoded);
    bool receiveFrames(Source& source);
    void finish(Source& source);
    void readMore(Source& source);
    Source* hungriestSource();
    std::optional<AudioSampleBuffer> takeReady();
};

bool AudioReader::Impl::setUpResampler(Source& source, const AVFrame& decoded)
{
    AVChannelLayout input{};
    if (decoded.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&input, decoded.ch_layout.nb_channels);
    else
        av_channel_layout_copy(&input, &decoded.ch_layout);
    // Always the reader's channel count: buffers are sized by it, whatever a frame holds.
    AVChannelLayout output{};
    if (mixing || input.nb_channels != outputChannels)
        av_channel_layout_default(&output, outputChannels);
    else
        av_channel_layout_copy(&output, &input);
    AVSampleFormat outputSampleFormat = convertedSampleBytes == 2 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLT;

    SwrContext* raw = nullptr;
    int result = swr_alloc_set_opts2(&raw, &output, outputSampleFormat, outputRate, &input,
                                     static_cast<AVSampleFormat>(decoded.format), decoded.sample_rate, 0, nullptr);
    source.resampler.reset(raw);
    if (result >= 0 && mixing) {
        // Our own gains, so that nothing is normalised or boosted on the way.
        int inputs = input.nb_channels;
        std::vector<double> matrix(static_cast<std::size_t>(inputs) * outputChannels);
        // A gain that is not a number (1/0 when no channel is enabled) silences its channel.
        for (int out = 0; out < outputChannels; ++out)
            for (int in = 0; in < inputs; ++in) {
                double gain = static_cast<double>(source.parameters.gainOfChannel(in)) * source.parameters.outputGain;
                matrix[static_cast<std::size_t>(out) * inputs + in] = std::isfinite(gain) ? gain : 0.0;
            }
        result = swr_set_matrix(raw, matrix.data(), inputs);
    }
    if (result >= 0)
        result = swr_init(raw);
    source.resamplerInputRate = decoded.sample_rate;
    source.resamplerInputChannels = decoded.ch_layout.nb_channels;
    source.resamplerInputFormat = decoded.format;
    av_channel_layout_uninit(&input);
    av_channel_layout_uninit(&output);
    if (result < 0) {
        fail(MediaErrorCode::DecodeFailed, "The audio of “" + displayName(path) + "” cannot be converted.",
             errorText(result));
        return false;
    }
    return true;
}

// Converts one decoded frame (or, with null, what the resampler still holds) onto the end of
// the source's pending samples, placing the first frame on the time line of the range.
void AudioReader::Impl::convert(Source& source, const AVFrame* decoded)
{
    if (!source.resampler)
        return;
    if (decoded && !source.positioned) {
        source.positioned = true;
        std::int64_t timestamp = decoded->best_effort_timestamp;
        if (timestamp != AV_NOPTS_VALUE) {
            std::int64_t offsetFrames = samplesFromTo(range.start.isNumeric() ? range.start : MediaTime::zero(), timestamp,
                                                      source.fileStartStamp, source.timeBase, outputRate);
            if (offsetFrames > 0) {
                source.leadingSilence = offsetFrames;
                source.framesProduced += offsetFrames;
            } else {
                source.framesToDrop = -offsetFrames;
            }
        }
    }
    int inputFrames = decoded ? decoded->nb_samples : 0;
    int capacity = swr_get_out_samples(source.resampler.get(), inputFrames);
    if (capacity <= 0)
        return;
    std::size_t oldSize = source.pending.size();
    source.pending.resize(oldSize + static_cast<std::size_t>(capacity) * frameBytes());
    std::uint8_t* out = source.pending.data() + oldSize;
    int converted = swr_convert(source.resampler.get(), &out, capacity,
                                decoded ? const_cast<const std::uint8_t**>(decoded->extended_data) : nullptr,
                                inputFrames);
    source.pending.resize(oldSize + static_cast<std::size_t>(std::max(converted, 0)) * frameBytes());
    source.framesProduced += std::max(converted, 0);
    if (converted < 0) {
        fail(MediaErrorCode::DecodeFailed, "The audio of “" + displayName(path) + "” cannot be converted.",
             errorText(converted));
        return;
    }
    if (source.framesToDrop > 0) {
        std::int64_t dropped = std::min(source.framesToDrop, static_cast<std::int64_t>(source.pending.size() / frameBytes()));
        source.pending.erase(source.pending.begin(),
                             source.pending.begin() + static_cast<std::ptrdiff_t>(dropped * frameBytes()));
        source.framesToDrop -= dropped;
        source.framesProduced -= dropped;
    }
}

// Takes every frame the decoder has ready. False once reading has failed.
bool AudioReader::Impl::receiveFrames(Source& source)
{
    for (;;) {
        int result = avcodec_receive_frame(source.decoder.get(), frame.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return true;
        if (result == AVERROR_INVALIDDATA) {
            ++source.invalidPackets;
            continue;
        }
        if (result < 0) {
            fail(MediaErrorCode::DecodeFailed, "The audio of “" + displayName(path) + "” cannot be decoded.",
                 errorText(result));
            return false;
        }
        source.decodedAny = true;
        // A frame of another format than the one before (a stream joined from parts) would
        // make the resampler read channels the frame does not have: finish the old one first.
        if (source.resampler
            && (frame->sample_rate != source.resamplerInputRate
                || frame->ch_layout.nb_channels != source.resamplerInputChannels
                || frame->format != source.resamplerInputFormat)) {
            convert(source, nullptr);
            source.resampler.reset();
            if (status != Status::Reading)
                return false;
        }
        if (!source.resampler && !setUpResampler(source, *frame))
            return false;
        convert(source, frame.get());
        av_frame_unref(frame.get());
        if (status != Status::Reading)
            return false;
    }
}

// Drains the decoder and the resampler of a track whose file has ended, and checks that the
// track was whole.
void AudioReader::Impl::finish(Source& source)
{
    avcodec_send_packet(source.decoder.get(), nullptr);
    if (!receiveFrames(source))
        return;
    convert(source, nullptr);
    source.finished = true;
    if (!source.decodedAny && source.invalidPackets > 0) {
        fail(MediaErrorCode::DecodeFailed, "The audio of “" + displayName(path) + "” cannot be decoded.",
             errorText(AVERROR_INVALIDDATA));
        return;
    }
    // A file that ends before its track says it does, by more than the format can be unsure
    // of, has lost its end.
    if (cutShort || (source.framesExpected >= 0 && source.framesProduced + source.endTolerance < source.framesExpected))
        failTruncated();
}

void AudioReader::Impl::readMore(Source& source)
{
    AVFormatContext& format = *source.format;
    int result = av_read_frame(&format, packet.get());
    if (result < 0 && result != AVERROR_EOF && !(format.pb && avio_feof(format.pb))) {
        fail(MediaErrorCode::ReadFailed, "Reading the audio of “" + displayName(path) + "” failed.",
             errorText(result));
        return;
    }
    if (result < 0) {
        finish(source);
        return;
    }
    if (packet->stream_index == source.streamIndex) {
        int sent = avcodec_send_packet(source.decoder.get(), packet.get());
        if (sent == AVERROR_INVALIDDATA)
            ++source.invalidPackets;
        else if (sent < 0 && sent != AVERROR(EAGAIN))
            fail(MediaErrorCode::DecodeFailed, "The audio of “" + displayName(path) + "” cannot be decoded.",
                 errorText(sent));
        if (status == Status::Reading)
            receiveFrames(source);
    }
    av_packet_unref(packet.get());
}

// The unfinished track with the least audio waiting: the one the next buffer waits for.
Source* AudioReader::Impl::hungriestSource()
{
    Source* hungriest = nullptr;
    for (auto& source : sources)
        if (!source.finished && (!hungriest || pendingFrames(source) < pendingFrames(*hungriest)))
            hungriest = &source;
    return hungriest;
}

std::optional<AudioSampleBuffer> AudioReader::Impl::takeReady()
{
    std::int64_t remaining = framesTotal < 0 ? std::numeric_limits<std::int64_t>::max() : framesTotal - framesEmitted;
    if (remaining <= 0) {
        if (cutShort)
            failTruncated();
        else
            status = Status::Completed;
        return std::nullopt;
    }
    bool allFinished = true;
    std::int64_t available = std::numeric_limits<std::int64_t>::max();
    std::int64_t mostPending = 0;
    for (const auto& source : sources) {
        mostPending = std::max(mostPending, pendingFrames(source));
        if (!source.finished) {
            allFinished = false;
            available = std::min(available, pendingFrames(source));
        }
    }
    if (allFinished) {
        if (mostPending == 0) {
            status = Status::Completed;
            return std::nullopt;
        }
        available = mostPending;
    } else if (available < kBufferFrames && available < remaining) {
        return std::nullopt;
    }
    std::int64_t frames = std::min({available, remaining, static_cast<std::int64_t>(kBufferFrames)});
    for (auto& source : sources) {
        std::int64_t silence = std::min(source.leadingSilence, frames);
        source.pending.insert(source.pending.begin(), static_cast<std::size_t>(silence) * frameBytes(), 0);
        source.leadingSilence -= silence;
    }

    AudioSampleBuffer buffer;
    buffer.sampleRate = outputRate;
    buffer.channelCount = outputChannels;
    buffer.frameCount = static_cast<int>(frames);
    std::size_t samples = static_cast<std::size_t>(frames) * outputChannels;
    std::vector<float> mixed;
    if (convertedSampleBytes == 2) {
        buffer.int16.resize(samples);
        std::memcpy(buffer.int16.data(), sources.front().pending.data(), samples * 2);
    } else {
        mixed.assign(samples, 0.0f);
        for (const auto& source : sources) {
            std::size_t count = std::min(samples, source.pending.size() / sizeof(float));
            const auto* in = reinterpret_cast<const float*>(source.pending.data());
            for (std::size_t i = 0; i < count; ++i)
                mixed[i] += in[i];
        }
    }
    for (auto& source : sources) {
        std::size_t bytes = std::min(source.pending.size(), static_cast<std::size_t>(frames) * frameBytes());
        source.pending.erase(source.pending.begin(), source.pending.begin() + static_cast<std::ptrdiff_t>(bytes));
    }
    if (outputFormat == PcmFormat::Float32) {
        buffer.float32 = std::move(mixed);
    } else if (convertedSampleBytes == 4) {
        buffer.int16.resize(samples);
        for (std::size_t i = 0; i < samples; ++i)
            buffer.int16[i] = static_cast<std::int16_t>(std::lrint(std::clamp(mixed[i] * 32768.0f, -32768.0f, 32767.0f)));
    }
    buffer.presentationTime = range.start + MediaTime(framesEmitted, outputRate);
    buffer.duration = MediaTime(frames, outputRate);
    framesEmitted += frames;
    return buffer;
}

// Opens the file that took the place of the one read, its tracks looked up anew by their ids;
// the sources stay as they were when it cannot be read.
std::optional<MediaError> AudioReader::Impl::reopen(const FileIdentity& now)
{
    auto asset = Asset::inspect(path);
    if (!asset)
        return asset.error();
    std::vector<Source> reopened;
    for (const auto& source : sources) {
        auto opened = openTrack(asset.value(), source.parameters);
        if (!opened)
            return opened.error();
        reopened.push_back(std::move(opened.value()));
    }
    sources = std::move(reopened);
    assetDuration = asset->duration();
    identity = now;
    return std::nullopt;
}

// Sets up reading `asked` (see forTrack) from the sources as they are: after open, or to read
// another part with the files kept open.
std::optional<MediaError> AudioReader::Impl::refusedStart(const MediaTimeRange& asked) const
{
    // The time before zero holds no audio: reading it would only make silence, as much as asked.
    if (asked.isValid() && !(asked.start.isNumeric() && asked.start >= MediaTime::zero()))
        return makeMediaError(MediaErrorCode::InvalidArgument,
                              "The audio of “" + displayName(path) + "” cannot be read from before its start.");
    return std::nullopt;
}

std::optional<MediaError> AudioReader::Impl::position(MediaTimeRange asked)
{
    if (auto refused = refusedStart(asked))
        return refused;
    framesTotal = -1;
    if (asked.isValid() && asked.duration.isNumeric()) {
        range = asked;
        framesTotal = std::llround(asked.duration.seconds() * outputRate);
    } else {
        // Up to the end of the asset, from the start asked for.
        range = {MediaTime::zero(), assetDuration};
        if (asked.isValid() && assetDuration.isNumeric()) {
            range.start = asked.start;
            range.duration = std::max(assetDuration - asked.start, MediaTime::zero());
        }
    }
    startSeconds = range.start.isNumeric() ? range.start.seconds() : 0.0;
    framesEmitted = 0;
    status = Status::Reading;
    error.reset();
    // A WAVE file cut short states the length of its audio only in its data chunk: FFmpeg gives
    // the asset the length of the bytes there are. A read that goes up to where they end fails.
    cutShort = false;
    if (wave::isCutShort(path)) {
        double end = framesTotal < 0 ? std::numeric_limits<double>::infinity()
                                     : startSeconds + asked.duration.seconds();
        bool reachesEnd = !assetDuration.isNumeric() || end + kEndToleranceSeconds >= assetDuration.seconds();
        cutShort = reachesEnd;
    }
    double rangeEnd = framesTotal >= 0 ? startSeconds + asked.duration.seconds()
                                       : std::numeric_limits<double>::infinity();
    for (auto& source : sources)
        if (auto failed = positionSource(source, rangeEnd)) {
            status = Status::Failed;
            error = failed;
            return failed;
        }
    return std::nullopt;
}

std::optional<MediaError> AudioReader::Impl::positionSource(Source& source, double rangeEnd)
{
    // A source that has read nothing yet stands at the start of its file.
    bool atFileStart = !source.positioned && !source.finished && source.framesProduced == 0 && !source.decodedAny;
    // Before zero lie the packets of the encoder's delay (an AAC track's priming), which the
    // decoder needs as much as any other.
    double from = startSeconds - source.preRollSeconds;
    if (!(atFileStart && from <= 0)) {
        std::int64_t target = streamTimestampFromSeconds(from + source.fileStart, source.timeBase);
        // Some demuxers cannot seek from every place they have read to: a FLAC file without a
        // seek table, its index half built, fails; an Ogg file can land with its timestamps
        // off. A fresh open of the file seeks right.
        bool reopen = (!atFileStart && std::string_view(source.format->iformat->name) == "ogg")
                   || av_seek_frame(source.format.get(), source.streamIndex, target, AVSEEK_FLAG_BACKWARD) < 0;
        if (reopen) {
            auto reopened = openSource(path, source.streamIndex, source.parameters);
            if (!reopened)
                return reopened.error();
            source.format = std::move(reopened.value().format);
            source.decoder = std::move(reopened.value().decoder);
            if (from > 0)
                av_seek_frame(source.format.get(), source.streamIndex, target, AVSEEK_FLAG_BACKWARD);
        }
        // From the start, a decoder as new as the one that read from there first: a flushed one
        // may keep a trace of where it was (the window shape of an AAC decoder).
        auto fresh = from <= 0 ? openDecoder(*source.format->streams[source.streamIndex], path)
                               : MediaResult<CodecContextPtr>(nullptr);
        if (fresh && fresh.value())
            source.decoder = std::move(fresh.value());
        else
            avcodec_flush_buffers(source.decoder.get());
    }
    source.resampler.reset();
    source.pending.clear();
    source.leadingSilence = 0;
    source.framesToDrop = 0;
    source.framesProduced = 0;
    source.framesExpected = -1;
    source.endTolerance = 0;
    source.positioned = false;
    source.finished = false;
    source.decodedAny = false;
    source.invalidPackets = 0;

    const AVFormatContext& context = *source.format;
    const AVStream& stream = *context.streams[source.streamIndex];
    // Where the track should end, unless the container only guessed its length from the bit rate.
    auto statedEnd = trackend::statedEnd(context, stream);
    if (!statedEnd)
        return std::nullopt;
    double trackEnd = static_cast<double>(*statedEnd) * av_q2d(stream.time_base) - source.fileStart;
    double end = std::min(trackEnd, rangeEnd);
    source.framesExpected = std::max<std::int64_t>(0, std::llround((end - startSeconds) * outputRate));
    source.endTolerance = trackend::toleranceFrames(*stream.codecpar, outputRate);
    return std::nullopt;
}

MediaResult<std::unique_ptr<AudioReader>> AudioReader::open(const Asset& asset, const AudioMix& mix,
                                                           int mixChannels, AudioOutputSettings settings,
                                                           MediaTimeRange range)
{
    const auto& requests = mix.inputParameters;
    const std::string& path = asset.path();
    if (requests.empty())
        return makeMediaError(MediaErrorCode::NoAudioTrack, "No audio track of “" + displayName(path) + "” was chosen.");
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    impl->mixing = mixChannels > 0;
    impl->outputFormat = settings.format;
    impl->convertedSampleBytes = !impl->mixing && settings.format == PcmFormat::Int16 ? 2 : 4;

    impl->identity = fileIdentity(path);
    for (const auto& request : requests) {
        auto opened = openTrack(asset, request);
        if (!opened)
            return opened.error();
        Source& source = opened.value();
        const AVStream& stream = *source.format->streams[source.streamIndex];
        impl->sources.push_back(std::move(source));
        if (impl->outputRate == 0)
            impl->outputRate = settings.sampleRate > 0 ? settings.sampleRate : stream.codecpar->sample_rate;
        if (impl->outputChannels == 0)
            impl->outputChannels = impl->mixing ? mixChannels : stream.codecpar->ch_layout.nb_channels;
    }
    if (impl->outputRate <= 0 || impl->outputChannels <= 0)
        return makeMediaError(MediaErrorCode::DecodeFailed,
                              "The audio format of “" + displayName(path) + "” is not known.");

    impl->assetDuration = asset.duration();
    if (auto error = impl->position(range))
        return *error;
    return std::unique_ptr<AudioReader>(new AudioReader(std::move(impl)));
}

AudioReader::AudioReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
AudioReader::~AudioReader() = default;

MediaResult<std::unique_ptr<AudioReader>> AudioReader::forTrack(const Asset& asset, int trackID,
                                                                AudioOutputSettings settings, MediaTimeRange range)
{
    AudioMix single;
    single.inputParameters.push_back({trackID, {}, 1.0f, 1.0f});
    return open(asset, single, 0, settings, range);
}

MediaResult<std::unique_ptr<AudioReader>> AudioReader::forMix(const Asset& asset, const AudioMix& mix,
                                                              int outputChannels, AudioOutputSettings settings,
                                                              MediaTimeRange range)
{
    if (outputChannels != 1 && outputChannels != 2)
        return makeMediaError(MediaErrorCode::InvalidArgument,
                              "The audio of “" + ffmpeg::displayName(asset.path()) + "” can be mixed to one or two channels only.");
    return open(asset, mix, outputChannels, settings, range);
}

std::optional<MediaError> AudioReader::seek(MediaTimeRange range)
{
    Impl& d = *impl_;
    if (auto refused = d.refusedStart(range))
        return refused;
    // The files stay open: when another file has taken the place of the one opened, it is the
    // file asked for now and is read instead; one removed is gone.
    std::optional<FileIdentity> now = fileIdentity(d.path);
    std::optional<MediaError> failed;
    if (!now)
        failed = makeMediaError(MediaErrorCode::FileNotFound, "The file “" + displayName(d.path) + "” could not be found.");
    else if (now != d.identity)
        failed = d.reopen(*now);
    if (failed) {
        d.status = Status::Failed;
        d.error = failed;
        return failed;
    }
    return d.position(range);
}

std::optional<AudioSampleBuffer> AudioReader::copyNextSampleBuffer()
{
    Impl& d = *impl_;
    while (d.status == Status::Reading) {
        if (d.cancelled.load()) {
            d.status = Status::Cancelled;
            break;
        }
        if (auto buffer = d.takeReady())
            return buffer;
        if (Source* source = d.status == Status::Reading ? d.hungriestSource() : nullptr)
            d.readMore(*source);
    }
    return std::nullopt;
}

void AudioReader::cancelReading() { impl_->cancelled = true; }

AudioReader::Status AudioReader::status() const
{
    if (impl_->status == Status::Reading && impl_->cancelled.load())
        return Status::Cancelled;
    return impl_->status;
}

const std::optional<MediaError>& AudioReader::error() const { return impl_->error; }
int AudioReader::sampleRate() const { return impl_->outputRate; }
int AudioReader::channelCount() const { return impl_->outputChannels; }
MediaTimeRange AudioReader::timeRange() const { return impl_->range; }

}  // namespace qv
