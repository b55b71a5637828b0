// The editor's names for picture formats: frame-rate codes and video format names, and the
// picture description they are made from.
#pragma once

#include <QString>

#include <cstdint>

namespace qv {
struct VideoTrackFormat;
}

// Name of a picture the editor has no format for.
inline const QString kFormatRateUndefined = QStringLiteral("FFVideoFormatRateUndefined");

// What the format name is chosen by.
struct PictureDescription {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t frameRateCode = 0;
    bool isDV = false;
    bool isInterlaced = false;
    bool isWidescreenSD = false;
};

// The frame-rate code of a rate in frames per second (2398, 24, 25, 2997, 30, 50, 5994, 60); a
// rate near none of them gives 30.
std::int64_t convertFps(float fps);

// The editor's video format name; kFormatRateUndefined where it has none for the picture.
QString getVideoFormatNameForWidth(std::int64_t width, std::int64_t height, std::int64_t fps, bool isDV,
                                   bool isInterlaced, bool isWidescreenSD);

// The description of a video track: DV for standard-definition DV pictures and for any
// 720x480 picture; widescreen only for standard-definition sizes shown wider than 3:2.
PictureDescription pictureDescriptionOfVideo(const qv::VideoTrackFormat& format);
