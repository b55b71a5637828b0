#include "Composition.h"

#include "FFmpegSupport.h"

#include "platform/foundation/Log.h"

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

// `seconds` in the timescale of `like` (or microseconds when it has none).
MediaTime timeInScaleOf(double seconds, const MediaTime& like)
{
    std::int32_t timescale = like.isNumeric() && like.timescale > 0 ? like.timescale : 1'000'000;
    return MediaTime(std::llround(seconds * timescale), timescale);
}

bool isPositive(const MediaTimeRange& range)
{
    return range.start.isNumeric() && range.duration.isNumeric() && range.duration > MediaTime::zero();
}

}  // namespace

MediaTime CompositionTrack::duration() const
{
    return segments_.empty() ? MediaTime::zero() : segments_.back().targetRange.end();
}

const AssetTrack* CompositionTrack::firstSourceTrack() const
{
    for (const auto& segment : segments_)
        for (const auto& track : segment.asset->tracks())
            if (track.trackID == segment.sourceTrackID && track.mediaType == mediaType_)
                return &track;
    return nullptr;
}

// Cuts the segment that spans `time` in two, so that every segment lies wholly before or after it.
void CompositionTrack::splitAt(const MediaTime& time)
{
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        CompositionSegment& segment = segments_[i];
        if (!(segment.targetRange.start < time && time < segment.targetRange.end()))
            continue;
        double ratio = segment.sourceRange.duration.seconds() / segment.targetRange.duration.seconds();
        CompositionSegment tail = segment;
        MediaTime headDuration = time - segment.targetRange.start;
        MediaTime sourceHead = timeInScaleOf(headDuration.seconds() * ratio, segment.sourceRange.duration);
        segment.targetRange.duration = headDuration;
        segment.sourceRange.duration = sourceHead;
        tail.targetRange = MediaTimeRange::fromStartEnd(time, tail.targetRange.end());
        tail.sourceRange = MediaTimeRange::fromStartEnd(tail.sourceRange.start + sourceHead, tail.sourceRange.end());
        segments_.insert(segments_.begin() + static_cast<std::ptrdiff_t>(i) + 1, tail);
        return;
    }
}

std::optional<MediaError> CompositionTrack::insertTimeRange(const MediaTimeRange& range,
                                                            std::shared_ptr<const Asset> asset,
                                                            int sourceTrackID, const MediaTime& at)
{
    if (!asset)
        return makeMediaError(MediaErrorCode::InvalidArgument, "No media was given to insert.");
    const std::string name = ffmpeg::displayName(asset->path());
    if (!isPositive(range) || !at.isNumeric() || at < MediaTime::zero() || range.start < MediaTime::zero())
        return makeMediaError(MediaErrorCode::InvalidArgument,
                              "The time range of “" + name + "” to insert is not valid.");
    const auto& sourceTracks = asset->tracks();
    bool found = std::any_of(sourceTracks.begin(), sourceTracks.end(), [&](const AssetTrack& t) {
        return t.trackID == sourceTrackID && t.mediaType == mediaType_;
    });
    if (!found)
        return makeMediaError(mediaType_ == MediaType::Video ? MediaErrorCode::NoVideoTrack : MediaErrorCode::NoAudioTrack,
                              "The file “" + name + "” has no such track " + std::to_string(sourceTrackID) + ".");
    splitAt(at);
    for (auto& segment : segments_)
        if (segment.targetRange.start >= at)
            segment.targetRange.start = segment.targetRange.start + range.duration;
    CompositionSegment inserted{std::move(asset), sourceTrackID, range, {at, range.duration}};
    auto position = std::find_if(segments_.begin(), segments_.end(), [&](const CompositionSegment& s) {
        return s.targetRange.start >= at;
    });
    segments_.insert(position, std::move(inserted));
    return std::nullopt;
}

void CompositionTrack::scaleTimeRange(const MediaTimeRange& range, const MediaTime& duration)
{
    if (!isPositive(range) || !duration.isNumeric() || duration <= MediaTime::zero())
        return;
    MediaTime end = range.end();
    splitAt(range.start);
    splitAt(end);
    double factor = duration.seconds() / range.duration.seconds();
    MediaTime shift = duration - range.duration;
    for (auto& segment : segments_) {
        MediaTimeRange& target = segment.targetRange;
        if (target.start >= end) {
            target.start = target.start + shift;
        } else if (target.start >= range.start) {
            double offset = (target.start - range.start).seconds() * factor;
            target.start = range.start + timeInScaleOf(offset, duration);
            target.duration = timeInScaleOf(target.duration.seconds() * factor, duration);
        }
    }
}

