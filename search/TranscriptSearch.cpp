#include "search/TranscriptSearch.h"

#include "model/StringPunctuation.h"
#include "search/LikePattern.h"

#include <QStringList>

#include <algorithm>

namespace qv::search {

namespace {

using WordPointer = std::shared_ptr<QVWord>;

// The window's first word: the start of the match's sentence within its speaker range. A scan
// that reaches the transcript's first word without a boundary keeps the match itself.
std::int64_t sentenceStart(const std::vector<WordPointer>& words, std::int64_t p)
{
    const auto& match = words[static_cast<std::size_t>(p)];
    for (std::int64_t i = p; i >= 0; --i) {
        const auto& word = words[static_cast<std::size_t>(i)];
        if (word != match && hasStoppingPunctuation(word->name()))
            return i + 1;
        if (word->speakerRange != match->speakerRange)
            return i + 1;
        if (i == 0)
            return p;
    }
    return p;
}

// The last word of the match's sentence within its speaker range. The transcript's last word is
// never examined; a scan that reaches it without a boundary keeps the match itself.
std::int64_t sentenceEnd(const std::vector<WordPointer>& words, std::int64_t p)
{
    const auto n = static_cast<std::int64_t>(words.size());
    if (p >= n - 1)
        return p;
    const auto& match = words[static_cast<std::size_t>(p)];
    for (std::int64_t j = p; j < n - 1; ++j) {
        const auto& word = words[static_cast<std::size_t>(j)];
        if (hasStoppingPunctuation(word->name()))
            return j;
        if (word->speakerRange != match->speakerRange)
            return j - 1;
    }
    return p;
}

// Later terms follow the match word for word, compared exactly apart from case.
bool phraseFollows(const std::vector<WordPointer>& words, std::int64_t p, const QStringList& terms)
{
    const auto n = static_cast<std::int64_t>(words.size());
    for (qsizetype k = 1; k < terms.size(); ++k) {
        const std::int64_t at = p + k;
        if (at >= n)
            return false;
        const auto& word = words[static_cast<std::size_t>(at)];
        if (word->name().size() < terms[k].size())
            return false;
        if (terms[k].toLower() != word->nameClean().toLower())
            return false;
    }
    return true;
}

void buildAbstract(QVSearchResult& result, const QVOrderedSet<QVSpeakerRange>& speakerRanges)
{
    QString text;
    for (const auto& word : result.words) {
        if (!text.isEmpty()) {
            text += QLatin1Char(' ');
        } else {
            result.startTime = word->start;
            result.speaker = TranscriptSearch::speakerForWord(*word, result.startTime, speakerRanges);
        }
        const QVSearchRange range{text.size(), word->name().size()};
        result.wordRanges.push_back(range);
        if (result.hasFoundWord(word.get()))
            result.boldRanges.push_back(range);
        text += word->name();
        result.endTime = word->end;
    }
    result.abstract = text;
}

}  // namespace

std::shared_ptr<QVSpeaker> TranscriptSearch::speakerForWord(const QVWord& word, std::int64_t startTime,
                                                            const QVOrderedSet<QVSpeakerRange>& speakerRanges)
{
    if (word.speakerRange)
        return word.speakerRange->speaker;
    const auto& ranges = speakerRanges.items();
    const auto later = std::find_if(ranges.begin(), ranges.end(), [&](const auto& range) { return range->start > startTime; });
    if (later == ranges.end())
        return ranges.empty() ? nullptr : ranges.back()->speaker;
    // A word before every range takes the first range's speaker: there is no range before it.
    return later == ranges.begin() ? (*later)->speaker : (*(later - 1))->speaker;
}

const std::u32string& TranscriptSearch::folded(std::size_t position, const QVWord& word)
{
    Folded& entry = folded_[position];
    const QString& name = word.nameClean();
    if (entry.word != &word || entry.source.constData() != name.constData()) {
        entry.word = &word;
        entry.source = name;
        entry.folded = foldForMatching(name);
    }
    return entry.folded;
}

SearchOutcome TranscriptSearch::search(const QString& text, bool typingInField, const QVOrderedSet<QVWord>& wordSet,
                                       const QVOrderedSet<QVSpeakerRange>& speakerRanges,
                                       const std::shared_ptr<QVSpeaker>& filteredSpeaker)
{
    SearchOutcome outcome;
    if (text.size() < 2) {
        if (typingInField) {
            outcome.message = QString::fromLatin1(text.size() == 1 ? kMinimumCharsMessage : kNoSearchResultsMessage);
            outcome.noResultsVisible = true;
        } else {
            outcome.message = QString::fromLatin1(kNoSearchResultsMessage);
            outcome.resetFocus = true;
        }
        return outcome;
    }

    // Terms are split at every single blank, so two blanks in a row give an empty term.
    const QStringList terms = text.trimmed().split(QLatin1Char(' '));
    const LikePattern pattern(terms.front());
    const auto& words = wordSet.items();
    const auto n = static_cast<std::int64_t>(words.size());
    folded_.resize(words.size());

    for (std::int64_t p = 0; p < n; ++p) {
        const auto& match = words[static_cast<std::size_t>(p)];
        if (filteredSpeaker && (!match->speakerRange || match->speakerRange->speaker != filteredSpeaker))
            continue;
        if (!pattern.matches(folded(static_cast<std::size_t>(p), *match)))
            continue;
        if (!outcome.results.empty()) {
            QVSearchResult& last = outcome.results.back();
            if (last.startWordIndex <= p && p <= last.endWordIndex) {
                last.foundWords.push_back(match);
                continue;
            }
        }
        if (terms.size() >= 2 && !phraseFollows(words, p, terms))
            continue;

        const std::int64_t s = sentenceStart(words, p);
        const std::int64_t e = sentenceEnd(words, p);
        std::int64_t a, b;
        if (p - s <= 4) {
            a = s;
            b = s + 4;
        } else if (e - p <= 4) {
            a = e - 4;
            b = e;
        } else {
            a = p - 2;
            b = p + 2;
        }
        a = std::max<std::int64_t>(a, 0);
        b = std::min<std::int64_t>(b, n - 1);

        QVSearchResult result;
        result.startWordIndex = a;
        result.endWordIndex = b;
        for (std::int64_t k = a; k <= b; ++k) {
            const auto& word = words[static_cast<std::size_t>(k)];
            result.words.push_back(word);
            if (p <= k && k < p + terms.size())
                result.foundWords.push_back(word);
        }
        outcome.results.push_back(std::move(result));
    }

    outcome.noResultsVisible = outcome.results.empty();
    if (outcome.results.empty()) {
        outcome.message = QString::fromLatin1(kNoSearchResultsMessage);
        return outcome;
    }
    // Abstracts come after every window is known, so matches merged into a result are bold too.
    for (QVSearchResult& result : outcome.results)
        buildAbstract(result, speakerRanges);
    return outcome;
}

}  // namespace qv::search
