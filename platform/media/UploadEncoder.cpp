#include "UploadEncoder.h"

#include "AudioReader.h"
#include "CompositionAudioReader.h"
#include "FFmpegSupport.h"

#include "platform/foundation/FileUtilities.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace qv {

using namespace ffmpeg;

namespace {

struct OutputDeleter {
    void operator()(AVFormatContext* context) const
    {
        if (context->pb)
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
using OutputPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;

// The open M4A file and its AAC encoder; samples go in mono, 32 kHz, as floats.
class AacWriter {
public:
    // Writes the file at `path`; errors name the file by `shownPath`.
    AacWriter(std::string path, std::string shownPath) : path_(std::move(path)), shownPath_(std::move(shownPath)) {}

    std::optional<MediaError> open()
    {
        AVFormatContext* raw = nullptr;
        int result = avformat_alloc_output_context2(&raw, nullptr, "ipod", nullptr);
        if (result < 0)
            return failure(result);
        output_.reset(raw);
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!codec)
            return failure(AVERROR_ENCODER_NOT_FOUND);
        encoder_.reset(avcodec_alloc_context3(codec));
        encoder_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        encoder_->sample_rate = UploadEncoder::kSampleRate;
        encoder_->bit_rate = UploadEncoder::kBitRate;
        encoder_->profile = FF_PROFILE_AAC_LOW;
        encoder_->time_base = {1, UploadEncoder::kSampleRate};
        av_channel_layout_default(&encoder_->ch_layout, UploadEncoder::kChannels);
        if (output_->oformat->flags & AVFMT_GLOBALHEADER)
            encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if ((result = avcodec_open2(encoder_.get(), codec, nullptr)) < 0)
            return failure(result);
        stream_ = avformat_new_stream(output_.get(), nullptr);
        if (!stream_)
            return failure(AVERROR(ENOMEM));
        stream_->time_base = encoder_->time_base;
        if ((result = avcodec_parameters_from_context(stream_->codecpar, encoder_.get())) < 0)
            return failure(result);
        if ((result = avio_open(&output_->pb, fileUrl(path_).c_str(), AVIO_FLAG_WRITE)) < 0)
            return failure(result);
        if ((result = avformat_write_header(output_.get(), nullptr)) < 0)
            return failure(result);
        frameSize_ = encoder_->frame_size > 0 ? encoder_->frame_size : 1024;
        return std::nullopt;
    }

    std::optional<MediaError> append(const std::vector<float>& samples)
    {
        waiting_.insert(waiting_.end(), samples.begin(), samples.end());
        std::size_t used = 0;
        while (waiting_.size() - used >= static_cast<std::size_t>(frameSize_)) {
            if (auto error = encode(waiting_.data() + used, frameSize_))
                return error;
            used += static_cast<std::size_t>(frameSize_);
        }
        waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(used));
        return std::nullopt;
    }

    std::optional<MediaError> finish()
    {
        if (!waiting_.empty())
            if (auto error = encode(waiting_.data(), static_cast<int>(waiting_.size())))
                return error;
        int result = avcodec_send_frame(encoder_.get(), nullptr);
        if (result < 0)
            return failure(result);
        if (auto error = drainPackets())
            return error;
        if ((result = av_write_trailer(output_.get())) < 0)
            return failure(result);
        if ((result = avio_closep(&output_->pb)) < 0)
            return failure(result);
        return std::nullopt;
    }

    // Closes the file without finishing it.
    void abandon() { output_.reset(); }

private:
    std::optional<MediaError> encode(const float* samples, int count)
    {
        FramePtr frame = makeFrame();
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = UploadEncoder::kSampleRate;
        frame->nb_samples = count;
        av_channel_layout_default(&frame->ch_layout, UploadEncoder::kChannels);
        int result = av_frame_get_buffer(frame.get(), 0);
        if (result < 0)
            return failure(result);
        std::memcpy(frame->data[0], samples, static_cast<std::size_t>(count) * sizeof(float));
        frame->pts = samplesSent_;
        samplesSent_ += count;
        if ((result = avcodec_send_frame(encoder_.get(), frame.get())) < 0)
            return failure(result);
        return drainPackets();
    }

    std::optional<MediaError> drainPackets()
    {
        PacketPtr packet = makePacket();
        for (;;) {
            int result = avcodec_receive_packet(encoder_.get(), packet.get());
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
                return std::nullopt;
            if (result < 0)
                return failure(result);
            av_packet_rescale_ts(packet.get(), encoder_->time_base, stream_->time_base);
            packet->stream_index = stream_->index;
            if ((result = av_interleaved_write_frame(output_.get(), packet.get())) < 0)
                return failure(result);
        }
    }

    MediaError failure(int result) const
    {
        return makeMediaError(MediaErrorCode::WriteFailed,
                              "The audio file “" + displayName(shownPath_) + "” could not be written.", errorText(result));
    }

