#include "model/TextUtilities.h"

#include "model/StringPunctuation.h"
#include "platform/foundation/CharacterSet.h"

#include <algorithm>

namespace {

using qv::CharacterSet;

const CharacterSet& whitespace()
{
    static const CharacterSet set = CharacterSet::whitespace();
    return set;
}

}  // namespace

QString extractLeadingPunctuation(const QString& text)
{
    if (text.size() <= 1)
        return QStringLiteral("");
    qsizetype n = 0;
    while (n < text.size() && containsOnlyPunctuationSymbolsOrWhitespace(text.mid(n, 1)))
        ++n;
    return text.left(n);
}

QString extractTrailingPunctuation(const QString& text)
{
    if (text.size() <= 1)
        return QStringLiteral("");
    qsizetype n = 0;
    while (n < text.size() && containsOnlyPunctuationSymbolsOrWhitespace(text.mid(text.size() - 1 - n, 1)))
        ++n;
    return text.right(n);
}

QString stripWhitespace(const QString& text)
{
    return qv::trimmed(text, whitespace());
}

QString stripPunctuationSymbolsAndWhitespace(const QString& text)
{
    static const CharacterSet set = CharacterSet::punctuation() | CharacterSet::symbols() | CharacterSet::whitespace();
    return qv::trimmed(text, set);
}

QString stripWhitespaceAndPunctuation(const QString& text)
{
    static const CharacterSet set = CharacterSet::whitespace() | CharacterSet::punctuation();
    return qv::trimmed(text, set);
}

bool rangeIsValid(std::uint64_t location, std::uint64_t length, const QString& text)
{
    const auto size = static_cast<std::uint64_t>(text.size());
    if (length > size || location > size - length)
        return false;
    return length == 0 || location <= size - 1;
}

std::int64_t median(std::vector<std::int64_t> numbers)
{
    if (numbers.empty())
        return 0;
    std::sort(numbers.begin(), numbers.end());
    const std::size_t middle = numbers.size() / 2;
    if (numbers.size() % 2 == 1)
        return numbers[middle];
    const __int128 sum = static_cast<__int128>(numbers[middle - 1]) + numbers[middle];
    return static_cast<std::int64_t>(sum / 2);
}

std::int64_t median(std::vector<double> numbers)
{
    if (numbers.empty())
        return 0;
    std::sort(numbers.begin(), numbers.end());
    const std::size_t middle = numbers.size() / 2;
    if (numbers.size() % 2 == 1)
        return static_cast<std::int64_t>(numbers[middle]);
    return static_cast<std::int64_t>((numbers[middle - 1] + numbers[middle]) / 2);
}

QColor colorWith255sRGBRed(double red, double green, double blue, double alpha)
{
    return QColor::fromRgbF(static_cast<float>(red / 255.0), static_cast<float>(green / 255.0),
                            static_cast<float>(blue / 255.0), static_cast<float>(alpha));
}
