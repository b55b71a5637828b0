#include "model/StringPunctuation.h"

#include "model/CharacterClasses.h"
#include <unicode/uregex.h>

namespace {

const QString kOpeningMarks = QStringLiteral("'\u2018\u201C\u2039\u203A\u00AB\u00BB([");
const QString kClosingMarks = QStringLiteral("\u2018\u2019\u201D\u2039\u203A\u00AB\u00BB)]");
const QString kPausingMarks = QStringLiteral(",\u2026;:\u2013\u2014");
const QString kPausingOrStoppingMarks = QStringLiteral(",.\u2026;:?!\u2013\u2014");
const QString kStoppingMarks = QStringLiteral(".?!");

template <class Test>
bool containsOnly(const QString& receiver, Test test)
{
    if (receiver.isEmpty())
        return false;
    for (QChar c : receiver) {
        if (!test(c))
            return false;
    }
    return true;
}

// The tail of `word` from its last character that is neither whitespace nor punctuation to the
// end; empty when there is none. The first character counts too, so that a one-letter word
// followed by a full stop ends a sentence.
QString trailingTail(const QString& word)
{
    for (qsizetype i = word.size() - 1; i >= 0; --i) {
        const QChar c = word.at(i);
        if (!isWhitespaceChar(c) && !isPunctuationChar(c))
            return word.mid(i);
    }
    return {};
}

// The mark lists hold no letters and no bracket syntax, so plain membership answers exactly as
// the case-insensitive bracket expression would.
bool tailHasMark(const QString& word, const QString& marks)
{
    const QString tail = trailingTail(word);
    return containsPunctuationCharacters(tail, marks);
}

}  // namespace

bool containsCharacters(const QString& receiver, const QString& characters)
{
    if (characters.isEmpty())
        return false;
    const QString pattern = QLatin1Char('[') + characters + QLatin1Char(']');
    UErrorCode status = U_ZERO_ERROR;
    URegularExpression* regex =
        uregex_open(reinterpret_cast<const UChar*>(pattern.utf16()), static_cast<int32_t>(pattern.size()),
                    UREGEX_CASE_INSENSITIVE, nullptr, &status);
    if (U_FAILURE(status))
        return false;
    uregex_setText(regex, reinterpret_cast<const UChar*>(receiver.utf16()), static_cast<int32_t>(receiver.size()),
                   &status);
    const bool found = U_SUCCESS(status) && uregex_find(regex, 0, &status) && U_SUCCESS(status);
    uregex_close(regex);
    return found;
}

bool containsPunctuationCharacters(const QString& receiver, const QString& characters)
{
    if (characters.isEmpty())
        return false;
    for (QChar c : receiver) {
        if (characters.contains(c))
            return true;
    }
    return false;
}

bool containsOnlyWhitespace(const QString& receiver)
{
    return containsOnly(receiver, isWhitespaceChar);
}

bool containsOnlyPunctuationOrSymbols(const QString& receiver)
{
    return containsOnly(receiver, [](QChar c) { return isPunctuationChar(c) || isSymbolChar(c); });
}

bool containsOnlyPunctuationSymbolsOrWhitespace(const QString& receiver)
{
    return containsOnly(receiver, isPunctuationSymbolOrWhitespaceChar);
}

bool hasOpeningPunctuation(const QString& receiver)
{
    return !receiver.isEmpty() && kOpeningMarks.contains(receiver.front());
}

bool hasClosingPunctuation(const QString& receiver)
{
    return !receiver.isEmpty() && kClosingMarks.contains(receiver.back());
}

bool hasPausingPunctuation(const QString& receiver)
{
    return tailHasMark(receiver, kPausingMarks);
}

bool hasPausingOrStoppingPunctuation(const QString& receiver)
{
    return tailHasMark(receiver, kPausingOrStoppingMarks);
}

bool hasStoppingPunctuation(const QString& receiver)
{
    return tailHasMark(receiver, kStoppingMarks);
}
