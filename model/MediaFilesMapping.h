// A file's media files in its database record ("media_files": file_NN / audio_tracks /
// track_NN / channel_NN) and the small look-ups other code makes on a file's media.
#pragma once

#include "platform/rtdb/DatabaseValue.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <vector>

class AppDelegate;
class QVAudioChannel;
class QVFile;
class QVMediaFile;

using QVMediaFiles = std::vector<std::shared_ptr<QVMediaFile>>;

// "file_%02ld", "track_%02ld", "channel_%02ld" of a zero-based index.
std::string mediaFileKey(std::int64_t index);
std::string trackKey(std::int64_t index);
std::string channelKey(std::int64_t index);

// The "media_files" node of `mediaFiles`; null (no node) for an empty list. A track without
// channels is written with a "channels": 0 marker, since the database keeps no empty nodes
// and a missing track would shift the tracks after it.
qv::DatabaseValue createFirebaseDataFromMediaFiles(const QVMediaFiles& mediaFiles);
// New media files with their tracks and channels from a "media_files" node. Missing keys keep
// initial values; a missing file_NN gives a media file with initial values, missing tracks and
// channels are skipped.
QVMediaFiles createMediaFilesFromFirebaseData(const qv::DatabaseValue& node);

// The channel at a flat index counted over the media file's tracks in order; none past the
// end or below 0.
std::shared_ptr<QVAudioChannel> getAudioChannelFromTrackChannelIndex(std::int64_t index, const QVMediaFile& mediaFile);
// The first media file's URL of the open file; empty when none.
QUrl getFirstMediaFileURLFromCurrentFile(const AppDelegate& ad);
// Fills the tracks and channels of the file's online media files from the file's asset.
void getMediaFileDataForSimpleFile(QVFile& file);
// Sets mediaOnline on each media file that has a URL, holds access or needs none, and whose
// path exists and is readable. Never clears it.
void getMediaFilesOnlineStatus(AppDelegate& ad, const QVMediaFiles& mediaFiles);
// The first media file's hasVideo; NO for none.
bool simpleFileHasVideoForMediaFiles(const QVMediaFiles& mediaFiles);
// NO when a media file that shows video is offline.
bool videoIsOnlineForFile(const QVFile& file);
