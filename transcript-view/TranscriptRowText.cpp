#include "transcript-view/TranscriptRowText.h"

#include <algorithm>

namespace qv::transcript {

QColor favoriteBackgroundColor()
{
    return QColor(255, 204, 0);
}

namespace {

// Adds `word` (at `start`, after a separator of `separator` characters) to a list of runs: the
// last run grows over the separator when the previous word was in one too.
void extendRuns(std::vector<QVAttributedText::Run>& runs, bool previousInRun, qsizetype separator, qsizetype start,
                qsizetype length, const QColor& color)
{
    if (previousInRun && !runs.empty())
        runs.back().range.length += separator + length;
    else
        runs.push_back({{start, length}, color});
}

}  // namespace

std::optional<QVAttributedText> buildRowText(AppDelegate& ad, const std::shared_ptr<QVSpeakerRange>& range,
                                             std::int64_t end, const std::vector<std::shared_ptr<QVWord>>* candidates)
{
    if (!range)
        return std::nullopt;
    QVAttributedText text;
    QString& s = text.string;
    bool previousUnheard = false;
    bool previousFavorite = false;
    bool any = false;
    // The words are in time order: the range's own begin at the first that starts in it.
    const std::vector<std::shared_ptr<QVWord>>& words = candidates ? *candidates : ad.words.items();
    auto first = words.begin();
    if (!candidates) {
        first = std::lower_bound(words.begin(), words.end(), range->start,
                                 [](const std::shared_ptr<QVWord>& word, std::int64_t start) { return word && word->start < start; });
    }
    // The range's words, each with the separator before it: measured first and then written in
    // place, so that a long row's text is neither copied as it grows nor built piece by piece.
    auto inRange = [&](const std::shared_ptr<QVWord>& word) { return word && word->start >= range->start && word->start < end; };
    auto separatorBefore = [](const QVWord& word) -> qsizetype { return word.newParagraph ? 2 : 1; };
    auto last = words.end();
    if (!candidates) {
        last = std::find_if(first, words.end(), [end](const std::shared_ptr<QVWord>& word) { return word && word->start >= end; });
    }
    qsizetype total = 0;
    bool counted = false;
    for (auto it = first; it != last; ++it) {
        if (!inRange(*it))
            continue;
        total += (counted ? separatorBefore(**it) : 0) + (*it)->name().size();
        counted = true;
    }
    s.resize(total);
    QChar* out = s.data();
    qsizetype at = 0;
    for (auto it = first; it != last; ++it) {
        const auto& word = *it;
        if (!inRange(word))
            continue;
        qsizetype separator = 0;
        if (any) {
            separator = separatorBefore(*word);
            std::fill_n(out + at, separator, QChar(separator == 2 ? '\n' : ' '));
            at += separator;
        }
        any = true;
        const QString& name = word->name();
        word->characterStart = at;
        std::copy_n(name.constData(), name.size(), out + at);
        at += name.size();
        word->characterEnd = at - 1;
        // Mostly the range it has already: a pointer's count is not touched for nothing.
        if (word->speakerRange != range)
            word->speakerRange = range;
        const bool unheard = word->status == 0;
        if (unheard)
            extendRuns(text.foregrounds, previousUnheard, separator, word->characterStart, name.size(), ad.dimmedTextColor);
        if (word->favorite)
            extendRuns(text.backgrounds, previousFavorite, separator, word->characterStart, name.size(),
                       favoriteBackgroundColor());
        previousUnheard = unheard;
        previousFavorite = word->favorite;
    }
    if (!any)
        return std::nullopt;
    return text;
}

std::vector<QRectF> reshapeHighlightRects(const std::vector<QRectF>& rects, bool favorite, double lineHeight,
                                          double limit, int lineCount, double stripHeight)
{
    const double pad = favorite ? 2.0 : 0.0;
    std::vector<QRectF> out;
    if (rects.empty())
        return out;
    if (lineCount == 1) {
        const QRectF& r = rects.front();
        out.emplace_back(r.x() - pad, r.y(), r.width() + 2 * pad, r.height() + 3);
        return out;
    }
    for (const QRectF& r : rects) {
        double change = -5;
        if (r.y() > limit) {
            change = 3;
        } else if (lineHeight > 0 && r.height() > lineHeight) {
            const int strips = static_cast<int>(r.height() / lineHeight);
            for (int j = 0; j < strips; ++j)
                out.emplace_back(r.x() - pad, r.y() + j * lineHeight, r.width() + 2 * pad, stripHeight);
            change = -r.height();
        }
        out.emplace_back(r.x() - pad, r.y(), r.width() + 2 * pad, r.height() + change);
    }
    return out;
}

}  // namespace qv::transcript
