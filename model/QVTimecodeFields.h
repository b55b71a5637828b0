// The start timecode of a file's media, as a transcript file and a pending file both carry it.
#pragma once

#include "platform/media/MediaTime.h"

#include <QString>

#include <cstdint>

class QVTimecodeFields {
public:
    // Duration of one timecode frame.
    qv::MediaTime timecodeFrameDuration = qv::MediaTime::invalid();
    // Timecode frames per second (whole number); 0 = no usable timecode.
    std::uint32_t timecodeFrameQuanta = 0;
    bool timecodeIsDropFrame = false;
    // Timecode source (reel) name.
    QString timecodeSourceName;
    // Timecode of the first media frame; invalid = the media has no timecode.
    qv::MediaTime timecodeStart = qv::MediaTime::invalid();
};
