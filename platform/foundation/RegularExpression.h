// Regular expressions in ICU syntax over UTF-16 text: bracket expressions nest, "\s" is
// Unicode-aware, replacement templates use "$1". A pattern that does not compile is logged
// once and then matches nothing.
#pragma once

#include <QString>

#include <optional>
#include <vector>

struct URegularExpression;

namespace qv {

// A span of UTF-16 code units; location -1 for a capture group that took no part in a match.
struct TextRange {
    qsizetype location = -1;
    qsizetype length = 0;
    bool operator==(const TextRange&) const = default;
};

struct RegularExpressionMatch {
    std::vector<TextRange> ranges;  // [0] is the whole match, then each capture group
    TextRange range(std::size_t group = 0) const
    {
        return group < ranges.size() ? ranges[group] : TextRange{};
    }
};

class RegularExpression {
public:
    enum class Option { None = 0, CaseInsensitive = 1 };

    explicit RegularExpression(const QString& pattern, Option option = Option::None);
    ~RegularExpression();
    RegularExpression(const RegularExpression&) = delete;
    RegularExpression& operator=(const RegularExpression&) = delete;

    bool isValid() const { return compiled_ != nullptr; }
    // Whether the whole of `text` matches.
    bool matchesWhole(const QString& text) const;
    // Whether the pattern matches anywhere in `text`.
    bool matchesAnywhere(const QString& text) const { return firstMatch(text).has_value(); }
    std::optional<RegularExpressionMatch> firstMatch(const QString& text) const;
    // Every match, left to right, not overlapping.
    std::vector<RegularExpressionMatch> allMatches(const QString& text) const;
    // `text` with every match replaced by `replacement`, where "$n" stands for group n and
    // "\" escapes the next character. An invalid pattern leaves the text unchanged.
    QString replaceAll(const QString& text, const QString& replacement) const;

private:
    // Matching holds per-call state; each call works on its own clone, so one expression may
    // be used from several threads.
    class Matcher;

    URegularExpression* compiled_ = nullptr;
};

}  // namespace qv
