// One speaker of a transcript.
#pragma once

#include <QString>

#include <cstdint>

class QVSpeaker {
public:
    // Name of the speaker's colour in the speaker palette ("gray": no palette colour).
    QString color;
    // Removed from the transcript.
    bool deleted = false;
    QString name;
    // Number of live speaker ranges that point to this speaker. The speaker's list of ranges
    // is not kept: this count is what the editing code maintains.
    std::int64_t rangeCount = 0;
    // Key under transcripts/<file>/speakers.
    QString uuid;
};
