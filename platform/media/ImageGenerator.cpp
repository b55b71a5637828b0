#include "ImageGenerator.h"

#include "FFmpegSupport.h"
#include "VideoFrameReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace qv {

using namespace ffmpeg;

namespace {

MediaError decodeFailed(const std::string& path, const std::string& reason)
{
    return makeMediaError(MediaErrorCode::DecodeFailed,
                          "The video of “" + displayName(path) + "” cannot be decoded.", reason);
}

// The last frame that starts at or before `target` (in stream units), else the first decoded.
MediaResult<FramePtr> decodeFrameAt(AVFormatContext& context, AVStream& stream, AVCodecContext& decoder,
                                    int64_t target, const std::string& path)
{
    av_seek_frame(&context, stream.index, target, AVSEEK_FLAG_BACKWARD);
    PacketPtr packet = makePacket();
    FramePtr decoded = makeFrame();
    FramePtr chosen;
    std::string lastError;
    bool draining = false;
    for (;;) {
        if (!draining) {
            int read = av_read_frame(&context, packet.get());
            if (read < 0) {
                draining = true;
                avcodec_send_packet(&decoder, nullptr);
            } else {
                if (packet->stream_index == stream.index) {
                    int sent = avcodec_send_packet(&decoder, packet.get());
                    if (sent < 0 && sent != AVERROR(EAGAIN))
                        lastError = errorText(sent);
                }
                av_packet_unref(packet.get());
            }
        }
        for (;;) {
            int result = avcodec_receive_frame(&decoder, decoded.get());
            if (result == AVERROR(EAGAIN) && !draining)
                break;
            if (result < 0 && result != AVERROR(EAGAIN))
                lastError = result == AVERROR_EOF ? lastError : errorText(result);
            if (result < 0 && (draining || result == AVERROR_EOF)) {
                if (chosen)
                    return chosen;
                return decodeFailed(path, lastError.empty() ? "No frame could be decoded." : lastError);
            }
            if (result < 0)
                break;
            int64_t start = decoded->best_effort_timestamp;
            if (chosen && start != AV_NOPTS_VALUE && start > target)
                return chosen;
            chosen = makeFrame();
            av_frame_move_ref(chosen.get(), decoded.get());
            if (start != AV_NOPTS_VALUE && start >= target)
                return chosen;
        }
    }
}

MediaResult<VideoImage> scaleToRgb(const AVFrame& frame, int width, int height, const std::string& path)
{
    ScalerPtr scaler(sws_getContext(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), width,
                                    height, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scaler)
        return decodeFailed(path, "The frame's pixel format cannot be converted.");
    VideoImage image;
    image.width = width;
    image.height = height;
    image.rgb.resize(static_cast<std::size_t>(width) * height * 3);
    uint8_t* planes[1] = {image.rgb.data()};
    int strides[1] = {width * 3};
    sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
    return image;
}

}  // namespace

std::pair<int, int> ImageGenerator::fittedSize(int width, int height, double pixelAspect) const
{
    double displayWidth = width * pixelAspect;
    double displayHeight = height;
    double scale = 1.0;
    if (maximumWidth_ > 0)
        scale = std::min(scale, maximumWidth_ / displayWidth);
    if (maximumHeight_ > 0)
        scale = std::min(scale, maximumHeight_ / displayHeight);
    return {std::max(1, static_cast<int>(std::lround(displayWidth * scale))),
            std::max(1, static_cast<int>(std::lround(displayHeight * scale)))};
}

MediaResult<VideoImage> ImageGenerator::copyCompositionImage(const MediaTime& time) const
{
    auto videoTracks = composition_->tracksWithMediaType(MediaType::Video);
    const AssetTrack* source = videoTracks.empty() ? nullptr : videoTracks.front()->firstSourceTrack();
    if (!source || !source->video)
        return makeMediaError(MediaErrorCode::NoVideoTrack, "The composition has no video.");
    const std::string& path = videoTracks.front()->segments().front().asset->path();
    if (!time.isNumeric())
        return makeMediaError(MediaErrorCode::InvalidArgument,
                              "No frame of “" + displayName(path) + "” can be taken at an invalid time.");
    auto reader = VideoFrameReader::make(*composition_, videoTracks.front()->trackID(), time);
    if (!reader)
        return reader.error();
    auto picture = reader.value()->next();
    if (reader.value()->error())
        return *reader.value()->error();
    if (!picture || picture->image.rgb.empty()) {
        // Where no segment plays: black, at the size of the track's pictures.
        auto [width, height] = fittedSize(source->video->naturalWidth, source->video->naturalHeight, 1.0);
        return VideoImage{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3, 0)};
    }
    FramePtr frame = makeFrame();
    frame->format = AV_PIX_FMT_RGB24;
    frame->width = picture->image.width;
    frame->height = picture->image.height;
    frame->data[0] = picture->image.rgb.data();
    frame->linesize[0] = picture->image.width * 3;
    auto [width, height] = fittedSize(frame->width, frame->height, picture->pixelAspect);
    return scaleToRgb(*frame, width, height, path);
}

