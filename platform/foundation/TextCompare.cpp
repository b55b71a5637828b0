#include "TextCompare.h"

#include "CharacterSet.h"

#include <QCollator>

#include <limits>

namespace qv {

std::int64_t integerValue(const QString& text)
{
    static const CharacterSet skipped = CharacterSet::whitespace()
        | CharacterSet::fromCharacters(QStringLiteral("\n\v\f\r\u0085\u2028\u2029"));
    qsizetype i = 0;
    while (i < text.size() && skipped.contains(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Accumulate toward the sign so that the most negative value is reachable.
    constexpr auto max = std::numeric_limits<std::int64_t>::max();
    constexpr auto min = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        int digit = text[i].unicode() - u'0';
        if (negative) {
            if (value < (min + digit) / 10)
                return min;
            value = value * 10 - digit;
        } else {
            if (value > (max - digit) / 10)
                return max;
            value = value * 10 + digit;
        }
    }
    return value;
}

int localizedStandardCompare(const QString& a, const QString& b)
{
    // A collator is not safe to share between threads; each thread keeps its own.
    thread_local QCollator collator = [] {
        // The C locale's collation is plain code-unit order without a numeric mode; sort
        // names by the English rules there.
        QLocale locale;
        if (locale.language() == QLocale::C)
            locale = QLocale(QLocale::English, QLocale::UnitedStates);
        QCollator c{locale};
        c.setCaseSensitivity(Qt::CaseInsensitive);
        c.setNumericMode(true);
        return c;
    }();
    return collator.compare(a, b);
}

}  // namespace qv
