#include "search/CustomWords.h"

#include <QCollator>

#include <algorithm>

namespace qv::search {

namespace {

bool isTrimmed(QChar c) { return c.isSpace() || c.isPunct(); }

const QMap<QString, QString>* fileWords(const AppDelegate& ad)
{
    return ad.currentFile ? &ad.currentFile->customWords : nullptr;
}

}  // namespace

QString normalizedCustomWord(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isTrimmed(text[begin]))
        ++begin;
    while (end > begin && isTrimmed(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

QString customWordToStore(const QString& entry)
{
    const QString normalized = normalizedCustomWord(entry);
    if (!normalized.contains('\t'))
        return normalized;
    QStringList parts;
    for (const QString& part : normalized.split('\t', Qt::SkipEmptyParts))
        parts << part.trimmed();
    return parts.join(' ');
}

QStringList enteredCustomWords(const QString& text)
{
    QStringList counted;
    for (const QString& line : text.split('\n')) {
        const QString normalized = normalizedCustomWord(line);
        if (!normalized.isEmpty() && normalized.split(' ').size() <= kMaxWordsPerEntry)
            counted << line;
    }
    return counted;
}

bool addCustomWord(const QMap<QString, QString>& mirror, const DatabaseReference& ref, const QString& text)
{
    if (text.isEmpty() || !ref.isValid() || std::find(mirror.begin(), mirror.end(), text) != mirror.end())
        return false;
    ref.childByAutoId().setValue(DatabaseValue(text.toStdString()));
    return true;
}

void addNewWords(AppDelegate& ad, const QStringList& entries, const QStringList& destinations)
{
    // The mirrors change only when the service reports a write, so the texts this call wrote
    // are remembered here: the same word twice in one entry is stored once.
    QStringList toAccount;
    QStringList toFile;
    for (const QString& entry : entries) {
        const QString text = customWordToStore(entry);
        if (destinations.contains(kCustomWordsAccount) && !toAccount.contains(text) &&
            addCustomWord(ad.userCustomWords, ad.userCustomWordsRef, text))
            toAccount << text;
        if (ad.currentFile && destinations.contains(kCustomWordsFile) && !toFile.contains(text) &&
            addCustomWord(ad.currentFile->customWords, ad.currentFile->customWordsRef, text))
            toFile << text;
    }
}

void removeCustomWord(const QMap<QString, QString>& mirror, const DatabaseReference& ref, const QString& word)
{
    if (!ref.isValid())
        return;
    for (auto it = mirror.begin(); it != mirror.end(); ++it)
        if (it.value() == word)
            ref.child(it.key().toStdString()).removeValue();
}

QStringList shownCustomWords(const AppDelegate& ad, bool viewFileWords, bool viewAccountWords)
{
    QStringList words;
    auto add = [&words](const QMap<QString, QString>& mirror) {
        for (const QString& word : mirror)
            if (!words.contains(word))
                words << word;
    };
    if (viewFileWords && fileWords(ad))
        add(*fileWords(ad));
    if (viewAccountWords)
        add(ad.userCustomWords);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(words.begin(), words.end(),
                     [&collator](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    return words;
}

QString tooltipForCustomWord(const AppDelegate& ad, const QString& word)
{
    const bool inFile = fileWords(ad) && std::find(fileWords(ad)->begin(), fileWords(ad)->end(), word) != fileWords(ad)->end();
    const bool inAccount = std::find(ad.userCustomWords.begin(), ad.userCustomWords.end(), word) != ad.userCustomWords.end();
    if (inFile && inAccount)
        return QStringLiteral("Exists in File & Account");
    if (inFile)
        return QStringLiteral("Exists in File");
    if (inAccount)
        return QStringLiteral("Exists in Account");
    return {};
}

}  // namespace qv::search
