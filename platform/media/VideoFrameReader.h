// Decodes the pictures of one video track of a composition, in order, from a time on: each
// picture comes with the time it starts showing on the composition's time line, the one that
// shows at the start time first. A stretch that no segment covers gives an empty picture at its
// start (shown as black). Runs on the caller's thread.
#pragma once

#include "Composition.h"
#include "ImageGenerator.h"
#include "MediaError.h"

#include <memory>
#include <optional>

namespace qv {

struct VideoFrame {
    double time = 0;          // seconds on the composition's time line
    double pixelAspect = 1;   // width of a pixel over its height
    VideoImage image;         // empty for black
};

class VideoFrameReader {
public:
    static MediaResult<std::unique_ptr<VideoFrameReader>> make(const Composition& composition, int trackID,
                                                               double startSeconds);
    ~VideoFrameReader();
    VideoFrameReader(const VideoFrameReader&) = delete;
    VideoFrameReader& operator=(const VideoFrameReader&) = delete;

    // The next picture, or nothing at the end of the track or on failure (then error() is set).
    std::optional<VideoFrame> next();
    const std::optional<MediaError>& error() const;

private:
    struct Impl;
    explicit VideoFrameReader(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace qv
