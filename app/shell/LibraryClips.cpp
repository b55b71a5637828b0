// The pending list's reader of clips from a dropped library.
#include "app/shell/LibraryClips.h"

#include "fcpx/FCPXClipReader.h"
#include "intake/audio/QVAudioLayout.h"
#include "intake/audio/QVMetadataTimecode.h"
#include "model/AppDelegate.h"
#include "model/ModelServices.h"
#include "platform/foundation/Preferences.h"

QVFilesPendingViewController::ClipReader makeLibraryClipReader(AppDelegate& ad, const qv::Preferences& preferences)
{
    FCPXClipReader::Services services;
    services.media.openAsset = [&ad](const QUrl& url) {
        return ad.modelServices ? ad.modelServices->createURLAsset(url) : nullptr;
    };
    services.media.iXMLTrackNames = [](const QUrl& url) { return getiXMLTrackNamesFromURL(url); };
    services.media.fileURLIsAudio = [&ad](const QUrl& url) {
        return ad.modelServices && ad.modelServices->fileURLIsAudio(url);
    };
    services.audioLayoutType = [](const QVMediaFileList& mediaFiles) { return createAudioLayoutTypeFromMediaFiles(mediaFiles); };
    services.defaultDiarisation = [&preferences] {
        return preferences.integerForKey(QStringLiteral("QVDefaultDiarization")) == 1;
    };
    services.defaultLanguage = [&preferences] {
        return preferences.stringForKey(QStringLiteral("QVDefaultLanguage")).value_or(QString());
    };
    auto reader = std::make_shared<FCPXClipReader>(ad, std::move(services));
    return [reader](const std::shared_ptr<QVXMLElement>& clip) {
        FCPXClipResult result = reader->read(clip);
        return QVFilesPendingViewController::ClipResult{std::move(result.file), result.refused,
                                                        std::move(result.unsupportedClipName)};
    };
}