Composition Composition::fromAsset(const Asset& asset)
{
    if (asset.composition())
        return *asset.composition();
    Composition composition;
    auto shared = std::make_shared<const Asset>(asset);
    for (const auto& track : asset.tracks()) {
        if (track.mediaType == MediaType::Timecode)
            continue;
        CompositionTrack& added = composition.addMutableTrack(track.mediaType, track.trackID);
        MediaTimeRange range = track.timeRange;
        if (!isPositive(range))
            range = {MediaTime::zero(), asset.duration()};
        // A track may start a little before the asset's zero (an MP3's encoder delay, rounded
        // to the file's clock): nothing comes before zero, so it plays from there.
        if (range.start.isNumeric() && range.start < MediaTime::zero() && range.duration.isNumeric())
            range = MediaTimeRange::fromStartEnd(MediaTime::zero(), range.end());
        if (auto error = added.insertTimeRange(range, shared, track.trackID, range.start))
            logError("Error - " + error->description + " The track " + std::to_string(track.trackID)
                     + " is left out.");
    }
    return composition;
}

Composition Composition::placeholder(const std::string& moviePath, const MediaTime& duration)
{
    Composition composition;
    CompositionTrack& track = composition.addMutableTrack(MediaType::Video);
    std::optional<MediaError> error;
    MediaResult<Asset> movie = Asset::inspect(moviePath);
    if (!movie) {
        error = movie.error();
    } else if (std::vector<AssetTrack> video = movie->tracksWithMediaType(MediaType::Video); video.empty()) {
        error = makeMediaError(MediaErrorCode::NoVideoTrack,
                               "The file “" + ffmpeg::displayName(moviePath) + "” has no picture to show.");
    } else {
        error = track.insertTimeRange(video.front().timeRange, std::make_shared<const Asset>(std::move(movie.value())),
                                      video.front().trackID, MediaTime::zero());
    }
    if (error) {
        logError("Error - " + error->description + (error->failureReason.empty() ? "" : " (" + error->failureReason + ")"));
        return composition;
    }
    const MediaTime inserted = track.duration();
    if (duration.isNumeric() && inserted < duration)
        track.scaleTimeRange({MediaTime::zero(), inserted}, duration);
    return composition;
}

CompositionTrack& Composition::addMutableTrack(MediaType type, int trackID)
{
    if (trackID <= 0 || trackWithID(trackID)) {
        trackID = 1;
        for (const auto& track : tracks_)
            trackID = std::max(trackID, track.trackID() + 1);
    }
    return tracks_.emplace_back(trackID, type);
}

CompositionTrack* Composition::mutableTrackCompatibleWithTrack(const AssetTrack& track)
{
    auto found = std::find_if(tracks_.begin(), tracks_.end(),
                              [&](const CompositionTrack& t) { return t.mediaType() == track.mediaType; });
    return found == tracks_.end() ? nullptr : &*found;
}

CompositionTrack* Composition::trackWithID(int trackID)
{
    auto found = std::find_if(tracks_.begin(), tracks_.end(),
                              [&](const CompositionTrack& t) { return t.trackID() == trackID; });
    return found == tracks_.end() ? nullptr : &*found;
}

const CompositionTrack* Composition::trackWithID(int trackID) const
{
    return const_cast<Composition*>(this)->trackWithID(trackID);
}

void Composition::removeTrack(int trackID)
{
    tracks_.remove_if( [&](const CompositionTrack& t) { return t.trackID() == trackID; });
}

std::vector<const CompositionTrack*> Composition::tracksWithMediaType(MediaType type) const
{
    std::vector<const CompositionTrack*> found;
    for (const auto& track : tracks_)
        if (track.mediaType() == type)
            found.push_back(&track);
    return found;
}

MediaTime Composition::duration() const
{
    MediaTime longest = MediaTime::zero();
    for (const auto& track : tracks_)
        longest = std::max(longest, track.duration());
    return longest;
}

std::optional<MediaError> Composition::insertTimeRange(const MediaTimeRange& range, const Asset& asset,
                                                       const MediaTime& at)
{
    auto shared = std::make_shared<const Asset>(asset);
    int audioIndex = 0;
    int videoIndex = 0;
    for (const auto& source : asset.tracks()) {
        if (source.mediaType == MediaType::Timecode)
            continue;
        int& index = source.mediaType == MediaType::Audio ? audioIndex : videoIndex;
        auto existing = tracksWithMediaType(source.mediaType);
        CompositionTrack* target = index < static_cast<int>(existing.size())
                                     ? trackWithID(existing[static_cast<std::size_t>(index)]->trackID())
                                     : &addMutableTrack(source.mediaType);
        ++index;
        if (auto error = target->insertTimeRange(range, shared, source.trackID, at))
            return error;
    }
    return std::nullopt;
}

void Composition::scaleTimeRange(const MediaTimeRange& range, const MediaTime& duration)
{
    for (auto& track : tracks_)
        track.scaleTimeRange(range, duration);
}

}  // namespace qv
