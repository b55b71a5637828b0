// How a transcript is cut into keyword ranges and favourite ratings, for the document written
// from the open transcript and for transcripts sent back onto clips of a dropped library.
#pragma once

#include "fcpx/QVExportFCPXRange.h"
#include "model/QVWord.h"
#include "platform/media/MediaTime.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

// Values of the preference QVExportFCPXKeywordType (registered default "auto"); any other value
// cuts as kKeywordTypeSpeakerRange.
inline const QString kQVExportFCPXKeywordType = QStringLiteral("QVExportFCPXKeywordType");
inline const QString kKeywordTypeAuto = QStringLiteral("auto");
inline const QString kKeywordTypeSentence = QStringLiteral("sentence");
inline const QString kKeywordTypeSpeakerRange = QStringLiteral("speakerRange");

// "auto" cuts at a pause longer than this, ms.
inline constexpr std::int64_t kKeywordPauseMilliseconds = 1000;
// "auto" cuts after pausing or stopping punctuation once the note is longer than this, UTF-16
// code units.
inline constexpr qsizetype kKeywordNoteMinimumLength = 20;
// Keyword of a speaker stored without a name.
inline const QString kUnknownSpeakerName = QStringLiteral("Unknown");

// A speaker range to cut: its words are those starting in [start, end).
struct KeywordSpeakerRange {
    std::int64_t start = 0;
    std::int64_t end = INT64_MAX;
    QString speakerName;
};

struct KeywordRanges {
    std::vector<QVExportFCPXRange> keywordRanges;
    std::vector<QVExportFCPXRange> favoriteRanges;
    // The speaker names met, one per speaker range, in order (duplicates included).
    QStringList speakerNames;
};

// `words` ascending by start, `ranges` ascending by start. Neither output list is sorted
// afterwards: both follow the speaker ranges.
KeywordRanges cutKeywordRanges(const std::vector<KeywordSpeakerRange>& ranges,
                               const std::vector<std::shared_ptr<QVWord>>& words, const qv::MediaTime& origin,
                               const QString& keywordType);

// The time origin of a file's ranges: its start timecode when that is a valid number, else zero.
qv::MediaTime keywordTimeOrigin(const qv::MediaTime& timecodeStart);
