#include "Asset.h"

#include "AssetInspector.h"

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
