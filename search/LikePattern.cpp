#include "search/LikePattern.h"

#include <QChar>

namespace qv::search {

namespace {

bool isPlainAscii(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

}  // namespace

std::u32string foldForMatching(const QString& text)
{
    std::u32string folded;
    // Most transcript words are plain ASCII: lower-casing is all they need, and it is what keeps
    // folding a whole transcript cheap.
    if (isPlainAscii(text)) {
        folded.reserve(static_cast<std::size_t>(text.size()));
        for (QChar c : text) {
            const char16_t u = c.unicode();
            folded.push_back(u >= 'A' && u <= 'Z' ? char32_t(u + ('a' - 'A')) : char32_t(u));
        }
        return folded;
    }
    const QString decomposed = text.normalized(QString::NormalizationForm_D).toCaseFolded();
    for (qsizetype i = 0; i < decomposed.size(); ++i) {
        char32_t c = decomposed[i].unicode();
        if (decomposed[i].isHighSurrogate() && i + 1 < decomposed.size() && decomposed[i + 1].isLowSurrogate())
        {
            c = QChar::surrogateToUcs4(decomposed[i], decomposed[i + 1]);
            ++i;
        }
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
            || category == QChar::Mark_Enclosing)
            continue;
        folded.push_back(c);
    }
    return folded;
}

LikePattern::LikePattern(const QString& pattern)
{
    literal_ = foldForMatching(pattern);
    for (char32_t c : literal_) {
        if (c == U'*') {
            hasWildcard_ = true;
            // A run of stars is one star.
            if (pieces_.empty() || pieces_.back().kind != Kind::AnyRun)
                pieces_.push_back({Kind::AnyRun, 0});
        } else if (c == U'?') {
            hasWildcard_ = true;
            pieces_.push_back({Kind::AnyOne, 0});
        } else {
            pieces_.push_back({Kind::Literal, c});
        }
    }
}

bool LikePattern::matches(const std::u32string& folded) const
{
    if (!hasWildcard_)
        return folded == literal_;
    // Greedy matching with one back-up point: the last star seen. Linear in practice.
    std::size_t t = 0, p = 0;
    std::size_t starPiece = std::u32string::npos, starText = 0;
    while (t < folded.size()) {
        if (p < pieces_.size()
            && (pieces_[p].kind == Kind::AnyOne || (pieces_[p].kind == Kind::Literal && pieces_[p].character == folded[t]))) {
            ++p;
            ++t;
        } else if (p < pieces_.size() && pieces_[p].kind == Kind::AnyRun) {
            starPiece = p++;
            starText = t;
        } else if (starPiece != std::u32string::npos) {
            p = starPiece + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pieces_.size() && pieces_[p].kind == Kind::AnyRun)
        ++p;
    return p == pieces_.size();
}

}  // namespace qv::search
