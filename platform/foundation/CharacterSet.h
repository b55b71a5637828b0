// Sets of UTF-16 code units with the platform's character classes, and the string operations
// that take them. Membership is per code unit: a surrogate is in no class.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace qv {

class CharacterSet {
public:
    // Unicode space separators (Zs, which includes the no-break space) and the horizontal tab;
    // line breaks are not whitespace.
    static CharacterSet whitespace();
    // Every punctuation category: connector, dash, open, close, initial and final quote, other.
    static CharacterSet punctuation();
    // Every symbol category: math, currency, modifier, other.
    static CharacterSet symbols();
    // Upper-case (Lu) and title-case (Lt) letters.
    static CharacterSet uppercaseLetters();
    // Lower-case letters (Ll).
    static CharacterSet lowercaseLetters();
    // Exactly the code units of `characters`.
    static CharacterSet fromCharacters(const QString& characters);

    CharacterSet operator|(const CharacterSet& other) const;
    bool contains(QChar c) const;

private:
    std::uint64_t categories_ = 0;  // one bit per QChar::Category
    QString characters_;
};

// `text` without the members of `set` at either end.
QString trimmed(const QString& text, const CharacterSet& set);
// The pieces between occurrences of `separator`, empty pieces kept ("a,,b" gives three).
// An empty separator gives the whole text as the one piece.
QStringList splitByString(const QString& text, const QString& separator);
// The pieces between members of `set`, each member separating: consecutive members give
// empty pieces.
QStringList splitByCharacters(const QString& text, const CharacterSet& set);

}  // namespace qv
