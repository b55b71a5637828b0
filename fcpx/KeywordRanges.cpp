#include "fcpx/KeywordRanges.h"

#include "model/StringPunctuation.h"

#include <algorithm>
#include <optional>

namespace {

void appendWord(QString& note, const QString& word)
{
    if (!note.isEmpty())
        note += QLatin1Char(' ');
    note += word;
}

}  // namespace

qv::MediaTime keywordTimeOrigin(const qv::MediaTime& timecodeStart)
{
    return timecodeStart.isNumeric() ? timecodeStart : qv::MediaTime::zero();
}

KeywordRanges cutKeywordRanges(const std::vector<KeywordSpeakerRange>& ranges,
                               const std::vector<std::shared_ptr<QVWord>>& words, const qv::MediaTime& origin,
                               const QString& keywordType)
{
    const bool autoType = keywordType == kKeywordTypeAuto;
    const bool sentenceType = keywordType == kKeywordTypeSentence;
    const auto at = [&](std::int64_t ms) { return origin + qv::MediaTime(ms, 1000); };
    const auto startsBefore = [](const std::shared_ptr<QVWord>& word, std::int64_t time) { return word->start < time; };

    KeywordRanges result;
    // The favourite run carries from one speaker range to the next, but is closed at the last
    // word of each.
    std::optional<QVExportFCPXRange> favorite;
    bool previousWordFavorite = false;

    for (const KeywordSpeakerRange& range : ranges) {
        result.speakerNames.append(range.speakerName);
        QVExportFCPXRange keyword;
        keyword.keyword = range.speakerName;
        const QVWord* previous = nullptr;
        const auto cut = [&] {
            result.keywordRanges.push_back(std::move(keyword));
            keyword = QVExportFCPXRange();
            keyword.keyword = range.speakerName;
            previous = nullptr;
        };

        const auto first = std::lower_bound(words.begin(), words.end(), range.start, startsBefore);
        const auto last = std::lower_bound(first, words.end(), range.end, startsBefore);
        for (auto it = first; it != last; ++it) {
            const QVWord& word = **it;
            if (previous && ((autoType && previous->end + kKeywordPauseMilliseconds < word.start) || word.newParagraph))
                cut();
            if (keyword.note.isEmpty())
                keyword.start = at(word.start);

            if (word.favorite && (!previousWordFavorite || !favorite)) {
                favorite = QVExportFCPXRange();
                favorite->start = at(word.start);
                favorite->duration = at(word.end) - favorite->start;
                favorite->note = word.name();
            } else if (word.favorite) {
                favorite->duration = at(word.end) - favorite->start;
                appendWord(favorite->note, word.name());
            } else if (previousWordFavorite && favorite) {
                result.favoriteRanges.push_back(std::move(*favorite));
                favorite.reset();
            }
            if (favorite && it + 1 == last) {
                result.favoriteRanges.push_back(std::move(*favorite));
                favorite.reset();
                previousWordFavorite = false;
            } else {
                previousWordFavorite = word.favorite;
            }

            appendWord(keyword.note, word.name());
            keyword.duration = at(word.end) - keyword.start;
            previous = &word;

            if (autoType && keyword.note.size() > kKeywordNoteMinimumLength && hasPausingOrStoppingPunctuation(word.name()))
                cut();
            else if (sentenceType && hasStoppingPunctuation(word.name()))
                cut();
        }
        if (!keyword.note.isEmpty())
            result.keywordRanges.push_back(std::move(keyword));
    }
    return result;
}
