// Relinking a media file of the open transcript.
#include "intake/audio/QVMediaRelinker.h"

#include "intake/audio/QVAudioLayout.h"

#include "model/FileTypes.h"
#include "model/LocalFileData.h"
#include "model/MediaFilesMapping.h"
#include "model/ModelServices.h"

#include "platform/foundation/LocalizedString.h"

#include <QFileInfo>

QVMediaRelinker::QVMediaRelinker(AppDelegate& ad, qv::Preferences* preferences, qv::AlertPresenter* alerts)
    : ad_(ad), preferences_(preferences), alerts_(alerts)
{
}

QVMediaRelinker::Check QVMediaRelinker::check(const QVFile& file, std::size_t index, const qv::Asset* chosen,
                                              std::vector<std::shared_ptr<QVMediaFile>>* samePath)
{
    if (index >= file.mediaFiles.size() || !file.mediaFiles[index])
        return Check::TracksMismatch;
    const QVMediaFile& mediaFile = *file.mediaFiles[index];
    const qv::MediaTime duration = chosen && chosen->duration().isValid() ? chosen->duration() : qv::MediaTime::zero();
    const std::int64_t chosenMs = duration.convertScale(1000).value;
    const std::int64_t expectedMs = mediaFile.duration.isValid() ? mediaFile.duration.convertScale(1000).value : 0;
    if (chosenMs < expectedMs - kDurationToleranceMilliseconds || chosenMs > expectedMs + kDurationToleranceMilliseconds)
        return Check::DurationMismatch;

    const QString layout = createAudioLayoutTypeFromMediaFile(mediaFile);
    bool tracksMatch = layout.isEmpty() || (chosen && layout == createAudioLayoutTypeFromAsset(*chosen));
    const bool chosenHasVideo = chosen && !chosen->tracksWithMediaType(qv::MediaType::Video).empty();
    bool videoMatches = mediaFile.hasVideo ? chosenHasVideo : !(mediaFile.showVideo && !chosenHasVideo);
    for (const auto& other : file.mediaFiles) {
        if (!other || other->filePath != mediaFile.filePath)
            continue;
        if (samePath)
            samePath->push_back(other);
        if (other->hasVideo || other->showVideo)
            videoMatches = videoMatches && chosenHasVideo;
    }
    tracksMatch = tracksMatch && videoMatches;
    return tracksMatch ? Check::Accepted : Check::TracksMismatch;
}

QString QVMediaRelinker::panelMessage(const QVMediaFile& mediaFile)
{
    const QString name = QFileInfo(mediaFile.filePath).fileName();
    if (name.isEmpty())
        return {};
    return mediaFile.mediaOnline ? QStringLiteral("Relink the following media file:\n%1").arg(name)
                                 : QStringLiteral("Please locate the missing file:\n%1").arg(name);
}

void QVMediaRelinker::refuse(Check check)
{
    if (!alerts_)
        return;
    qv::Alert alert;
    alert.style = qv::AlertStyle::Critical;
    alert.messageText = qv::localizedString(QStringLiteral("File relinking error"));
    alert.informativeText =
        check == Check::DurationMismatch
            ? qv::localizedString(QStringLiteral("The duration of the chosen file does not match the duration of the original file."))
            : qv::localizedString(QStringLiteral("The audio and video tracks of the chosen file does not match with the "
                                                 "tracks found in the original file."));
    alerts_->beginSheet(alert, {});
}

bool QVMediaRelinker::relink(std::size_t index, const QUrl& url, const qv::Asset* chosen, std::function<void()> reloaded)
{
    const std::shared_ptr<QVFile> file = ad_.currentFile;
    if (!file)
        return false;
    std::vector<std::shared_ptr<QVMediaFile>> samePath;
    const Check verdict = check(*file, index, chosen, &samePath);
    if (verdict != Check::Accepted) {
        refuse(verdict);
        return false;
    }
    const std::shared_ptr<QVMediaFile> mediaFile = file->mediaFiles[index];
    const bool layoutWasUnknown = createAudioLayoutTypeFromMediaFile(*mediaFile).isEmpty();
    for (const auto& relinked : samePath) {
        relinked->hasAccessToURL = false;
        relinked->requiresSecurityAccess = false;
        relinked->url = url;
        relinked->mediaOnline = true;
    }
    if (layoutWasUnknown) {
        if (!chosen || chosen->tracksWithMediaType(qv::MediaType::Video).empty()) {
            mediaFile->hasVideo = false;
            mediaFile->showVideo = false;
        }
        if (file->fileMetadataRef.isValid())
            file->fileMetadataRef.child("media_files").setValue(createFirebaseDataFromMediaFiles(file->mediaFiles));
        if (ad_.modelServices)
            ad_.modelServices->updateCurrentFileTimestamp();
    }
    if (preferences_)
        LocalFileData(ad_, *preferences_).saveLocalDataForFileUUID(file->uuid, false, true, -1, -1, file->mediaFiles, -1);

    ModelServices* services = ad_.modelServices;
    if (!services)
        return true;
    if (isSimpleFile(file->fileType) && !file->mediaFiles.empty() && file->mediaFiles.front()) {
        QVMediaFile& first = *file->mediaFiles.front();
        services->checkAccessForMediaFile(first);
        std::shared_ptr<qv::Asset> asset = first.mediaOnline ? services->createURLAsset(first.url) : nullptr;
        file->asset = asset ? asset : services->createMissingMediaAssetForSimpleFile(*file);
        getMediaFileDataForSimpleFile(*file);
    } else if (isComplexFile(file->fileType)) {
        file->asset = services->createAssetWithMediaFiles(file->mediaFiles, qv::MediaTime(file->duration, 1000));
    }
    services->checkForMissingMediaFiles();
    file->audioMix.reset();
    const std::shared_ptr<qv::Asset> asset = file->asset;
    const QStringList keys = {"playable", "hasProtectedContent", "tracks"};
    services->loadValuesAsynchronouslyForKeys(asset, keys, [this, asset, keys, reloaded = std::move(reloaded)] {
        if (ad_.modelServices)
            ad_.modelServices->setUpPlaybackOfAsset(asset, keys);
        if (reloaded)
            reloaded();
    });
    return true;
}
