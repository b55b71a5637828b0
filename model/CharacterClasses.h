// The character classes the model's text rules use, per UTF-16 code unit: whitespace is the
// Unicode space separators plus the horizontal tab (line breaks are not whitespace), punctuation
// every P category, symbols every S category.
#pragma once

#include <QChar>

inline bool isWhitespaceChar(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

inline bool isPunctuationChar(QChar c)
{
    switch (c.category()) {
    case QChar::Punctuation_Connector:
    case QChar::Punctuation_Dash:
    case QChar::Punctuation_Open:
    case QChar::Punctuation_Close:
    case QChar::Punctuation_InitialQuote:
    case QChar::Punctuation_FinalQuote:
    case QChar::Punctuation_Other:
        return true;
    default:
        return false;
    }
}

inline bool isSymbolChar(QChar c)
{
    switch (c.category()) {
    case QChar::Symbol_Math:
    case QChar::Symbol_Currency:
    case QChar::Symbol_Modifier:
    case QChar::Symbol_Other:
        return true;
    default:
        return false;
    }
}

inline bool isPunctuationSymbolOrWhitespaceChar(QChar c)
{
    return isWhitespaceChar(c) || isPunctuationChar(c) || isSymbolChar(c);
}
