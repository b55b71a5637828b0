// One word of a transcript with its times, flags and the speaker range whose row shows it.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>

class QVSpeakerRange;

class QVWord {
public:
    // Index of the word's last character in its speaker range's row text (inclusive).
    std::int64_t characterEnd = 0;
    // Index of the word's first character in the row text.
    std::int64_t characterStart = 0;
    // Recognition confidence; carried and copied, never filled.
    std::int64_t confidence = 0;
    // Removed from the transcript; the word then lives in the state record's deleted words.
    bool deleted = false;
    // End time, ms from the start of the media.
    std::int64_t end = 0;
    // Lies in a favourite stretch.
    bool favorite = false;
    // Keep this word's times when edited words are re-timed.
    bool lockTiming = false;
    // Text typed for the word during an inline edit and not yet committed.
    QString namePending;
    // Starts a new paragraph.
    bool newParagraph = false;
    // Paragraph change of an inline edit: 1 set on commit, -1 clear, 0 leave.
    std::int64_t newParagraphPendingChange = 0;
    // The speaker range that contains the word.
    std::shared_ptr<QVSpeakerRange> speakerRange;
    // Start time, ms from the start of the media.
    std::int64_t start = 0;
    // 0 not yet heard, 1 heard during playback, 2 text changed by an edit or a join, 3 added by
    // an edit.
    std::int64_t status = 0;
    // Key under transcripts/<file>/words.
    QString uuid;

    // The word as shown, with its punctuation.
    const QString& name() const { return name_; }
    // `name` without whitespace and punctuation at either end.
    const QString& nameClean() const { return nameClean_; }
    // Stores `name` as given and derives `nameClean` from it.
    void setName(const QString& name);

    // A new word with this one's fields and the same speaker range; the paragraph change of an
    // inline edit is not carried (the copy has 0).
    std::shared_ptr<QVWord> copy() const;

private:
    QString name_;
    QString nameClean_;
};