    std::string path_;
    std::string shownPath_;
    OutputPtr output_;
    CodecContextPtr encoder_;
    AVStream* stream_ = nullptr;
    int frameSize_ = 1024;
    std::int64_t samplesSent_ = 0;
    std::vector<float> waiting_;  // fewer samples than one encoder frame
};

MediaError cancelledError(const std::string& path)
{
    return makeMediaError(MediaErrorCode::Cancelled, "The conversion of “" + displayName(path) + "” was cancelled.");
}

}  // namespace

UploadEncoder::UploadEncoder(Asset asset, AudioMix mix, std::string outputPath, MediaTimeRange range)
    : asset_(std::move(asset)), mix_(std::move(mix)), outputPath_(std::move(outputPath)), range_(range)
{
}

UploadEncoder::UploadEncoder(Composition composition, AudioMix mix, std::string outputPath, MediaTimeRange range)
    : composition_(std::move(composition)), mix_(std::move(mix)), outputPath_(std::move(outputPath)), range_(range)
{
}

std::string UploadEncoder::sourcePath() const
{
    if (!composition_)
        return asset_.path();
    for (const auto& track : composition_->tracks())
        if (!track.segments().empty())
            return track.segments().front().asset->path();
    return "composition";
}

std::optional<MediaError> UploadEncoder::run(const Progress& progress)
{
    if (cancelled_)
        return cancelledError(sourcePath());
    std::error_code ignored;
    if (std::filesystem::is_directory(outputPath_, ignored))
        return makeMediaError(MediaErrorCode::InvalidArgument,
                              "The audio file cannot be written to “" + displayName(outputPath_) + "”: it is a folder.");
    std::vector<std::string> sources{asset_.path()};
    if (composition_)
        for (const auto& track : composition_->tracks())
            for (const auto& segment : track.segments())
                sources.push_back(segment.asset->path());
    for (const auto& source : sources)
        if (!source.empty() && std::filesystem::equivalent(outputPath_, source, ignored))
            return makeMediaError(MediaErrorCode::InvalidArgument,
                                  "The audio of “" + displayName(source) + "” cannot be written over the file itself.");
    if (composition_) {
        auto reader = CompositionAudioReader::forMix(*composition_, std::make_shared<AudioMixStage>(mix_), kChannels,
                                                     {PcmFormat::Float32, kSampleRate}, range_);
        if (!reader)
            return reader.error();
        return write(*reader.value(), progress);
    }
    auto reader = AudioReader::forMix(asset_, mix_, kChannels, {PcmFormat::Float32, kSampleRate}, range_);
    if (!reader)
        return reader.error();
    return write(*reader.value(), progress);
}

std::optional<MediaError> UploadEncoder::write(AudioSampleSource& reader, const Progress& progress)
{
    std::error_code ignored;
    MediaTimeRange range = reader.timeRange();
    double totalSeconds = range.duration.isNumeric() ? range.duration.seconds() : 0.0;

    // Written beside the destination under a name of its own and renamed into place when
    // complete: whatever is at the destination stays until the new file is whole. What an
    // earlier conversion that was killed left there goes first.
    removeStaleTemporariesBeside(outputPath_);
    TemporaryFile temporary = createTemporaryBeside(outputPath_);
    if (temporary.fd < 0)
        return makeMediaError(MediaErrorCode::WriteFailed,
                              "The audio file “" + displayName(outputPath_) + "” could not be written.",
                              temporary.error);
    AacWriter writer(temporary.path.string(), outputPath_);
    auto fail = [&](MediaError error) {
        writer.abandon();
        ::close(temporary.fd);
        std::filesystem::remove(temporary.path, ignored);
        return error;
    };
    if (auto error = writer.open())
        return fail(*error);
    while (auto buffer = reader.copyNextSampleBuffer()) {
        if (cancelled_)
            return fail(cancelledError(sourcePath()));
        if (auto error = writer.append(buffer->float32))
            return fail(*error);
        if (progress && totalSeconds > 0) {
            double done = (buffer->presentationTime - range.start + buffer->duration).seconds();
            progress(std::clamp(done / totalSeconds, 0.0, 1.0));
        }
    }
    if (cancelled_ || reader.status() == AudioReader::Status::Cancelled)
        return fail(cancelledError(sourcePath()));
    if (reader.status() == AudioReader::Status::Failed)
        return fail(*reader.error());
    if (auto error = writer.finish())
        return fail(*error);
    // On disk before it takes the destination's name: the descriptor is of the same file.
    if (::fsync(temporary.fd) != 0)
        return fail(makeMediaError(MediaErrorCode::WriteFailed,
                                   "The audio file “" + displayName(outputPath_) + "” could not be written.",
                                   std::strerror(errno)));
    // Renamed while still open, so that it is never taken for one left behind.
    std::string moved = moveIntoPlace(temporary.path, outputPath_);
    ::close(temporary.fd);
    if (!moved.empty())
        return makeMediaError(MediaErrorCode::WriteFailed,
                              "The audio file “" + displayName(outputPath_) + "” could not be written.", moved);
    return std::nullopt;
}

}  // namespace qv
