// Character-class tests on strings and the trailing-punctuation classes that decide where
// clauses and sentences end. All tests work on UTF-16 code units.
#pragma once

#include <QString>

// YES when the receiver matches the bracket expression "[<characters>]", case-insensitive.
// The characters go in verbatim, so "a-b" is a range. An empty argument or a pattern that does
// not compile answers NO.
bool containsCharacters(const QString& receiver, const QString& characters);
// YES when the receiver holds any one of `characters` (plain membership, no pattern).
bool containsPunctuationCharacters(const QString& receiver, const QString& characters);

// Each answers NO for the empty string.
bool containsOnlyWhitespace(const QString& receiver);
bool containsOnlyPunctuationOrSymbols(const QString& receiver);
bool containsOnlyPunctuationSymbolsOrWhitespace(const QString& receiver);

// The first character is an opening mark: ' ‘ “ ‹ › « » ( [
bool hasOpeningPunctuation(const QString& receiver);
// The last character is a closing mark: ‘ ’ ” ‹ › « » ) ]
bool hasClosingPunctuation(const QString& receiver);

// The punctuation trailing the word's last letter, digit or symbol holds a pausing mark
// (, … ; : – —), a pausing or stopping mark, or a stopping mark (. ? !).
bool hasPausingPunctuation(const QString& receiver);
bool hasPausingOrStoppingPunctuation(const QString& receiver);
bool hasStoppingPunctuation(const QString& receiver);
