// Small frames of videos for the files lists: of the open file at the playhead, of an asset or
// a media file at a time, no larger than 320 x 184, and the open file's thumbnail kept as
// "Thumbnails/<uuid>.jpg" in the application's data folder.
#pragma once

#include "platform/media/Asset.h"
#include "platform/media/MediaTime.h"

#include <QImage>
#include <QString>

namespace qv::transcript {

class QVVideoThumbnailManager {
public:
    // `cacheFolder` holds the JPEG files (made when missing); `placeholder` stands for a frame
    // that cannot be had.
    QVVideoThumbnailManager(QString cacheFolder, QImage placeholder);
    // "Thumbnails" in the application's data folder.
    static QString defaultCacheFolder();

    // Largest image returned, in pixels. Defaults to 320 x 184.
    int maxWidth() const { return maxWidth_; }
    int maxHeight() const { return maxHeight_; }

    // The frame of the open file's asset at the playhead, or the placeholder; saved under `uuid`.
    QImage createImageForSimpleFile(const Asset& asset, const MediaTime& playerTime, const QString& uuid);
    // The frame at `time`; a null image on any failure.
    QImage createImageForAsset(const Asset& asset, const MediaTime& time) const;
    // The frame of the media at `path`; a null image when its video cannot be decoded, the
    // placeholder on any other failure.
    QImage createImageForURL(const QString& path, const MediaTime& time) const;
    // The cached thumbnail of a file; a null image when there is none.
    QImage getThumbnailForFileUUID(const QString& uuid) const;
    // Writes the thumbnail as JPEG, whole or not at all. Answers whether it was written.
    bool saveThumbnail(const QImage& image, const QString& uuid) const;

private:
    QString pathForUUID(const QString& uuid) const;

    QString folder_;
    QImage placeholder_;
    int maxWidth_ = 320;
    int maxHeight_ = 184;
};

}  // namespace qv::transcript
