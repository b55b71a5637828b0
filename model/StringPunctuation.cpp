#include "model/StringPunctuation.h"

#include "platform/foundation/CharacterSet.h"
#include "platform/foundation/RegularExpression.h"

namespace {

using qv::CharacterSet;

const CharacterSet& whitespace()
{
    static const CharacterSet set = CharacterSet::whitespace();
    return set;
}

const CharacterSet& whitespaceOrPunctuation()
{
    static const CharacterSet set = CharacterSet::whitespace() | CharacterSet::punctuation();
    return set;
}

const CharacterSet& punctuationOrSymbols()
{
    static const CharacterSet set = CharacterSet::punctuation() | CharacterSet::symbols();
    return set;
}

const CharacterSet& punctuationSymbolsOrWhitespace()
{
    static const CharacterSet set = punctuationOrSymbols() | CharacterSet::whitespace();
    return set;
}

const QString kOpeningMarks = QStringLiteral("'\u2018\u201C\u2039\u203A\u00AB\u00BB([");
const QString kClosingMarks = QStringLiteral("\u2018\u2019\u201D\u2039\u203A\u00AB\u00BB)]");
const QString kPausingMarks = QStringLiteral(",\u2026;:\u2013\u2014");
const QString kPausingOrStoppingMarks = QStringLiteral(",.\u2026;:?!\u2013\u2014");
const QString kStoppingMarks = QStringLiteral(".?!");

bool containsOnly(const QString& receiver, const CharacterSet& set)
{
    if (receiver.isEmpty())
        return false;
    for (QChar c : receiver) {
        if (!set.contains(c))
            return false;
    }
    return true;
}

// Whether the tail of `word`, from its last character that is neither whitespace nor
// punctuation to the end, holds one of `marks`; a word without such a character has no tail.
// The first character counts too, so that a one-letter word followed by a full stop ends a
// sentence. Read in place: a search for the next sentence asks this of every word after the
// current one. The mark lists hold no letters and no bracket syntax, so plain membership answers
// exactly as the case-insensitive bracket expression would.
bool tailHasMark(const QString& word, const QString& marks)
{
    bool marked = false;
    for (qsizetype i = word.size() - 1; i >= 0; --i) {
        const QChar c = word.at(i);
        marked = marked || marks.contains(c);
        if (!whitespaceOrPunctuation().contains(c))
            return marked;
    }
    return false;
}

}  // namespace

bool containsCharacters(const QString& receiver, const QString& characters)
{
    if (characters.isEmpty())
        return false;
    const qv::RegularExpression pattern(QLatin1Char('[') + characters + QLatin1Char(']'),
                                        qv::RegularExpression::Option::CaseInsensitive);
    return pattern.matchesAnywhere(receiver);
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
    return containsOnly(receiver, whitespace());
}

bool containsOnlyPunctuationOrSymbols(const QString& receiver)
{
    return containsOnly(receiver, punctuationOrSymbols());
}

bool containsOnlyPunctuationSymbolsOrWhitespace(const QString& receiver)
{
    return containsOnly(receiver, punctuationSymbolsOrWhitespace());
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
