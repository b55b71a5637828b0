// Takes single frames of an asset's first video track as RGB images, scaled down to fit a
// maximum size with the display aspect ratio kept, and writes them as JPEG files. A track
// whose frames cannot be decoded gives DecodeFailed, told apart from every other error.
#pragma once

#include "Asset.h"
#include "Composition.h"
#include "MediaError.h"
#include "MediaTime.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <string>
#include <vector>

namespace qv {

struct VideoImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // 3 bytes a pixel, rows top to bottom, no padding
};

class ImageGenerator {
public:
    // Defaults to 320 x 184 pixels, the thumbnail size.
    static constexpr int kDefaultMaximumWidth = 320;
    static constexpr int kDefaultMaximumHeight = 184;

    explicit ImageGenerator(Asset asset) : asset_(std::move(asset)) {}
    // Frames of the composition's first video track; black where no segment plays.
    explicit ImageGenerator(Composition composition) : composition_(std::move(composition)) {}

    // Images are scaled down to fit; never up.
    void setMaximumSize(int width, int height)
    {
        maximumWidth_ = width;
        maximumHeight_ = height;
    }

    // The frame shown at `time` (the last frame that starts at or before it). Blocking.
    MediaResult<VideoImage> copyImage(const MediaTime& time) const;

private:
    MediaResult<VideoImage> copyCompositionImage(const MediaTime& time) const;
    // The size a picture of `width` x `height` pixels of `pixelAspect` is given to fit the maximum.
    std::pair<int, int> fittedSize(int width, int height, double pixelAspect) const;

    Asset asset_;
    std::optional<Composition> composition_;  // read instead of asset_ when set
    int maximumWidth_ = kDefaultMaximumWidth;
    int maximumHeight_ = kDefaultMaximumHeight;
};

// Encodes `image` as JPEG and writes it to `path` atomically (a temporary file renamed).
std::optional<MediaError> writeJpeg(const VideoImage& image, const std::string& path);

}  // namespace qv
