// Start timecode and track names from audio file metadata.
#include "intake/audio/QVMetadataTimecode.h"

#include "model/QVFile.h"
#include "model/QVFilePending.h"
#include "model/QVMediaFile.h"

bool readMetadataTimecode(const QUrl&, QVTimecodeFields&) { return false; }

bool getBWFMP3TimecodeForFilePending(QVFilePending* pending, QVFile* file)
{
    QVTimecodeFields* fields = pending ? static_cast<QVTimecodeFields*>(pending) : static_cast<QVTimecodeFields*>(file);
    const auto& mediaFiles = pending ? pending->mediaFiles : (file ? file->mediaFiles : decltype(pending->mediaFiles){});
    if (!fields || mediaFiles.empty() || !mediaFiles.front() || mediaFiles.front()->url.isEmpty())
        return false;
    return readMetadataTimecode(mediaFiles.front()->url, *fields);
}

std::optional<QStringList> getiXMLTrackNamesFromURL(const QUrl&) { return std::nullopt; }
