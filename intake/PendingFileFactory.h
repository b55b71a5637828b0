// Turns one media file offered to the intake into a pending file with its media file, audio
// tracks and channels, or refuses it: not audio or video, no usable duration, no audio track,
// a movie in fragments, protected content. Inspection reads the file, so this takes a moment.
#pragma once

#include <QString>
#include <QUrl>

#include <memory>

class QVFilePending;
class QVMediaFile;
namespace qv {
class Asset;
}

// What the system says a file holds, as far as the intake cares.
enum class MediaConformance { Audio, Movie, Neither };

// By the file's contents and name; a folder, an empty file or a document is Neither.
MediaConformance mediaConformanceOfFile(const QString& path);

// What a new pending file starts with, from the user's preferences.
struct PendingFileDefaults {
    bool diarisation = false;
    QString language;
};

// A media file of `asset`: its URL and path, duration, video flag, and one audio track per
// audio track of the asset with one enabled channel per channel (named from the file's iXML
// track list where it has one).
std::shared_ptr<QVMediaFile> createMediaFileFromAsset(const std::shared_ptr<qv::Asset>& asset);

// The pending file of the media at `url`, with a fresh uuid and no thumbnail yet; null when the
// file is refused.
std::shared_ptr<QVFilePending> createPendingFileFromURL(const QUrl& url, const PendingFileDefaults& defaults);
