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
#include <utility>

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
    return static_cast<double>(fileStartTimestamp(context)) / AV_TIME_BASE;
}

int64_t fileStartTimestamp(const AVFormatContext& context)
{
    return context.start_time == AV_NOPTS_VALUE ? 0 : context.start_time;
}

namespace {

// Held inside the 64-bit range: converting a double beyond it is undefined.
int64_t clampedUnits(double units)
{
    constexpr double kLimit = 9.0e18;
    if (std::isnan(units))
        return 0;
    return static_cast<int64_t>(std::clamp(units, -kLimit, kLimit));
}

using Wide = __int128;

// A fraction with 128-bit parts, kept reduced with a positive denominator. A step that would
// overflow them leaves it inexact, and every step after that too.
struct Fraction {
    Wide numerator = 0;
    Wide denominator = 1;
    bool exact = true;
};

constexpr Fraction kOverflowed{0, 1, false};

Wide greatestCommonDivisor(Wide a, Wide b)
{
    a = a < 0 ? -a : a;
    b = b < 0 ? -b : b;
    while (b != 0)
        a = std::exchange(b, a % b);
    return a;
}

Fraction fraction(Wide numerator, Wide denominator)
{
    constexpr Wide kLowest = -static_cast<Wide>(~static_cast<unsigned __int128>(0) >> 1) - 1;
    if (numerator == kLowest || denominator == kLowest || denominator == 0)
        return kOverflowed;
    if (denominator < 0) {
        numerator = -numerator;
        denominator = -denominator;
    }
    Wide divisor = greatestCommonDivisor(numerator, denominator);
    return {numerator / divisor, denominator / divisor, true};
}

Fraction fraction(const MediaTime& time) { return fraction(time.value, time.timescale); }

Fraction operator+(const Fraction& a, const Fraction& b)
{
    Wide left = 0, right = 0, sum = 0, denominator = 0;
    if (!a.exact || !b.exact || __builtin_mul_overflow(a.numerator, b.denominator, &left)
        || __builtin_mul_overflow(b.numerator, a.denominator, &right)
        || __builtin_mul_overflow(a.denominator, b.denominator, &denominator)
        || __builtin_add_overflow(left, right, &sum))
        return kOverflowed;
    return fraction(sum, denominator);
}

Fraction operator-(const Fraction& a) { return {-a.numerator, a.denominator, a.exact}; }

Fraction operator*(const Fraction& a, const Fraction& b)
{
    if (!a.exact || !b.exact)
        return kOverflowed;
    // Reduced crosswise first: the parts stay as small as the product allows.
    Wide first = greatestCommonDivisor(a.numerator, b.denominator);
    Wide second = greatestCommonDivisor(b.numerator, a.denominator);
    Wide numerator = 0, denominator = 0;
    if (__builtin_mul_overflow(a.numerator / first, b.numerator / second, &numerator)
        || __builtin_mul_overflow(a.denominator / second, b.denominator / first, &denominator))
        return kOverflowed;
    return fraction(numerator, denominator);
}

int64_t clampedToInt64(Wide value)
{
    constexpr Wide kLimit = 9'000'000'000'000'000'000;
    return static_cast<int64_t>(std::clamp(value, -kLimit, kLimit));
}

int64_t roundedDown(const Fraction& f)
{
    Wide quotient = f.numerator / f.denominator;
    return clampedToInt64(f.numerator % f.denominator < 0 ? quotient - 1 : quotient);
}

int64_t roundedUp(const Fraction& f)
{
    Wide quotient = f.numerator / f.denominator;
    return clampedToInt64(f.numerator % f.denominator > 0 ? quotient + 1 : quotient);
}

int64_t roundedHalfAwayFromZero(const Fraction& f)
{
    Wide quotient = f.numerator / f.denominator;
    Wide twiceRemainder = f.numerator % f.denominator * 2;
    if (twiceRemainder >= f.denominator)
        ++quotient;
    else if (-twiceRemainder >= f.denominator)
        --quotient;
    return clampedToInt64(quotient);
}

bool usable(AVRational timeBase) { return timeBase.num > 0 && timeBase.den > 0; }

}  // namespace

int64_t streamTimestampFromSeconds(double seconds, AVRational timeBase)
{
    return clampedUnits(std::floor(seconds * timeBase.den / timeBase.num));
}

int64_t streamTimestampAt(const MediaTime& time, const MediaTimeRange& target, const MediaTimeRange& source,
                          int64_t fileStart, AVRational timeBase, bool roundUp)
{
    if (!usable(timeBase))
        return 0;
    const bool scaled = target.duration != source.duration && target.duration.isNumeric() && target.duration > MediaTime::zero();
    if (time.isNumeric() && target.start.isNumeric() && source.start.isNumeric()
        && (!scaled || source.duration.isNumeric())) {
        Fraction offset = time > target.start ? fraction(time) + -fraction(target.start) : Fraction{};
        if (scaled)
            offset = offset * fraction(source.duration) * fraction(target.duration.timescale, target.duration.value);
        Fraction units = (offset + fraction(source.start) + fraction(fileStart, AV_TIME_BASE))
                       * fraction(timeBase.den, timeBase.num);
        if (units.exact)
            return roundUp ? roundedUp(units) : roundedDown(units);
    }
    double ratio = scaled ? source.duration.seconds() / target.duration.seconds() : 1.0;
    double seconds = source.start.seconds() + std::max(0.0, time.seconds() - target.start.seconds()) * ratio
                   + static_cast<double>(fileStart) / AV_TIME_BASE;
    double units = seconds * timeBase.den / timeBase.num;
    return clampedUnits(roundUp ? std::ceil(units) : std::floor(units));
}

int64_t streamTimestampAt(const MediaTime& time, int64_t fileStart, AVRational timeBase, bool roundUp)
{
    const MediaTimeRange whole{MediaTime::zero(), MediaTime::zero()};
    return streamTimestampAt(time, whole, whole, fileStart, timeBase, roundUp);
}

int64_t samplesFromTo(const MediaTime& start, int64_t timestamp, int64_t fileStart, AVRational timeBase, int rate)
{
    if (!usable(timeBase) || !start.isNumeric())
        return 0;
    Fraction samples = (fraction(timestamp, 1) * fraction(timeBase.num, timeBase.den) + -fraction(fileStart, AV_TIME_BASE)
                        + -fraction(start))
                     * fraction(rate, 1);
    if (samples.exact)
        return roundedHalfAwayFromZero(samples);
    double seconds = timestamp * av_q2d(timeBase) - static_cast<double>(fileStart) / AV_TIME_BASE - start.seconds();
    return clampedUnits(std::round(seconds * rate));
}

}  // namespace qv::ffmpeg
