// One stretch of transcript as it goes to the editor: a keyword range (keyword = the speaker's
// name, note = the words) or a favourite rating (no keyword, note = the favourite words).
#pragma once

#include "platform/media/MediaTime.h"

#include <QString>

struct QVExportFCPXRange {
    // Time origin plus the first word's start.
    qv::MediaTime start = qv::MediaTime::zero();
    // Time origin plus the last word's end, minus `start`.
    qv::MediaTime duration = qv::MediaTime::zero();
    QString keyword;
    // The words' displayed texts joined by one blank.
    QString note;
};
