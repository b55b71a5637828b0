// A file the user has imported and not yet submitted for transcription.
#pragma once

#include "model/QVTimecodeFields.h"

#include <QImage>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <vector>

class QVMediaFile;
class QVAudioMix;
class QVImageView;
class QVProgressIndicator;
class QVXMLElement;
namespace qv {
class Asset;
}

class QVFilePending : public QVTimecodeFields {
public:
    // The imported media: its asset, or a composition for a complex clip.
    std::shared_ptr<qv::Asset> asset;
    // Signature of the audio layout ("F1T1C2..."): equal signatures, same tracks and channels.
    QString audioLayoutType;
    // The audio cannot be transcribed as it is: none of the enabled channels carries an audible
    // level, or the file is truncated.
    bool audioError = false;
    // The error icon of the pending row; owned by the row.
    QVImageView* audioErrorDisplay = nullptr;
    // Audio mix of the enabled channels for the preview player.
    std::shared_ptr<QVAudioMix> audioMix;
    // The Final Cut Pro X clip element the pending file was made from.
    std::shared_ptr<QVXMLElement> clip;
    // The converted upload audio (extension "m4a").
    QUrl convertedURL;
    // Speaker identification requested.
    bool diarisation = false;
    // Duration, ms.
    std::int64_t duration = 0;
    QString fcpxClipName;
    QString fcpxEventName;
    QString fcpxUID;
    // File type code as for QVFile.
    std::int64_t fileType = 0;
    bool hasVideo = false;
    bool isGeneratingWaveforms = false;
    // Transcription language code.
    QString language;
    // Preview playback position, ms.
    std::int64_t lastMediaTime = 0;
    // Position shown in the pending preview.
    qv::MediaTime lastMediaTimeDisplayed = qv::MediaTime::zero();
    std::vector<std::shared_ptr<QVMediaFile>> mediaFiles;
    QString name;
    // Progress indicator of the row while its waveforms are made; owned by the row.
    QVProgressIndicator* pendingWaveformsProgressIndicator = nullptr;
    // Object-store address of the uploaded audio.
    QString remotePath;
    QImage thumbnail;
    // Becomes the file's key files/<uuid>; given by the code that makes the pending file.
    QString uuid;
};
