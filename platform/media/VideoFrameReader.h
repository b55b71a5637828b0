// Decodes the pictures of one video track of a composition, in order, from a time on: each
// picture comes with the time it starts showing on the composition's time line, the one that
// shows at the start time first. A stretch that no segment covers gives an empty picture at its
// start (shown as black). Runs on the caller's thread.
//
// The reader can be moved to another time and keeps its decoder when that is cheaper than
// starting over: a later time in the group of pictures being decoded is reached by decoding on,
// and a time among the pictures decoded last is served from them. It keeps at most
// kKeptPictures decoded pictures (and at most kKeptBytes of them) behind the one given out last.
#pragma once

#include "Composition.h"
#include "ImageGenerator.h"
#include "MediaError.h"
#include "MediaTime.h"

#include <cstddef>
#include <functional>
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
    // More than the pictures a player queues ahead of the one showing, so that pausing finds
    // the picture showing among them.
    static constexpr std::size_t kKeptPictures = 12;
    static constexpr std::size_t kKeptBytes = 64u << 20;
    // An exact start for a picture shown alone (see seek()) at most this many pictures after
    // its key picture has the decoder drained: decoding those again afterwards costs little.
    static constexpr int kDrainedStartPictures = 50;

    static MediaResult<std::unique_ptr<VideoFrameReader>> make(const Composition& composition, int trackID,
                                                               const MediaTime& start);
    ~VideoFrameReader();
    VideoFrameReader(const VideoFrameReader&) = delete;
    VideoFrameReader& operator=(const VideoFrameReader&) = delete;

    // Starts again at `start`: the next picture is the one showing there, the one that starts
    // exactly at `start` when one does (the time is compared exactly, not in seconds). With
    // tolerances, the next picture may instead be the key picture nearest to it that shows no
    // more than `toleranceBefore` earlier or `toleranceAfter` later (infinity for no limit),
    // which costs the decoding of that one picture; its time is the start then.
    // `alone`: the picture at the start will be shown by itself for a while (the player is
    // paused), so it is wanted sooner than those after it. The decoder's threads give a picture
    // out only once they have taken on as many after it; instead, once every picture up to the
    // start is read, the decoder is drained, and the pictures after the start are decoded again
    // from the key picture when they are asked for.
    void seek(const MediaTime& start, double toleranceBefore = 0, double toleranceAfter = 0, bool alone = false);

    // The next picture, or nothing at the end of the track, on failure (then error() is set) or
    // once `interrupted` holds (checked between packets). An interrupted reader can be moved on
    // with seek().
    std::optional<VideoFrame> next(const std::function<bool()>& interrupted = {});
    const std::optional<MediaError>& error() const;

    // How the pictures since make() or the last seek() were found, for tests and measurements:
    // decoded after a seek in the file, decoded on from where the decoder stood, or taken from
    // the pictures kept.
    enum class Positioning { Reopened, Sought, DecodedOn, Kept };
    Positioning lastPositioning() const;

private:
    struct Impl;
    explicit VideoFrameReader(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace qv
