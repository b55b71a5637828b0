#include "intake/PendingFileFactory.h"

#include "intake/audio/QVAudioLayout.h"
#include "intake/audio/QVMetadataTimecode.h"
#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "model/QVFilePending.h"
#include "model/QVMediaFile.h"
#include "model/TimeUtilities.h"
#include "platform/foundation/Uuid.h"
#include "platform/media/Asset.h"
#include "platform/media/ContainerFlags.h"

#include <QFileInfo>
#include <QMimeDatabase>

namespace {

bool isOrInherits(const QMimeType& type, const QString& prefix)
{
    if (type.name().startsWith(prefix))
        return true;
    const QStringList ancestors = type.allAncestors();
    return std::any_of(ancestors.begin(), ancestors.end(), [&](const QString& name) { return name.startsWith(prefix); });
}

}  // namespace

MediaConformance mediaConformanceOfFile(const QString& path)
{
    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(path);
    if (isOrInherits(type, QStringLiteral("audio/")))
        return MediaConformance::Audio;
    // Material exchange files are movies to an editor, whatever the system calls them.
    if (isOrInherits(type, QStringLiteral("video/")) || type.name() == QLatin1String("application/mxf"))
        return MediaConformance::Movie;
    return MediaConformance::Neither;
}

std::shared_ptr<QVMediaFile> createMediaFileFromAsset(const std::shared_ptr<qv::Asset>& asset)
{
    auto mediaFile = std::make_shared<QVMediaFile>();
    mediaFile->asset = asset;
    mediaFile->requiresSecurityAccess = false;
    if (!asset)
        return mediaFile;
    mediaFile->duration = asset->duration();
    mediaFile->url = QUrl::fromLocalFile(QString::fromStdString(asset->path()));
    mediaFile->filePath = mediaFile->url.toLocalFile();
    mediaFile->hasVideo = asset->hasVideo();
    const std::optional<QStringList> names = getiXMLTrackNamesFromURL(mediaFile->url);
    for (const qv::AssetTrack& assetTrack : asset->tracksWithMediaType(qv::MediaType::Audio)) {
        auto track = std::make_shared<QVAudioTrack>();
        track->assetTrack = assetTrack;
        const int channels = assetTrack.audio ? assetTrack.audio->channelCount : 0;
        if (assetTrack.audio)
            track->audioLayout = assetTrack.audio->audioLayout;
        for (int k = 0; k < channels; ++k) {
            auto channel = std::make_shared<QVAudioChannel>();
            channel->enabled = true;
            channel->parentAudioTrack = track;
            if (names && k < names->size())
                channel->iXMLName = names->at(k);
            track->audioChannels.push_back(channel);
        }
        mediaFile->audioTracks.push_back(track);
    }
    return mediaFile;
}

std::shared_ptr<QVFilePending> createPendingFileFromURL(const QUrl& url, const PendingFileDefaults& defaults)
{
    const QString path = url.toLocalFile();
    if (!QFileInfo(path).isFile() || mediaConformanceOfFile(path) == MediaConformance::Neither)
        return nullptr;
    const std::string localPath = path.toStdString();
    auto inspected = qv::Asset::inspect(localPath);
    if (!inspected.ok() || !inspected->duration().isNumeric()
        || inspected->tracksWithMediaType(qv::MediaType::Audio).empty() || qv::canContainFragments(localPath)
        || qv::hasProtectedContent(localPath))
        return nullptr;

    auto pending = std::make_shared<QVFilePending>();
    pending->uuid = qv::createUUID();
    pending->asset = std::make_shared<qv::Asset>(std::move(inspected.value()));
    auto mediaFile = createMediaFileFromAsset(pending->asset);
    mediaFile->mediaOnline = true;
    pending->mediaFiles = {mediaFile};
    pending->diarisation = defaults.diarisation;
    // A truncated file is listed with the length of the sound it holds, not the one it states.
    pending->duration = convertCMTimeToMilliseconds(pending->asset->isTruncated() ? pending->asset->truncatedAt()
                                                                                  : pending->asset->duration());
    if (mediaFile->hasVideo) {
        pending->fileType = 1;
        pending->hasVideo = true;
    } else {
        pending->fileType = 0;
        mediaFile->isMP3 = QFileInfo(path).suffix().toLower() == QLatin1String("mp3");
    }
    pending->lastMediaTime = 0;
    if (auto modified = getModificationDateForURL(url))
        mediaFile->modificationDate = *modified;
    pending->name = QFileInfo(path).completeBaseName();
    pending->language = defaults.language;
    return pending;
}
