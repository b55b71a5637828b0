#include "model/FileTypes.h"

#include "model/LocalizedString.h"

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
        return localizedString("Audio File");
    case 1:
        return localizedString("Video File");
    case 2:
        return localizedString("Audio Clip (Final Cut Pro X)");
    case 3:
        return localizedString("Multicam Clip (Final Cut Pro X)");
    case 4:
        return localizedString("Synchronized Clip (Final Cut Pro X)");
    case 5:
        return localizedString("Video Clip (Final Cut Pro X)");
    case 6:
        return localizedString("Compound Clip (Final Cut Pro X)");
    default:
        return localizedString("Unknown File Type");
    }
}
