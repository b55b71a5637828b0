#include "FFmpegSupport.h"

#include "platform/foundation/Log.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <iterator>
#include <cstdarg>
#include <filesystem>
#include <limits>
#include <mutex>

namespace qv::ffmpeg {

namespace {

// The system's errors a user can do something about, as FFmpeg passes them on (negated). Not
// EPERM, which is FFmpeg's own generic -1, nor ENOMEM, which its readers give for a table whose
// stated size no file could hold: from a media file, both mean the file is damaged.
constexpr int kSystemErrors[] = {EACCES, ENOENT, ENOTDIR, EISDIR, ENAMETOOLONG, ENOSPC, EDQUOT, EFBIG,
                                 EROFS,  EIO,    EMFILE,  ENFILE, EBUSY,        ETXTBSY};

void logCallback(void* context, int level, const char* format, va_list arguments)
{
    if (level > AV_LOG_WARNING)
        return;
    char line[1024];
    int printPrefix = 1;
    av_log_format_line2(context, level, format, arguments, line, sizeof line, &printPrefix);
    std::string_view text(line);
    while (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    logDebug(text);
}

void routeLogOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(logCallback); });
}

}  // namespace

FramePtr makeFrame() { return FramePtr(av_frame_alloc()); }
PacketPtr makePacket() { return PacketPtr(av_packet_alloc()); }

std::string errorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    // A system error about the file or the machine (no space left, no permission) says what to
    // do as it stands; anything else speaks of the decoder's internals and goes to the log only.
    if (std::find(std::begin(kSystemErrors), std::end(kSystemErrors), -error) != std::end(kSystemErrors))
        return text;
    logWarning(std::string("Media library: ") + text);
    if (error == AVERROR_ENCODER_NOT_FOUND || error == AVERROR_MUXER_NOT_FOUND)
        return "This format cannot be written here.";
    return "The file is damaged or in a format that cannot be decoded.";
}

std::string displayName(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

std::string fileUrl(const std::string& path)
{
    std::error_code ignored;
    std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
    return "file:" + (absolute.empty() ? path : absolute.string());
}

MediaResult<FormatContextPtr> openInput(const std::string& path)
{
    routeLogOnce();
    std::error_code error;
    auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found)
        return makeMediaError(MediaErrorCode::FileNotFound,
                              "The file “" + displayName(path) + "” could not be found.");
    if (status.type() == std::filesystem::file_type::directory)
        return makeMediaError(MediaErrorCode::CannotOpen,
                              "“" + displayName(path) + "” is a folder, not a media file.");
    if (error)
        return makeMediaError(MediaErrorCode::CannotOpen,
                              "The file “" + displayName(path) + "” could not be read.", error.message());
    if (status.type() != std::filesystem::file_type::regular)
        return makeMediaError(MediaErrorCode::CannotOpen,
                              "“" + displayName(path) + "” is not a file that can hold media.");
    AVFormatContext* raw = nullptr;
    AVDictionary* options = nullptr;
    // Whatever the file refers to is opened as a local file too, never through another protocol.
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    int result = avformat_open_input(&raw, fileUrl(path).c_str(), nullptr, &options);
    av_dict_free(&options);
    if (result == AVERROR(EACCES))
        return makeMediaError(MediaErrorCode::CannotOpen,
                              "The file “" + displayName(path) + "” could not be read.", errorText(result));
    if (result < 0)
        return makeMediaError(MediaErrorCode::CannotOpen,
                              "The file “" + displayName(path) + "” could not be opened as media.",
                              errorText(result));
    FormatContextPtr context(raw);
    result = avformat_find_stream_info(context.get(), nullptr);
    if (result < 0)
        return makeMediaError(MediaErrorCode::CannotOpen,
                              "The file “" + displayName(path) + "” could not be read as media.",
                              errorText(result));
    return context;
}

MediaResult<CodecContextPtr> openDecoder(const AVStream& stream, const std::string& path, int threads)
{
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    CodecContextPtr context(codec ? avcodec_alloc_context3(codec) : nullptr);
    int result = AVERROR_DECODER_NOT_FOUND;
    if (context) {
        result = avcodec_parameters_to_context(context.get(), stream.codecpar);
        if (result >= 0) {
            context->pkt_timebase = stream.time_base;
            context->thread_count = threads;
            result = avcodec_open2(context.get(), codec, nullptr);
        }
    }
    if (result < 0)
        return makeMediaError(MediaErrorCode::DecodeFailed,
                              "The media in “" + displayName(path) + "” cannot be decoded.",
                              errorText(result));
    return context;
}

MediaTime mediaTimeFromStream(int64_t timestamp, AVRational timeBase)
{
    if (timestamp == AV_NOPTS_VALUE || timeBase.num <= 0 || timeBase.den <= 0)
        return MediaTime::invalid();
    __int128 value = static_cast<__int128>(timestamp) * timeBase.num;
    if (value > std::numeric_limits<int64_t>::max() || value < std::numeric_limits<int64_t>::min())
        return MediaTime::invalid();
    return MediaTime(static_cast<int64_t>(value), timeBase.den);
}

double fileStartSeconds(const AVFormatContext& context)
{
    return context.start_time == AV_NOPTS_VALUE ? 0.0 : static_cast<double>(context.start_time) / AV_TIME_BASE;
}

int64_t streamTimestampFromSeconds(double seconds, AVRational timeBase)
{
    // Held inside the 64-bit range: converting a double beyond it is undefined.
    constexpr double kLimit = 9.0e18;
    double units = std::floor(seconds * timeBase.den / timeBase.num);
    if (std::isnan(units))
        return 0;
    return static_cast<int64_t>(std::clamp(units, -kLimit, kLimit));
}

}  // namespace qv::ffmpeg