MediaResult<VideoImage> ImageGenerator::copyImage(const MediaTime& at) const
{
    // A file's time line has one epoch: a time of another counts by its value alone.
    MediaTime time = at;
    time.epoch = 0;
    if (composition_)
        return copyCompositionImage(time);
    const std::string& path = asset_.path();
    auto videoTracks = asset_.tracksWithMediaType(MediaType::Video);
    if (videoTracks.empty())
        return makeMediaError(MediaErrorCode::NoVideoTrack, "The file “" + displayName(path) + "” has no video.");
    if (!time.isNumeric())
        return makeMediaError(MediaErrorCode::InvalidArgument,
                              "No frame of “" + displayName(path) + "” can be taken at an invalid time.");
    auto opened = openInput(path);
    if (!opened)
        return opened.error();
    AVFormatContext& context = *opened.value();
    const AssetTrack& track = videoTracks.front();
    if (track.streamIndex >= static_cast<int>(context.nb_streams)
        || context.streams[track.streamIndex]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
        return makeMediaError(MediaErrorCode::NoVideoTrack, "The file “" + displayName(path) + "” has no video.");
    AVStream& stream = *context.streams[track.streamIndex];
    for (unsigned i = 0; i < context.nb_streams; ++i)
        context.streams[i]->discard = static_cast<int>(i) == track.streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    auto decoder = openDecoder(stream, path);
    if (!decoder)
        return decodeFailed(path, decoder.error().failureReason);
    int64_t target = streamTimestampAt(time, fileStartTimestamp(context), stream.time_base);
    auto frame = decodeFrameAt(context, stream, *decoder.value(), target, path);
    if (!frame)
        return frame.error();

    // The display size, then scaled down to fit the maximum.
    const AVFrame& picture = *frame.value();
    AVRational aspect = av_guess_sample_aspect_ratio(&context, &stream, const_cast<AVFrame*>(&picture));
    auto [width, height] = fittedSize(picture.width, picture.height, aspect.num > 0 && aspect.den > 0 ? av_q2d(aspect) : 1.0);
    return scaleToRgb(picture, width, height, path);
}

std::optional<MediaError> writeJpeg(const VideoImage& image, const std::string& path)
{
    auto failure = [&](const std::string& reason) {
        return makeMediaError(MediaErrorCode::WriteFailed, "The image “" + displayName(path) + "” could not be written.",
                              reason);
    };
    if (image.width <= 0 || image.height <= 0
        || image.rgb.size() != static_cast<std::size_t>(image.width) * image.height * 3)
        return failure("The image is empty or its size does not match its pixels.");
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    if (!codec)
        return failure(errorText(AVERROR_ENCODER_NOT_FOUND));
    CodecContextPtr encoder(avcodec_alloc_context3(codec));
    encoder->width = image.width;
    encoder->height = image.height;
    encoder->pix_fmt = AV_PIX_FMT_YUVJ420P;
    encoder->time_base = {1, 25};
    encoder->flags |= AV_CODEC_FLAG_QSCALE;
    encoder->global_quality = FF_QP2LAMBDA * 3;
    int result = avcodec_open2(encoder.get(), codec, nullptr);
    if (result < 0)
        return failure(errorText(result));

    FramePtr frame = makeFrame();
    frame->format = AV_PIX_FMT_YUVJ420P;
    frame->width = image.width;
    frame->height = image.height;
    frame->quality = encoder->global_quality;
    if ((result = av_frame_get_buffer(frame.get(), 0)) < 0)
        return failure(errorText(result));
    ScalerPtr scaler(sws_getContext(image.width, image.height, AV_PIX_FMT_RGB24, image.width, image.height,
                                    AV_PIX_FMT_YUVJ420P, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scaler)
        return failure("The image cannot be converted for JPEG.");
    const uint8_t* planes[1] = {image.rgb.data()};
    int strides[1] = {image.width * 3};
    sws_scale(scaler.get(), planes, strides, 0, image.height, frame->data, frame->linesize);

    PacketPtr packet = makePacket();
    if ((result = avcodec_send_frame(encoder.get(), frame.get())) < 0
        || (result = avcodec_receive_packet(encoder.get(), packet.get())) < 0)
        return failure(errorText(result));

    std::filesystem::path target(path);
    std::filesystem::path temporary = target;
    temporary += ".partial";
    bool written = false;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(packet->data), packet->size);
        out.close();
        written = !out.fail();
    }
    if (!written) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return failure("The file could not be written.");
    }
    std::error_code renamed;
    std::filesystem::rename(temporary, target, renamed);
    if (renamed) {
        std::string reason = renamed.message();
        std::filesystem::remove(temporary, renamed);
        return failure(reason);
    }
    return std::nullopt;
}

}  // namespace qv
