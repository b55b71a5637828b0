#pragma once
// The transcript as running text, one block per speaker range: the speaker's name, optionally a
// time stamp, then the words with their paragraph breaks, optionally stamped at sentence starts.
// Plain text and the Word document's attributed text differ in spacing and carry favourites.
#include "export/ExportTranscript.h"

#include <functional>
#include <vector>

namespace qv {

// Timestamp options of the text exports.
inline const QString kTimestampsNone = QStringLiteral("none");
inline const QString kTimestampsChangeOfSpeaker = QStringLiteral("changeOfSpeaker");
inline const QString kTimestampsStartOfSentence = QStringLiteral("startOfSentence");

// The time stamp text of a transcript time in ms (hours, minutes and seconds).
using StampText = std::function<QString(int64_t ms)>;

QString plainTextExport(const ExportTranscript& transcript, const QString& timestamps, const StampText& stamp);

// A stretch of the Word document's text with one set of attributes.
struct TextRun {
    enum class Style {
        Default,      // the separators between ranges and after the name line
        Base,         // Helvetica at the export size
        Favorite,     // Helvetica-Bold at the export size
        SpeakerName,  // Helvetica-Bold in the speaker's colour
    };
    QString text;
    Style style = Style::Default;
    QString speakerColor;  // palette colour name, for SpeakerName
};

std::vector<TextRun> wordDocumentRuns(const ExportTranscript& transcript, const QString& timestamps,
                                      const StampText& stamp);

}  // namespace qv
