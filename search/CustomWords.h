// The rules of custom words: how typed or selected text becomes a stored word, which lines of the
// entry popover count, which words the panel shows, and the writes under the open file and the
// account (one word per push child). Main thread only.
#pragma once

#include "model/AppDelegate.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace qv::search {

inline const QString kCustomWordsFile = QStringLiteral("file");
inline const QString kCustomWordsAccount = QStringLiteral("account");
// A line of the entry popover with more words than this is dropped.
inline constexpr int kMaxWordsPerEntry = 5;

// `text` without whitespace and punctuation at either end.
QString normalizedCustomWord(const QString& text);
// What an entry stores: normalised, and with its tab-separated parts joined by single blanks;
// empty when nothing is left.
QString customWordToStore(const QString& entry);
// The lines of the popover's text that count: not empty once normalised and of at most five
// words; in order.
QStringList enteredCustomWords(const QString& text);

// Writes the entries that their destinations ("account" and/or "file") do not hold yet, to the
// account first. An entry written once is not written again by a later entry of the same call.
void addNewWords(AppDelegate& ad, const QStringList& entries, const QStringList& destinations);
// Writes `text` under `ref` unless it is empty or `mirror` holds it; true when written.
bool addCustomWord(const QMap<QString, QString>& mirror, const DatabaseReference& ref, const QString& text);
// Removes every key of `mirror` that holds `word` from `ref`.
void removeCustomWord(const QMap<QString, QString>& mirror, const DatabaseReference& ref, const QString& word);

// The words of the shown lists, each text once, in the locale's case-insensitive order.
QStringList shownCustomWords(const AppDelegate& ad, bool viewFileWords, bool viewAccountWords);
// "Exists in File & Account", "Exists in File", "Exists in Account", or empty.
QString tooltipForCustomWord(const AppDelegate& ad, const QString& word);

}  // namespace qv::search
