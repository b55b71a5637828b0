// One source media file of a transcript file, or one component clip of a Final Cut Pro X
// multicam, synchronized or compound clip, with its audio tracks.
#pragma once

#include "platform/media/MediaTime.h"

#include <QDateTime>
#include <QString>
#include <QUrl>

#include <memory>
#include <vector>

class QVAudioTrack;
class QVCheckBox;
namespace qv {
class Asset;
}

class QVMediaFile {
public:
    // Asset opened on `url`.
    std::shared_ptr<qv::Asset> asset;
    // The audio tracks, in track order.
    std::vector<std::shared_ptr<QVAudioTrack>> audioTracks;
    // Where this component begins on the timeline of its complex clip.
    qv::MediaTime compositeDelay = qv::MediaTime::zero();
    // Duration of the media file or clip.
    qv::MediaTime duration = qv::MediaTime::zero();
    // The media file's enable check box in the audio configuration panel; owned by the panel.
    QVCheckBox* enableButton = nullptr;
    QString fcpxAudioRole;
    QString fcpxMulticamAngleName;
    QString fcpxMulticamAngleUID;
    // Path of the media file.
    QString filePath;
    // Access to `url` has been started and must be stopped later.
    bool hasAccessToURL = false;
    bool hasVideo = false;
    bool isMP3 = false;
    // The file exists and can be read (and accessed, when access is required).
    bool mediaOnline = false;
    QDateTime modificationDate;
    // `url` needs access to be started before use.
    bool requiresSecurityAccess = true;
    // This media file's video is the one shown in the viewer.
    bool showVideo = false;
    // Start of the used part within the source media.
    qv::MediaTime sourceDelay = qv::MediaTime::zero();
    // Length of the used part of the source media.
    qv::MediaTime sourceDuration = qv::MediaTime::zero();
    // Location of the media on this computer, resolved from its bookmark.
    QUrl url;
};
