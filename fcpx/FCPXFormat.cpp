#include "fcpx/FCPXFormat.h"

#include "platform/media/AssetTrack.h"

#include <array>
#include <initializer_list>

namespace {

// Open intervals of frames per second and their codes, tried in order.
struct RateInterval {
    double low;
    double high;
    std::int64_t code;
};
constexpr std::array<RateInterval, 8> kRateIntervals{{
    {23.975, 23.987, 2398},
    {23.995, 24.005, 24},
    {24.995, 25.005, 25},
    {29.965, 29.975, 2997},
    {29.995, 30.005, 30},
    {49.995, 50.005, 50},
    {59.935, 59.945, 5994},
    {59.995, 60.005, 60},
}};

using Codes = std::initializer_list<std::int64_t>;
constexpr Codes kPairCodes = {2398, 2997};
constexpr Codes kLowCodes = {24, 25, 30, 2398, 2997};
constexpr Codes kAllCodes = {24, 25, 30, 50, 60, 2398, 2997, 5994};

bool accepts(Codes codes, std::int64_t code)
{
    for (const std::int64_t accepted : codes)
        if (accepted == code)
            return true;
    return false;
}

// A progressive name: the code appended, or undefined for a code the format does not take.
QString progressive(const QString& name, Codes codes, std::int64_t code, const QString& suffix = {})
{
    return accepts(codes, code) ? name + QString::number(code) + suffix : kFormatRateUndefined;
}

// The sizes beyond HD, named by their dimensions, in the order they are tried.
constexpr std::array<std::pair<std::int64_t, std::int64_t>, 12> kLargeSizes{{
    {2048, 1080}, {2048, 1152}, {2048, 1536}, {2048, 1556}, {4096, 2048}, {3840, 2160},
    {4096, 2160}, {5120, 2160}, {4096, 2304}, {5120, 2560}, {5120, 2700}, {4096, 3112},
}};

}  // namespace

std::int64_t convertFps(float fps)
{
    const double rate = fps;
    for (const RateInterval& interval : kRateIntervals)
        if (rate > interval.low && rate < interval.high)
            return interval.code;
    return 30;
}

QString getVideoFormatNameForWidth(std::int64_t width, std::int64_t height, std::int64_t fps, bool isDV,
                                   bool isInterlaced, bool isWidescreenSD)
{
    const bool plain = !isDV && !isInterlaced && !isWidescreenSD;
    const QString wide = isWidescreenSD ? QStringLiteral("_16x9") : QString();
    const auto size = [&](std::int64_t w, std::int64_t h) { return width == w && height == h; };
    // Interlaced HD: 25 and 29.97 frames per second only.
    const auto interlacedHD = [&](const QString& name) {
        if (fps == 25)
            return name + QStringLiteral("i50");
        if (fps == 2997)
            return name + QStringLiteral("i5994");
        return kFormatRateUndefined;
    };

    if (size(640, 360) && plain && fps == 2997)
        return QStringLiteral("FFVideoFormat640x360p2997");
    if (size(640, 480) && plain)
        return progressive(QStringLiteral("FFVideoFormat640x480p"), kLowCodes, fps);
    if (size(720, 480) && isDV && isInterlaced && fps == 2997)
        return QStringLiteral("FFVideoFormatDV720x480i5994") + wide;
    if (size(720, 480) && isDV && !isInterlaced)
        return progressive(QStringLiteral("FFVideoFormatDV720x480p"), kPairCodes, fps, wide);
    if (size(720, 486) && !isDV && isInterlaced && fps == 2997)
        return QStringLiteral("FFVideoFormat720x486i5994") + wide;
    if (size(720, 486) && !isDV && !isInterlaced)
        return progressive(QStringLiteral("FFVideoFormat720x486p"), kPairCodes, fps, wide);
    if (size(960, 540) && plain)
        return progressive(QStringLiteral("FFVideoFormat960x540p"), kLowCodes, fps);
    if (size(720, 576) && fps == 25) {
        if (isDV && isInterlaced)
            return QStringLiteral("FFVideoFormatDV720x576i50") + wide;
        if (!isDV && isInterlaced)
            return QStringLiteral("FFVideoFormat720x576i50") + wide;
        if (!isDV && !isInterlaced)
            return QStringLiteral("FFVideoFormat720x576p25") + wide;
    }
    if (size(960, 720) && plain)
        return progressive(QStringLiteral("FFVideoFormat960x720p"), kAllCodes, fps);
    if (size(1280, 720) && plain)
        return progressive(QStringLiteral("FFVideoFormat720p"), kAllCodes, fps);
    if (size(2048, 1024) && plain)
        return progressive(QStringLiteral("FFVideoFormat2048x1024p"), kAllCodes, fps);
    const bool interlacedOnly = !isDV && isInterlaced && !isWidescreenSD;
    for (const auto& [w, h, name] : {std::tuple{1280, 1080, QStringLiteral("FFVideoFormat1280x1080")},
                                     std::tuple{1440, 1080, QStringLiteral("FFVideoFormat1440x1080")},
                                     std::tuple{1920, 1080, QStringLiteral("FFVideoFormat1080")}}) {
        if (size(w, h) && interlacedOnly)
            return interlacedHD(name);
        if (size(w, h) && plain)
            return progressive(name + QLatin1Char('p'), kAllCodes, fps);
    }
    for (const auto& [w, h] : kLargeSizes)
        if (size(w, h) && plain)
            return progressive(QStringLiteral("FFVideoFormat%1x%2p").arg(w).arg(h), kAllCodes, fps);
    return kFormatRateUndefined;
}

PictureDescription pictureDescriptionOfVideo(const qv::VideoTrackFormat& format)
{
    PictureDescription picture;
    picture.width = format.encodedWidth;
    picture.height = format.encodedHeight;
    // The five standard-definition DV formats are exactly the DV pictures 480 or 576 lines high;
    // the HD variants of the codec are other sizes and count as plain.
    const bool standardDefinitionDV =
        format.codecName == "dvvideo" && (picture.height == 480 || picture.height == 576);
    picture.isDV = standardDefinitionDV || (picture.width == 720 && picture.height == 480);
    picture.isInterlaced = format.fieldCount == 2;
    if (picture.width == 720 && (picture.height == 480 || picture.height == 486 || picture.height == 576)
        && format.naturalHeight > 0)
        picture.isWidescreenSD = double(format.naturalWidth) / double(format.naturalHeight) > 1.5;
    picture.frameRateCode = convertFps(static_cast<float>(format.nominalFrameRate));
    return picture;
}
