// A stretch of a transcript spoken by one speaker, shown as one row. It runs from `start` to
// the start of the next range.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>

class QVSpeaker;
class QVAttributedText;
class QVTextView;

class QVSpeakerRange {
public:
    bool deleted = false;
    // The range's speaker (stored in the database as the speaker's key).
    std::shared_ptr<QVSpeaker> speaker;
    // Start time, ms from the start of the media.
    std::int64_t start = 0;
    // The row text built from the range's words, by the transcript view.
    std::shared_ptr<QVAttributedText> text;
    // The text view that currently shows the row; owned by the transcript table.
    QVTextView* textView = nullptr;
    // Key under transcripts/<file>/speaker_ranges.
    QString uuid;
};
