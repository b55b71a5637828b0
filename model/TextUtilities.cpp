#include "model/TextUtilities.h"

#include "model/CharacterClasses.h"
#include "model/StringPunctuation.h"

#include <QCryptographicHash>
#include <QUuid>

#include <algorithm>

namespace {

template <class Test>
QString trimmed(const QString& text, Test test)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && test(text.at(begin)))
        ++begin;
    while (end > begin && test(text.at(end - 1)))
        --end;
    if (begin == 0 && end == text.size())
        return text;
    return text.mid(begin, end - begin);
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
    return trimmed(text, isWhitespaceChar);
}

QString stripPunctuationSymbolsAndWhitespace(const QString& text)
{
    return trimmed(text, isPunctuationSymbolOrWhitespaceChar);
}

QString stripWhitespaceAndPunctuation(const QString& text)
{
    return trimmed(text, [](QChar c) { return isWhitespaceChar(c) || isPunctuationChar(c); });
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

QString MD5(const QByteArray& data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
}

QString createUUID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).remove(u'-').toUpper();
}
