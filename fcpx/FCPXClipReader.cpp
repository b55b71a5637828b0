// A clip of a dropped library as a pending file.
#include "fcpx/FCPXClipReader.h"

#include "model/AppDelegate.h"
#include "model/MediaFilesMapping.h"
#include "model/ModelServices.h"
#include "model/QVFilePending.h"
#include "model/QVMediaFile.h"
#include "model/TimeUtilities.h"
#include "platform/foundation/Uuid.h"

#include <QFileInfo>

FCPXClipReader::FCPXClipReader(AppDelegate& ad, Services services, BookmarkResolver resolver)
    : ad_(ad), services_(std::move(services)), resolver_(std::move(resolver))
{
}

FCPXClipResult FCPXClipReader::read(const std::shared_ptr<QVXMLElement>& clip) const
{
    FCPXClipResult result;
    if (!clip)
        return result;
    const FCPXLibrary library(clip->document(), resolver_);
    const ClipMediaFiles builder(library, services_.media);

    auto file = std::make_shared<QVFilePending>();
    file->uuid = qv::createUUID();
    file->clip = clip;
    file->diarisation = services_.defaultDiarisation && services_.defaultDiarisation();
    file->duration = convertCMTimeToMilliseconds(timeAttribute(*clip, "duration"));
    file->name = clip->attributeText("name");

    const QString kind = clip->name();
    const QVXMLElement* timecodeElement = clip.get();
    std::shared_ptr<QVXMLElement> timecodeHolder;
    if (kind == QLatin1String("asset-clip") || kind == QLatin1String("clip")) {
        const std::optional<QString> assetID = library.getAssetRefFromClip(*clip);
        const std::optional<FCPXAssetData> data = assetID ? library.getDataFromAssetRef(*assetID) : std::nullopt;
        if (data && QFileInfo(data->url.toLocalFile()).suffix().toLower() == QLatin1String("r3d")) {
            result.refused = true;
            return result;
        }
        std::shared_ptr<QVMediaFile> mediaFile = builder.createMediaFileFromClip(*clip, nullptr, *clip);
        if (!data || !mediaFile) {
            result.refused = true;
            return result;
        }
        file->hasVideo = data->hasVideo;
        file->fileType = data->hasVideo ? 5 : 2;
        file->fcpxUID = data->uid.value_or(QString());
        file->mediaFiles = {mediaFile};
        if (ad_.modelServices)
            ad_.modelServices->checkAccessForMediaFile(*mediaFile);
        getMediaFilesOnlineStatus(ad_, file->mediaFiles);
        file->asset = mediaFile->asset;
        if (ad_.modelServices)
            if (std::optional<QDateTime> modified = ad_.modelServices->getModificationDateForMediaFile(*mediaFile))
                mediaFile->modificationDate = *modified;
    } else if (kind == QLatin1String("mc-clip") || kind == QLatin1String("ref-clip") || kind == QLatin1String("sync-clip")) {
        if (!clip->hasAttribute("name")) {
            result.refused = true;
            return result;
        }
        std::optional<QVMediaFileList> mediaFiles;
        file->fcpxClipName = file->name;
        file->fcpxEventName = library.getEventNameForClip(*clip).value_or(QString());
        if (kind == QLatin1String("sync-clip")) {
            file->fileType = 4;
            mediaFiles = builder.createMediaFilesFromFCPXSyncClip(*clip);
        } else {
            std::shared_ptr<QVXMLElement> media = library.getMediaElementFromCompoundOrMulticamClip(*clip);
            if (!media) {
                result.unsupportedClipName = file->name;
                return result;
            }
            if (kind == QLatin1String("mc-clip")) {
                file->fileType = 3;
                mediaFiles = builder.createMediaFilesFromFCPXMulticamClip(*clip, *media);
                timecodeHolder = media->firstElementForXPath("./multicam");
            } else {
                file->fileType = 6;
                mediaFiles = builder.createMediaFilesFromFCPXCompoundClip(*clip, *media);
                timecodeHolder = media->firstElementForXPath("./sequence");
            }
            timecodeElement = timecodeHolder.get();
        }
        if (!mediaFiles || mediaFiles->size() > kMaximumClipComponents) {
            result.unsupportedClipName = file->name;
            return result;
        }
        file->mediaFiles = std::move(*mediaFiles);
        getMediaFilesOnlineStatus(ad_, file->mediaFiles);
        if (ad_.modelServices) {
            file->hasVideo = ad_.modelServices->complexFileHasVideoForMediaFiles(file->mediaFiles);
            file->asset = ad_.modelServices->createAssetWithMediaFiles(file->mediaFiles, timeAttribute(*clip, "duration"));
        }
    } else {
        result.refused = true;
        return result;
    }

    if (services_.audioLayoutType)
        file->audioLayoutType = services_.audioLayoutType(file->mediaFiles);
    file->lastMediaTime = 0;
    file->language = services_.defaultLanguage ? services_.defaultLanguage() : QString();
    if (timecodeElement)
        builder.createTimecodeDataFromClip(*timecodeElement, *file);
    result.file = std::move(file);
    return result;
}
