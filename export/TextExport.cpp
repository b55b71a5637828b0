#include "export/TextExport.h"

#include "platform/foundation/WritableText.h"
#include "model/StringPunctuation.h"

#include <algorithm>

namespace qv {
namespace {

QString bracketed(const QString& stamp) {
    return QLatin1Char('[') + stamp + QLatin1Char(']');
}

// The stamp of a time, which is never before zero, whatever the word's time.
QString stampAt(const StampText& stamp, int64_t ms) {
    return stamp(std::max<int64_t>(ms, 0));
}

// The text so far ends a sentence, so the next word starts one.
bool atSentenceStart(const QString& text) {
    return !text.isEmpty() && ::hasStoppingPunctuation(text);
}

}  // namespace

QString plainTextExport(const ExportTranscript& transcript, const QString& timestamps, const StampText& stamp) {
    const bool stampSpeakers = timestamps == kTimestampsChangeOfSpeaker;
    const bool stampSentences = timestamps == kTimestampsStartOfSentence;
    QString document;
    for (const auto& range : transcript.ranges) {
        if (!document.isEmpty()) document += QLatin1String("\n\n");
        document += range.speakerName;
        if (stampSpeakers) document += QLatin1Char(' ') + bracketed(stampAt(stamp, range.start));
        document += QLatin1Char('\n');

        QString text;
        for (const auto& word : range.words) {
            const bool sentenceStart = atSentenceStart(text);
            if (!text.isEmpty() && word.newParagraph) text += QLatin1String("\n\n");
            bool stamped = false;
            if (stampSentences && (text.isEmpty() || sentenceStart)) {
                if (!text.isEmpty() && !word.newParagraph) text += QLatin1Char(' ');
                text += bracketed(stampAt(stamp, word.start));
                stamped = true;
            }
            if (!text.isEmpty() && (stamped || !word.newParagraph)) text += QLatin1Char(' ');
            text += word.name;
        }
        document += text;
    }
    return withoutUnwritableCharacters(document);
}

std::vector<TextRun> wordDocumentRuns(const ExportTranscript& transcript, const QString& timestamps,
                                      const StampText& stamp) {
    const bool stampSpeakers = timestamps == kTimestampsChangeOfSpeaker;
    const bool stampSentences = timestamps == kTimestampsStartOfSentence;
    std::vector<TextRun> runs;
    for (const auto& range : transcript.ranges) {
        if (!runs.empty()) runs.push_back({QStringLiteral("\n\n"), TextRun::Style::Default, {}});
        runs.push_back({range.speakerName, TextRun::Style::SpeakerName, range.speakerColor});
        if (stampSpeakers) {
            runs.push_back({QStringLiteral(" [%1]").arg(stampAt(stamp, range.start)), TextRun::Style::Base, {}});
        }
        runs.push_back({QStringLiteral("\n"), TextRun::Style::Default, {}});
        if (range.words.empty()) continue;

        // The range's text with the favourite stretches as [start, end) character ranges.
        QString text;
        std::vector<std::pair<qsizetype, qsizetype>> favorites;
        bool previousFavorite = false;
        for (const auto& word : range.words) {
            const bool sentenceStart = atSentenceStart(text);
            if (!text.isEmpty()) {
                text += QLatin1Char(' ');
                if (word.newParagraph) text += QLatin1String("\n\n");
            }
            bool stamped = false;
            if (stampSentences && (text.isEmpty() || sentenceStart)) {
                text += QStringLiteral("[%1] ").arg(stampAt(stamp, word.start));
                stamped = true;
            }
            const qsizetype nameStart = text.size();
            text += word.name;
            if (word.favorite) {
                if (previousFavorite && !stamped && !favorites.empty()) {
                    favorites.back().second = text.size();
                } else {
                    favorites.emplace_back(nameStart, text.size());
                }
            }
            previousFavorite = word.favorite;
        }

        qsizetype position = 0;
        for (const auto& [start, end] : favorites) {
            if (start > position) runs.push_back({text.mid(position, start - position), TextRun::Style::Base, {}});
            runs.push_back({text.mid(start, end - start), TextRun::Style::Favorite, {}});
            position = end;
        }
        if (position < text.size()) runs.push_back({text.mid(position), TextRun::Style::Base, {}});
    }
    return runs;
}

}  // namespace qv
