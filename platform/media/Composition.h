// A media time line assembled from pieces of other assets: tracks made of segments, each a time
// range of a source track placed at a time of the composition. Stretches that no segment covers
// read as silence (audio) or black (video). A composition is a value: copies are independent,
// so a caller can take a copy and remove tracks from it without touching the original.
#pragma once

#include "Asset.h"
#include "MediaError.h"
#include "MediaTime.h"

#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qv {

struct CompositionSegment {
    std::shared_ptr<const Asset> asset;  // the source file
    int sourceTrackID = 0;               // AssetTrack::trackID in `asset`
    MediaTimeRange sourceRange;          // the part of the source track used
    MediaTimeRange targetRange;          // where it plays; its duration differs when scaled
};

class CompositionTrack {
public:
    CompositionTrack(int trackID, MediaType mediaType) : trackID_(trackID), mediaType_(mediaType) {}

    int trackID() const { return trackID_; }
    MediaType mediaType() const { return mediaType_; }
    // In time-line order; they never overlap.
    const std::vector<CompositionSegment>& segments() const { return segments_; }
    // The end of the last segment; zero for an empty track.
    MediaTime duration() const;
    // The source track of the first segment, which sets the track's format; null when empty.
    const AssetTrack* firstSourceTrack() const;

    // Places `range` of the source track at `at`, moving what starts at or after `at` later by
    // the range's duration (a segment that spans `at` is split). InvalidArgument for a range
    // that is not numeric or not positive, a track that is missing or of another media type.
    std::optional<MediaError> insertTimeRange(const MediaTimeRange& range, std::shared_ptr<const Asset> asset,
                                              int sourceTrackID, const MediaTime& at);
    // Stretches or squeezes what plays in `range` to last `duration`; later segments move.
    void scaleTimeRange(const MediaTimeRange& range, const MediaTime& duration);

private:
    void splitAt(const MediaTime& time);

    int trackID_;
    MediaType mediaType_;
    std::vector<CompositionSegment> segments_;
};

class Composition {
public:
    Composition() = default;
    // Every audio and video track of `asset`, whole, at time zero, under the asset's track ids;
    // for an asset that stands for a composition, that composition.
    static Composition fromAsset(const Asset& asset);
    // What plays in place of media that cannot be found: the picture of the first video track
    // of the movie at `moviePath`, at time zero on a video track of its own, stretched to
    // `duration` when it is shorter (a longer one stays as it is). When the movie cannot be
    // opened or has no picture the error is logged and the track stays empty.
    static Composition placeholder(const std::string& moviePath, const MediaTime& duration);

    // A new empty track; `trackID` 0 (or one in use) takes the next free id. References to
    // tracks stay valid until the track is removed.
    CompositionTrack& addMutableTrack(MediaType type, int trackID = 0);
    // The first track of the same media type as `track`; null when there is none.
    CompositionTrack* mutableTrackCompatibleWithTrack(const AssetTrack& track);
    CompositionTrack* trackWithID(int trackID);
    const CompositionTrack* trackWithID(int trackID) const;
    void removeTrack(int trackID);

    const std::list<CompositionTrack>& tracks() const { return tracks_; }
    std::vector<const CompositionTrack*> tracksWithMediaType(MediaType type) const;
    // The end of the longest track.
    MediaTime duration() const;

    // `range` of every audio and video track of `asset` at `at`: the n-th source track of a
    // media type goes into the n-th track of that type here, made when missing.
    std::optional<MediaError> insertTimeRange(const MediaTimeRange& range, const Asset& asset, const MediaTime& at);
    // Scales `range` on every track.
    void scaleTimeRange(const MediaTimeRange& range, const MediaTime& duration);

private:
    std::list<CompositionTrack> tracks_;
};

}  // namespace qv
