// The file-type vocabulary: which codes are audio, simple (one media file) or complex (several
// media files laid out in time), and the name shown for each.
#pragma once

#include <QString>

#include <cstdint>

// 0 audio file and 2 Final Cut Pro X audio clip.
bool isAudioFile(std::int64_t fileType);
// 3 multicam, 4 synchronized and 6 compound clips.
bool isComplexFile(std::int64_t fileType);
// 0, 1, 2 and 5: a single media file. -1 and unknown codes are neither simple nor complex.
bool isSimpleFile(std::int64_t fileType);
// "Audio File", "Video File", ... "Unknown File Type".
QString getUIStringForFileType(std::int64_t fileType);
