// A media file as inspection found it: playable or not, its duration, tracks and metadata.
// Inspection opens and probes the file, which can take a while: load() does it on a worker
// queue and hands the result to the main thread. An Asset is a description; the readers and
// the image generator open the file again for themselves. An asset can also stand for a
// composition, so that whatever plays a file plays an assembled time line the same way.
#pragma once

#include "AssetTrack.h"
#include "MediaError.h"
#include "MediaTime.h"
#include "MetadataItem.h"

#include "platform/foundation/Dispatcher.h"
#include "platform/foundation/WorkQueue.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class Composition;

class Asset {
public:
    using LoadCompletion = std::function<void(MediaResult<Asset>)>;

    // Inspects the file now, on the calling thread. Errors name the file.
    static MediaResult<Asset> inspect(const std::string& path);
    // Inspects on `queue`; `done` runs on the main thread through `main`.
    static void load(const std::string& path, WorkQueue& queue, Dispatcher& main, LoadCompletion done);
    // The asset of `composition`, which it keeps unchanged: a track for each of its tracks
    // (same id and media type, from zero to the track's end, the format of its first source),
    // its duration, playable when something is placed on it and every source is. It has no path.
    static Asset fromComposition(Composition composition);

    const std::string& path() const { return path_; }
    // What the asset plays when it stands for a composition; null for a file.
    const std::shared_ptr<const Composition>& composition() const { return composition_; }
    // Some audio or video track can be decoded.
    bool isPlayable() const { return playable_; }
    // The end of the longest track, in that track's own timescale.
    MediaTime duration() const { return duration_; }

    // The file ends before the audio it states (a copy or a download cut short), and reading
    // its audio fails where its bytes end: truncatedAt() is where the longest audio there is
    // ends; invalid for a whole file.
    bool isTruncated() const { return truncatedAt_.isValid(); }
    MediaTime truncatedAt() const { return truncatedAt_; }

    const std::vector<AssetTrack>& tracks() const { return tracks_; }
    std::vector<AssetTrack> tracksWithMediaType(MediaType type) const;
    bool hasVideo() const;

    const std::vector<MetadataItem>& metadata() const { return metadata_; }
    // The items that answer to a common key, in file order.
    std::vector<MetadataItem> commonMetadata() const;
    // The first item's text for a common key (see MetadataCommonKey).
    std::optional<std::string> commonMetadataString(std::string_view commonKey) const;

private:
    friend class AssetInspector;

    std::string path_;
    bool playable_ = false;
    MediaTime duration_;
    MediaTime truncatedAt_;
    std::vector<AssetTrack> tracks_;
    std::vector<MetadataItem> metadata_;
    std::shared_ptr<const Composition> composition_;
};

}  // namespace qv
