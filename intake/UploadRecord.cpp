#include "intake/UploadRecord.h"

#include "model/MediaFilesMapping.h"
#include "model/QVFilePending.h"
#include "model/TimeUtilities.h"

bool etagVerifies(const QString& etag, const QString& md5Hex)
{
    return etag.size() >= 33 && md5Hex.size() == 32 && etag.mid(1, 32) == md5Hex;
}

QString remotePathFromSignedRequest(const QUrl& signedRequest)
{
    return signedRequest.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment).toString();
}

qv::DatabaseUpdate newFileRecord(const QVFilePending& file, const QString& ownerUid)
{
    qv::DatabaseUpdate record = {
        {"created", qv::DatabaseValue::serverTimestamp()},
        {"diarisation", file.diarisation},
        {"duration", file.duration},
        {"file_type", file.fileType},
        {"language", file.language.toStdString()},
        {"media_files", createFirebaseDataFromMediaFiles(file.mediaFiles)},
        {"name", file.name.toStdString()},
        {"owner", ownerUid.toStdString()},
        {"status", kFileStatusSubmitted},
        {"updated", qv::DatabaseValue::serverTimestamp()},
        {"url", file.remotePath.toStdString()},
    };
    if (!file.fcpxClipName.isEmpty())
        record.emplace_back("fcpx_clip_name", file.fcpxClipName.toStdString());
    if (!file.fcpxEventName.isEmpty())
        record.emplace_back("fcpx_event_name", file.fcpxEventName.toStdString());
    if (!file.fcpxUID.isEmpty())
        record.emplace_back("fcpx_uid", file.fcpxUID.toStdString());
    if (file.timecodeStart.isValid()) {
        std::vector<qv::DatabaseValue::Entry> timecode;
        if (file.timecodeIsDropFrame)
            timecode.emplace_back("drop_frame", true);
        if (file.timecodeFrameDuration.isValid())
            timecode.emplace_back("frame_duration", convertToStringTime(file.timecodeFrameDuration).toStdString());
        timecode.emplace_back("start", convertToStringTime(file.timecodeStart).toStdString());
        if (!file.timecodeSourceName.isEmpty())
            timecode.emplace_back("source_name", file.timecodeSourceName.toStdString());
        record.emplace_back("timecode", qv::DatabaseValue::map(std::move(timecode)));
    }
    return record;
}
