#include "Asset.h"

#include "AssetInspector.h"
#include "Composition.h"

#include <algorithm>

namespace qv {

MediaResult<Asset> Asset::inspect(const std::string& path)
{
    return AssetInspector::inspect(path);
}

void Asset::load(const std::string& path, WorkQueue& queue, Dispatcher& main, LoadCompletion done)
{
    queue.run(main, [path] { return inspect(path); }, std::move(done));
}

Asset Asset::fromComposition(Composition composition)
{
    Asset asset;
    auto kept = std::make_shared<const Composition>(std::move(composition));
    asset.duration_ = kept->duration();
    bool anySegment = false;
    bool sourcesPlayable = true;
    int position = 0;
    for (const CompositionTrack& track : kept->tracks()) {
        AssetTrack described;
        if (const AssetTrack* source = track.firstSourceTrack()) {
            described = *source;
            described.timecode.reset();
        }
        described.trackID = track.trackID();
        described.streamIndex = position++;
        described.mediaType = track.mediaType();
        described.timeRange = {MediaTime::zero(), track.duration()};
        asset.tracks_.push_back(std::move(described));
        for (const CompositionSegment& segment : track.segments()) {
            anySegment = true;
            sourcesPlayable = sourcesPlayable && segment.asset && segment.asset->isPlayable();
        }
    }
    asset.playable_ = anySegment && sourcesPlayable;
    asset.composition_ = std::move(kept);
    return asset;
}

std::vector<AssetTrack> Asset::tracksWithMediaType(MediaType type) const
{
    std::vector<AssetTrack> found;
    std::copy_if(tracks_.begin(), tracks_.end(), std::back_inserter(found),
                 [type](const AssetTrack& track) { return track.mediaType == type; });
    return found;
}

bool Asset::hasVideo() const
{
    return std::any_of(tracks_.begin(), tracks_.end(),
                       [](const AssetTrack& track) { return track.mediaType == MediaType::Video; });
}

std::vector<MetadataItem> Asset::commonMetadata() const
{
    std::vector<MetadataItem> common;
    std::copy_if(metadata_.begin(), metadata_.end(), std::back_inserter(common),
                 [](const MetadataItem& item) { return !item.commonKey.empty(); });
    return common;
}

std::optional<std::string> Asset::commonMetadataString(std::string_view commonKey) const
{
    for (const auto& item : metadata_)
        if (item.commonKey == commonKey)
            return item.stringValue;
    return std::nullopt;
}

}  // namespace qv
