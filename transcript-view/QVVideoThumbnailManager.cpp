#include "transcript-view/QVVideoThumbnailManager.h"

#include "platform/foundation/FileUtilities.h"
#include "platform/media/ImageGenerator.h"

#include <QDir>
#include <QFile>

namespace qv::transcript {

namespace {

QImage toImage(const VideoImage& frame)
{
    if (frame.width <= 0 || frame.height <= 0 || frame.rgb.size() < static_cast<std::size_t>(frame.width) * frame.height * 3)
        return {};
    return QImage(frame.rgb.data(), frame.width, frame.height, frame.width * 3, QImage::Format_RGB888).copy();
}

// A file name that stays inside the cache folder.
bool isSafeName(const QString& uuid)
{
    return !uuid.isEmpty() && !uuid.startsWith('.') && !uuid.contains('/') && !uuid.contains(QChar('\0'));
}

}  // namespace

QVVideoThumbnailManager::QVVideoThumbnailManager(QString cacheFolder, QImage placeholder)
    : folder_(std::move(cacheFolder)), placeholder_(std::move(placeholder))
{
}

QString QVVideoThumbnailManager::defaultCacheFolder()
{
    return QDir(QString::fromStdString(applicationDataFolder().string())).filePath(QStringLiteral("Thumbnails"));
}

QString QVVideoThumbnailManager::pathForUUID(const QString& uuid) const
{
    return QDir(folder_).filePath(uuid + QStringLiteral(".jpg"));
}

QImage QVVideoThumbnailManager::createImageForAsset(const Asset& asset, const MediaTime& time) const
{
    ImageGenerator generator(asset);
    generator.setMaximumSize(maxWidth_, maxHeight_);
    const MediaResult<VideoImage> frame = generator.copyImage(time);
    return frame ? toImage(frame.value()) : QImage();
}

QImage QVVideoThumbnailManager::createImageForSimpleFile(const Asset& asset, const MediaTime& playerTime, const QString& uuid)
{
    QImage image = createImageForAsset(asset, playerTime);
    if (image.isNull())
        image = placeholder_;
    saveThumbnail(image, uuid);
    return image;
}

QImage QVVideoThumbnailManager::createImageForURL(const QString& path, const MediaTime& time) const
{
    const MediaResult<Asset> asset = Asset::inspect(path.toStdString());
    if (!asset)
        return asset.error().is(MediaErrorCode::DecodeFailed) ? QImage() : placeholder_;
    ImageGenerator generator(asset.value());
    generator.setMaximumSize(maxWidth_, maxHeight_);
    const MediaResult<VideoImage> frame = generator.copyImage(time);
    if (!frame)
        return frame.error().is(MediaErrorCode::DecodeFailed) ? QImage() : placeholder_;
    return toImage(frame.value());
}

QImage QVVideoThumbnailManager::getThumbnailForFileUUID(const QString& uuid) const
{
    if (!isSafeName(uuid))
        return {};
    const QString path = pathForUUID(uuid);
    if (!QFile::exists(path))
        return {};
    return QImage(path);
}

bool QVVideoThumbnailManager::saveThumbnail(const QImage& image, const QString& uuid) const
{
    if (image.isNull() || !isSafeName(uuid) || !QDir().mkpath(folder_))
        return false;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    VideoImage frame;
    frame.width = rgb.width();
    frame.height = rgb.height();
    frame.rgb.reserve(static_cast<std::size_t>(frame.width) * frame.height * 3);
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* line = rgb.constScanLine(y);
        frame.rgb.insert(frame.rgb.end(), line, line + frame.width * 3);
    }
    return !writeJpeg(frame, pathForUUID(uuid).toStdString());
}

}  // namespace qv::transcript
