#include "CharacterSet.h"

#include <initializer_list>

namespace qv {
namespace {

std::uint64_t categoryBits(std::initializer_list<QChar::Category> categories)
{
    std::uint64_t bits = 0;
    for (auto category : categories)
        bits |= std::uint64_t{1} << category;
    return bits;
}

}  // namespace

CharacterSet CharacterSet::whitespace()
{
    CharacterSet set;
    set.categories_ = categoryBits({QChar::Separator_Space});
    set.characters_ = QStringLiteral("\t");
    return set;
}

CharacterSet CharacterSet::punctuation()
{
    CharacterSet set;
    set.categories_ = categoryBits({QChar::Punctuation_Connector, QChar::Punctuation_Dash,
                                    QChar::Punctuation_Open, QChar::Punctuation_Close,
                                    QChar::Punctuation_InitialQuote,
                                    QChar::Punctuation_FinalQuote, QChar::Punctuation_Other});
    return set;
}

CharacterSet CharacterSet::symbols()
{
    CharacterSet set;
    set.categories_ = categoryBits({QChar::Symbol_Math, QChar::Symbol_Currency,
                                    QChar::Symbol_Modifier, QChar::Symbol_Other});
    return set;
}

CharacterSet CharacterSet::uppercaseLetters()
{
    CharacterSet set;
    set.categories_ = categoryBits({QChar::Letter_Uppercase, QChar::Letter_Titlecase});
    return set;
}

CharacterSet CharacterSet::lowercaseLetters()
{
    CharacterSet set;
    set.categories_ = categoryBits({QChar::Letter_Lowercase});
    return set;
}

CharacterSet CharacterSet::fromCharacters(const QString& characters)
{
    CharacterSet set;
    set.characters_ = characters;
    return set;
}

CharacterSet CharacterSet::operator|(const CharacterSet& other) const
{
    CharacterSet set;
    set.categories_ = categories_ | other.categories_;
    set.characters_ = characters_ + other.characters_;
    return set;
}

bool CharacterSet::contains(QChar c) const
{
    // QChar::category of a lone surrogate code unit is Other_Surrogate, in no class above.
    if (categories_ & (std::uint64_t{1} << c.category()))
        return true;
    return characters_.contains(c);
}

QString trimmed(const QString& text, const CharacterSet& set)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && set.contains(text[begin]))
        ++begin;
    while (end > begin && set.contains(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

QStringList splitByString(const QString& text, const QString& separator)
{
    if (separator.isEmpty())
        return {text};
    return text.split(separator, Qt::KeepEmptyParts, Qt::CaseSensitive);
}

QStringList splitByCharacters(const QString& text, const CharacterSet& set)
{
    QStringList pieces;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (set.contains(text[i])) {
            pieces.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    pieces.append(text.mid(start));
    return pieces;
}

}  // namespace qv
