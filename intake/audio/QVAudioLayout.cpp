// Audio layout types, audio extension tests and modification dates.
#include "intake/audio/QVAudioLayout.h"

#include "model/QVAudioTrack.h"

#include "platform/foundation/LocalizedString.h"
#include "transcript-view/PlaybackSetUp.h"

#include <QFileInfo>

namespace {

// Extensions of the audio types the media layer reads.
const QStringList kAudioExtensions = {"wav", "wave", "bwf", "aif", "aiff", "aifc", "mp3", "m4a", "aac",
                                      "flac", "caf", "ogg", "oga", "opus", "wma"};

void appendTracks(QString& layout, const QVMediaFile& mediaFile)
{
    long trackNumber = 0;
    for (const auto& track : mediaFile.audioTracks)
        layout += QStringLiteral("T%1C%2").arg(++trackNumber).arg(track ? track->audioChannels.size() : 0);
}

}  // namespace

QString createAudioLayoutTypeFromAsset(const qv::Asset& asset)
{
    QString layout;
    long trackNumber = 0;
    for (const qv::AssetTrack& track : asset.tracksWithMediaType(qv::MediaType::Audio)) {
        layout += QStringLiteral("T%1").arg(++trackNumber);
        if (track.audio)
            layout += QStringLiteral("C%1").arg(track.audio->channelCount);
    }
    return layout;
}

QString createAudioLayoutTypeFromMediaFile(const QVMediaFile& mediaFile)
{
    QString layout;
    appendTracks(layout, mediaFile);
    return layout;
}

QString createAudioLayoutTypeFromMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles)
{
    QString layout;
    long fileNumber = 0;
    for (const auto& mediaFile : mediaFiles) {
        layout += QStringLiteral("F%1").arg(++fileNumber);
        if (mediaFile)
            appendTracks(layout, *mediaFile);
    }
    return layout;
}

bool fileExtensionIsAudio(const QString& extension) { return kAudioExtensions.contains(extension.toLower()); }

bool fileURLIsAudio(const QUrl& url, qv::AlertPresenter* alerts)
{
    const QString extension = QFileInfo(url.path()).suffix();
    if (extension.isEmpty()) {
        if (alerts) {
            qv::Alert alert;
            alert.style = qv::AlertStyle::Critical;
            alert.messageText = qv::localizedString(QStringLiteral("File import error"));
            alert.informativeText =
                qv::localizedString(QStringLiteral("File at the following location does not have an extension which "
                                                   "may result in incorrect data. Add the necessary extension to the "
                                                   "file and re-import.\n\n%1"))
                    .arg(url.path());
            alerts->beginSheet(alert, {});
        }
        return false;
    }
    return fileExtensionIsAudio(extension);
}

std::optional<QDateTime> getModificationDateForURL(const QUrl& url)
{
    const QFileInfo info(url.toLocalFile());
    if (!url.isLocalFile() || !info.exists())
        return std::nullopt;
    const QDateTime modified = info.lastModified();
    if (!modified.isValid())
        return std::nullopt;
    return modified;
}

std::optional<QDateTime> getModificationDateForMediaFile(QVMediaFile& mediaFile)
{
    qv::transcript::PlaybackSetUp::checkAccessForMediaFile(mediaFile);
    return getModificationDateForURL(mediaFile.url);
}
