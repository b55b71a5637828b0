// One transcript file of the account, as listed and as opened: its record in the database,
// its media and what has been loaded of it on this computer.
#pragma once

#include "platform/rtdb/DatabaseReference.h"
#include "model/QVTimecodeFields.h"

#include <QImage>
#include <QMap>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class QVMediaFile;
class QVAudioMix;
namespace qv {
class Asset;
}

// File type codes (database key "file_type").
enum QVFileType : std::int64_t {
    QVFileTypeUnknown = -1,
    QVFileTypeAudioFile = 0,
    QVFileTypeVideoFile = 1,
    QVFileTypeFCPXAudioClip = 2,
    QVFileTypeFCPXMulticamClip = 3,
    QVFileTypeFCPXSynchronizedClip = 4,
    QVFileTypeFCPXVideoClip = 5,
    QVFileTypeFCPXCompoundClip = 6,
};

class QVFile : public QVTimecodeFields {
public:
    // Playback asset of the open file: its single media file, a composition of a complex
    // clip's media files, or the placeholder shown when media are missing.
    std::shared_ptr<qv::Asset> asset;
    // Audio mix applied to playback (enabled channels of the media files).
    std::shared_ptr<QVAudioMix> audioMix;
    // When transcription completed, ms since 1970 (server time); 0 = not yet.
    std::int64_t completed = 0;
    // When the record was created, ms since 1970 (server time).
    std::int64_t created = 0;
    // The file's custom words: push identifier -> word.
    QMap<QString, QString> customWords;
    // files/<uuid>/custom_words, observed while the file is open.
    qv::DatabaseReference customWordsRef;
    // Media duration, ms.
    std::int64_t duration = 0;
    // When the user deleted the file, ms since 1970 (server time); 0 = not deleted.
    std::int64_t deleted = 0;
    QString fcpxClipName;
    QString fcpxEventName;
    // Final Cut Pro X asset identifier; set only for files that came from Final Cut Pro X.
    QString fcpxUID;
    // files/<uuid>.
    qv::DatabaseReference fileMetadataRef;
    // A QVFileType code; -1 until known.
    std::int64_t fileType = QVFileTypeUnknown;
    bool hasLoadedMediaFiles = false;
    bool hasLoadedTimecode = false;
    // Words, speakers and speaker ranges of the open file are loaded.
    bool hasLoadedTranscript = false;
    // The player has been positioned at `lastMediaTime` after opening.
    bool hasLocatedToLastMediaTime = false;
    bool hasMissingMediaFiles = false;
    // transcripts/<uuid> exists (set when the file is opened).
    bool hasTranscript = false;
    bool hasVideo = false;
    // Transcription language code (nl, en-AU, en-GB, en-US, fr, de, it, pt, es).
    QString language;
    // Last playback position on this computer, ms.
    std::int64_t lastMediaTime = 0;
    // When the file was last opened on this computer, ms since 1970 (local clock).
    std::int64_t lastOpened = 0;
    // The source media files, in database order.
    std::vector<std::shared_ptr<QVMediaFile>> mediaFiles;
    QString name;
    // Account identifier of the owning user.
    QString ownerUUID;
    // 10 submitted, 15 failed, 20 processing, 30 transcribed, 40 verified, 50 exported.
    std::int64_t status = 0;
    // Why the service could not transcribe the file (status 15), in words for the user.
    QString failureReason;
    // Seconds since 1970 after which this computer may stop keeping the transcript synced;
    // 0 = at the next check, the largest finite double = never.
    double syncedTranscriptEvictionTime = 0;
    // Picture shown in the files list.
    QImage thumbnail;
    // transcripts/<uuid> while that node is kept synced.
    qv::DatabaseReference transcriptMetadataRef;
    // Last change of the file or its transcript, ms since 1970 (server time).
    std::int64_t updated = 0;
    // files/<uuid>/updated, observed for changes made elsewhere.
    qv::DatabaseReference updatedMetadataRef;
    // The file's key: files/<uuid> and transcripts/<uuid>.
    QString uuid;
    // This computer's presence entry under files/<uuid>/users_online while the file is open.
    qv::DatabaseReference userSystemOnlineRef;
};
