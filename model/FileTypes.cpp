#include "model/FileTypes.h"

#include "platform/foundation/LocalizedString.h"

bool isAudioFile(std::int64_t fileType)
{
    return fileType == 0 || fileType == 2;
}

bool isComplexFile(std::int64_t fileType)
{
    return fileType == 3 || fileType == 4 || fileType == 6;
}

bool isSimpleFile(std::int64_t fileType)
{
    return fileType == 0 || fileType == 1 || fileType == 2 || fileType == 5;
}

QString getUIStringForFileType(std::int64_t fileType)
{
    switch (fileType) {
    case 0:
        return qv::localizedString("Audio File");
    case 1:
        return qv::localizedString("Video File");
    case 2:
        return qv::localizedString("Audio Clip (Final Cut Pro X)");
    case 3:
        return qv::localizedString("Multicam Clip (Final Cut Pro X)");
    case 4:
        return qv::localizedString("Synchronized Clip (Final Cut Pro X)");
    case 5:
        return qv::localizedString("Video Clip (Final Cut Pro X)");
    case 6:
        return qv::localizedString("Compound Clip (Final Cut Pro X)");
    default:
        return qv::localizedString("Unknown File Type");
    }
}
