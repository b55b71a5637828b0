// Matching a word against a pattern the way a "LIKE" comparison that ignores case and
// diacritics does: `*` stands for any run of characters, `?` for any one character, everything
// else (a backslash too) for itself. Text is compared folded: decomposed, combining marks
// dropped, case-folded, counted in whole characters (a surrogate pair is one character).
#pragma once

#include <QString>

#include <string>
#include <vector>

namespace qv::search {

// `text` decomposed, without combining marks and case-folded.
std::u32string foldForMatching(const QString& text);

class LikePattern {
public:
    explicit LikePattern(const QString& pattern);

    // Whether the whole of `folded` (as `foldForMatching` gives it) matches.
    bool matches(const std::u32string& folded) const;

private:
    enum class Kind { Literal, AnyRun, AnyOne };
    struct Piece {
        Kind kind;
        char32_t character;
    };
    std::vector<Piece> pieces_;
    // The folded pattern when it holds no wildcard: an equality test then.
    std::u32string literal_;
    bool hasWildcard_ = false;
};

}  // namespace qv::search
