// One playable asset for a compound, multicam or synchronized clip: the sound of every component
// at its place in the clip, the picture of the components that show video, placeholder pictures
// for media that are offline or cannot be decoded, and black or filler sound up to the clip's
// duration. Every audio track whose sound went in is linked to its track of the composition.
// A new instance for every composition; it keeps no other state.
#pragma once

#include "platform/media/Asset.h"
#include "platform/media/MediaTime.h"

#include <QImage>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QVMediaFile;

// Names of the placeholder movies among the program's resources (extension "mov").
inline const QString kMissingMediaMovie = QStringLiteral("missing media");
inline const QString kUnsupportedCodecMovie = QStringLiteral("unsupported codec");
inline const QString kBlackMovie = QStringLiteral("black");

class QVCreateAssetFromComplexClip {
public:
    struct Services {
        // Starts access to the media file's URL when it needs it.
        std::function<void(QVMediaFile& mediaFile)> checkAccessForMediaFile;
        // The inspected asset at `url`; null when it cannot be read at all.
        std::function<std::shared_ptr<qv::Asset>(const QUrl& url)> openAsset;
        // A frame of the asset's picture at `time`; a null image when none can be decoded.
        std::function<QImage(const qv::Asset& asset, const qv::MediaTime& time)> createImageForAsset;
        // The path of a placeholder movie; none when the program lacks it.
        std::function<std::optional<std::string>(const QString& name)> placeholderMovie;
    };

    explicit QVCreateAssetFromComplexClip(Services services);

    // The composition of the media files, lasting at least `duration`; null when a media file's
    // asset or a placeholder movie it needs cannot be had.
    std::shared_ptr<qv::Asset> createAssetWithMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles,
                                                         const qv::MediaTime& duration);

private:
    std::shared_ptr<const qv::Asset> placeholder(const QString& name);

    Services services_;
};
