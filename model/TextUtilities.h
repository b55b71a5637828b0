// Small text, number, colour and digest helpers shared by editing, speakers, captions and
// exports.
#pragma once

#include <QColor>
#include <QString>

#include <cstdint>
#include <vector>

// The longest prefix made only of punctuation, symbols and whitespace; empty for a text of at
// most one character, the whole text when every character qualifies.
QString extractLeadingPunctuation(const QString& text);
// The same for the longest suffix.
QString extractTrailingPunctuation(const QString& text);
// `text` without whitespace (space separators and tab) at either end.
QString stripWhitespace(const QString& text);
// `text` without punctuation, symbols and whitespace at either end; inner characters stay.
QString stripPunctuationSymbolsAndWhitespace(const QString& text);
// `text` without whitespace and punctuation at either end: a word's clean text.
QString stripWhitespaceAndPunctuation(const QString& text);

// YES when the character range (location, length) lies inside `text`; an empty range at the
// very end is inside.
bool rangeIsValid(std::uint64_t location, std::uint64_t length, const QString& text);

// 0 for no numbers; otherwise the middle number of the ascending sort, or the mean of the two
// middle ones truncated toward zero.
std::int64_t median(std::vector<std::int64_t> numbers);
std::int64_t median(std::vector<double> numbers);

// The sRGB colour of 0-255 components and an alpha of 0-1.
QColor colorWith255sRGBRed(double red, double green, double blue, double alpha);

