#include "editing/TextChangeFilter.h"

#include "editing/EditingEnvironment.h"
#include "editing/SelectionCommands.h"
#include "model/StringPunctuation.h"
#include "model/TextUtilities.h"
#include "platform/foundation/LocalizedString.h"
#include "platform/foundation/Uuid.h"
#include "platform/ui/TextViewModel.h"

#include <algorithm>
#include <vector>

namespace {

using WordPtr = std::shared_ptr<QVWord>;

constexpr QChar kNoBreakSpace(0x00A0);

bool isBlankCharacter(QChar c)
{
    return c == QChar(' ') || c == kNoBreakSpace;
}

bool isBlank(const QString& text)
{
    return text.size() == 1 && isBlankCharacter(text.front());
}

bool isWhitespace(QChar c)
{
    return c.isSpace();
}

bool containsBlank(const QString& text)
{
    return std::any_of(text.begin(), text.end(), isBlankCharacter);
}

QStringList piecesOf(const QString& replacement)
{
    if (isBlank(replacement))
        return {QStringLiteral(" ")};
    QStringList pieces;
    QString piece;
    for (QChar c : replacement) {
        if (isBlankCharacter(c)) {
            pieces << piece;
            piece.clear();
        } else {
            piece += c;
        }
    }
    pieces << piece;
    return pieces;
}

long long ll(qsizetype v)
{
    return static_cast<long long>(v);
}

}  // namespace

void TextChangeFilter::willEditTextView(const qv::TextViewModel& textView, qv::TextRange range, const QString& replacement)
{
    AppDelegate& ad = env_.ad;
    env_.appendTrace(QString("\nwillEditTextView called with isEditing = %1\n").arg(ad.isEditing ? 1 : 0));

    const qsizetype lower = textView.lowerCharacterLock();
    const qsizetype loc = range.location;
    const qsizetype len = range.length;
    const qsizetype a = loc - lower;
    const QString original = ad.editingText;
    qsizetype b = len;
    if (len == 0)
        b = 0;
    else if (a + len > original.size())
        b = original.size() - a;

    const bool blankBefore = a - 1 >= 0 && a - 1 < original.size() && isBlankCharacter(original.at(a - 1));
    const bool blankAfter = a + b >= 0 && a + b < original.size() && isBlankCharacter(original.at(a + b));

    QString r = replacement;
    // A French blank-and-mark pair typed next to an existing blank must not double the blank.
    if (env_.languageIs("fr") && r.size() == 2 && containsBlank(r)
        && ((blankBefore && isWhitespace(r.at(0))) || (blankAfter && isWhitespace(r.at(1)))))
        r = r.trimmed();

    const bool replacedValid = a >= 0 && b >= 0 && rangeIsValid(a, b, original);
    const QString replaced = replacedValid ? original.mid(a, b) : QString();

    // Replacing all (or all but one character) of a multi-word edit leaves no timing to keep.
    if (!ad.disallowLockTimingOnEditedWords && SelectionCommands::hasMultipleWordsSelected(ad)
        && (b == original.size() || b == original.size() - 1))
        ad.disallowLockTimingOnEditedWords = true;

    if (isBlank(r) && isBlank(replaced))
        return;

    QString before = QString("\noriginalString:\n%1\nself.currentTextView: %2\nlower/upperCharacterLocks:%3/%4\n"
                             "selectionLocalRange:\n{%5, %6}\nreplacementString:%7\ndisallowLockTimingOnEditedWords:%8\n"
                             "wordsEditing BEFORE contains %9 namePending items:\n")
                         .arg(original)
                         .arg(QString::asprintf("%p", static_cast<const void*>(&textView)))
                         .arg(ll(lower))
                         .arg(ll(textView.upperCharacterLock()))
                         .arg(ll(a))
                         .arg(ll(b))
                         .arg(r)
                         .arg(ad.disallowLockTimingOnEditedWords ? 1 : 0)
                         .arg(ad.wordsEditing.size());
    for (const WordPtr& word : ad.wordsEditing)
        before += QString("%1|%2|%3\n").arg(word->namePending).arg(word->characterStart).arg(word->characterEnd);
    env_.appendTrace(before);

    if (replacedValid)
        ad.editingText.replace(a, b, r);

    QStringList pieces = piecesOf(r);
    const qsizetype e = loc + len;
    const std::shared_ptr<QVSpeakerRange> currentRange =
        ad.speakerRanges.at(static_cast<std::size_t>(std::max<std::int64_t>(ad.currentSpeakerRangeIndex, 0)));
    auto newWord = [&](const QString& text, qsizetype start, const WordPtr& from) {
        auto word = std::make_shared<QVWord>();
        word->namePending = text;
        word->characterStart = start;
        word->characterEnd = start + text.size() - 1;
        word->speakerRange = from ? from->speakerRange : currentRange;
        word->status = 3;
        word->uuid = qv::createUUID();
        return word;
    };

    std::vector<WordPtr> affected;
    std::vector<WordPtr> deleted;
    qsizetype firstEdited = -1;
    qsizetype offset = 0;
    bool joined = false;
    auto addAffected = [&](const WordPtr& word) {
        if (word && std::find(affected.begin(), affected.end(), word) == affected.end())
            affected.push_back(word);
    };
    const WordPtr first = ad.wordsEditing.first();
    qsizetype previousEnd = lower - (first && first->newParagraph ? 3 : 2);

    if (len > 0) {
        previousEnd = std::max<qsizetype>(previousEnd, -1);
        for (std::size_t i = 0; i < ad.wordsEditing.size(); ++i) {
            const WordPtr& word = ad.wordsEditing.items()[i];
            const qsizetype s = word->characterStart;
            const qsizetype t = word->characterEnd;
            const qsizetype index = static_cast<qsizetype>(i);
            if (s < e && t >= loc) {
                if (s < loc) {
                    addAffected(word);
                    if (firstEdited < 0)
                        firstEdited = index + 1;
                } else if (t < e) {
                    deleted.push_back(word);
                    if (firstEdited < 0)
                        firstEdited = index;
                } else {
                    addAffected(word);
                    if (firstEdited < 0)
                        firstEdited = index + 1;
                }
            } else {
                if (previousEnd < loc && loc < s && s >= e) {
                    firstEdited = index;
                    break;
                }
                if (loc == t + 1 && !isBlank(r) && !r.isEmpty()) {
                    addAffected(word);
                    if (firstEdited < 0)
                        firstEdited = index + 1;
                }
            }
            previousEnd = t;
        }
        if (!deleted.empty() && !replaced.isEmpty() && !blankAfter && isBlankCharacter(replaced.back())) {
            for (const WordPtr& word : ad.wordsEditing)
                if (word->characterStart == e)
                    addAffected(word);
        }
        // Deleting the separator between two words joins them.
        if (!blankBefore && !blankAfter && pieces.size() == 1 && !isBlank(r) && containsBlank(replaced)) {
            affected.clear();
            for (const qsizetype position : {loc - 1, loc + b})
                for (const WordPtr& word : ad.wordsEditing)
                    if (word->characterStart <= position && position <= word->characterEnd)
                        addAffected(word);
            offset = r.size() - len;
            joined = true;
        }
        if (affected.size() == 2 && !isBlank(r)) {
            const WordPtr one = affected[0];
            const WordPtr two = affected[1];
            if (containsOnlyPunctuationOrSymbols(one->namePending)) {
                const QString head = one->namePending.left(std::max<qsizetype>(loc - one->characterStart, 0));
                pieces.last().prepend(head);
                r.prepend(head);
                affected.erase(affected.begin());
                deleted.push_back(one);
            } else {
                const QString tail = two->namePending.mid(std::max<qsizetype>(e - two->characterStart, 0));
                pieces.last().append(tail);
                r.append(tail);
                affected.pop_back();
                deleted.push_back(two);
            }
        }
        // One whole word typed over between two blanks keeps its identity.
        if (deleted.size() == 1 && !r.isEmpty() && blankBefore && blankAfter) {
            affected.push_back(deleted.front());
            deleted.clear();
            firstEdited = -1;
        }
        for (const WordPtr& word : deleted) {
            const auto index = ad.wordsEditing.indexOf(word);
            if (!index)
                continue;
            if (firstEdited >= 0 && static_cast<qsizetype>(*index) < firstEdited)
                --firstEdited;
            ad.wordsEditing.remove(word);
        }
    } else {
        previousEnd = std::max<qsizetype>(previousEnd, 0);
        bool touched = false;
        for (std::size_t i = 0; i < ad.wordsEditing.size(); ++i) {
            const WordPtr& word = ad.wordsEditing.items()[i];
            const qsizetype s = word->characterStart;
            const qsizetype t = word->characterEnd;
            const qsizetype index = static_cast<qsizetype>(i);
            if (loc < s || loc > t + 1) {
                if (previousEnd < loc && loc < s) {
                    firstEdited = index;
                    break;
                }
                previousEnd = t;
                continue;
            }
            if ((!blankBefore && !blankAfter) || (!isBlank(r) && !r.isEmpty())) {
                addAffected(word);
                firstEdited = index + 1;
            } else {
                firstEdited = loc == t + 1 ? index + 1 : loc == s ? index : -1;
            }
            touched = true;
            break;
        }
        if (!touched && !isBlank(r) && !r.isEmpty()) {
            std::size_t at = ad.wordsEditing.size();
            for (std::size_t i = 0; i < ad.wordsEditing.size(); ++i)
                if (ad.wordsEditing.items()[i]->characterStart > loc) {
                    at = i;
                    break;
                }
            qsizetype start = loc;
            for (const QString& piece : pieces) {
                if (piece.isEmpty())
                    continue;
                const WordPtr word = newWord(piece, start, nullptr);
                ad.wordsEditing.insert(at++, word);
                start = word->characterEnd + 2;
            }
            firstEdited = static_cast<qsizetype>(at);
            offset = r.size() + 1;
        }
    }

    for (const WordPtr& word : affected) {
        const auto position = ad.wordsEditing.indexOf(word);
        if (!position)
            continue;
        QString x = word->namePending;
        const qsizetype s = word->characterStart;
        const qsizetype d = loc - s;
        const qsizetype u = std::max<qsizetype>(d, 0);
        const qsizetype o = std::min<qsizetype>(e - s, x.size());
        const qsizetype n = o - u;
        if (isBlank(r)) {
            if (d <= 0) {
                x.remove(u, std::max<qsizetype>(n, 0));
                word->namePending = x;
                word->characterStart = s + 1;
                word->characterEnd = word->characterStart + x.size() - 1;
            } else if (o < x.size()) {
                const QString left = x.left(u);
                const QString right = x.mid(o);
                const QString clean = word->nameClean();
                bool keepRight;
                if (stripPunctuationSymbolsAndWhitespace(right) == clean)
                    keepRight = true;
                else if (stripPunctuationSymbolsAndWhitespace(left) == clean)
                    keepRight = false;
                else
                    keepRight = u < static_cast<qsizetype>(x.size() * 0.5);
                const std::size_t index = *position;
                if (keepRight) {
                    ad.wordsEditing.insert(index, newWord(left, s, word));
                    word->namePending = right;
                    word->characterStart = s + left.size() + 1;
                } else {
                    ad.wordsEditing.insert(index + 1, newWord(right, s + left.size() + 1, word));
                    word->namePending = left;
                }
                word->characterEnd = word->characterStart + word->namePending.size() - 1;
                offset = 1;
                ++firstEdited;
            } else {
                x.remove(u, std::max<qsizetype>(n, 0));
                word->namePending = x;
                word->characterEnd = s + x.size() - 1;
            }
        } else if (pieces.size() == 1) {
            if (n < 0 || !rangeIsValid(u, n, x)) {
                fail(x, u, n, r, loc, e, s, word->characterEnd);
                return;
            }
            x.replace(u, n, r);
            word->namePending = x;
            word->characterStart = s + std::min<qsizetype>(d, 0);
            word->characterEnd = word->characterStart + x.size() - 1;
            if (!joined)
                offset = r.size() - len;
        } else {
            const qsizetype coverStart = std::clamp<qsizetype>(u, 0, x.size());
            const qsizetype coverEnd = std::clamp<qsizetype>(o, coverStart, x.size());
            std::size_t index = *position;
            qsizetype start = s;
            auto place = [&](const QString& text) {
                if (text.isEmpty())
                    return;
                ad.wordsEditing.insert(index++, newWord(text, start, word));
                start += text.size() + 1;
                offset += text.size() + 1;
            };
            if (d <= 0) {
                for (qsizetype i = 0; i + 1 < pieces.size(); ++i)
                    place(pieces[i]);
                word->namePending = pieces.last() + x.mid(coverEnd);
            } else if (d == x.size()) {
                word->namePending = x + pieces.first();
                ++index;
                start = s + word->namePending.size() + 1;
                for (qsizetype i = 1; i < pieces.size(); ++i)
                    place(pieces[i]);
            } else {
                ad.wordsEditing.remove(word);
                for (qsizetype i = 0; i < pieces.size(); ++i) {
                    QString text = pieces[i];
                    if (i == 0)
                        text.prepend(x.left(coverStart));
                    if (i == pieces.size() - 1)
                        text.append(x.mid(coverEnd));
                    place(text);
                }
            }
        }
        if (word->status != 3 && word->start != 0 && word->end != 0)
            word->status = 2;
    }

    const bool noAffected = affected.empty();
    if (ad.wordsEditing.empty() && !r.isEmpty() && !isBlank(r)) {
        qsizetype start = loc;
        for (const QString& piece : pieces)
            if (!piece.isEmpty()) {
                ad.wordsEditing.add(newWord(piece, start, nullptr));
                start += piece.size() + 1;
            }
    } else if (noAffected && b > 0 && !r.isEmpty() && !isBlank(r) && firstEdited >= 0) {
        auto index = static_cast<std::size_t>(firstEdited);
        qsizetype start = loc;
        for (const QString& piece : pieces)
            if (!piece.isEmpty()) {
                ad.wordsEditing.insert(index++, newWord(piece, start, nullptr));
                start += piece.size() + 1;
            }
    }
    env_.appendTrace(QString("firstEditedWordIndex:\n%1\ncharacterIndexOffset:\n%2\n").arg(ll(firstEdited)).arg(ll(offset)));

    renumber(lower);

    QString after = QString("wordsEditing AFTER contains %1 namePending items:\n").arg(ad.wordsEditing.size());
    for (const WordPtr& word : ad.wordsEditing)
        after += QString("%1|%2|%3\n").arg(word->namePending).arg(word->characterStart).arg(word->characterEnd);
    after += QString("self.editingText:\n%1\n\n*****\n\n").arg(ad.editingText);
    env_.appendTrace(after);
}

void TextChangeFilter::renumber(qsizetype lower)
{
    AppDelegate& ad = env_.ad;
    const QString& text = ad.editingText;
    const auto& words = ad.wordsEditing.items();
    if (words.empty())
        return;
    std::size_t next = 0;
    WordPtr current;
    bool inSeparators = true;
    bool lineFeedSeen = false;
    for (qsizetype k = 0; k < text.size(); ++k) {
        const QChar c = text.at(k);
        const bool separator = isBlankCharacter(c) || c == QChar('\n');
        if (separator) {
            if (!inSeparators && current)
                current->characterEnd = lower + k - 1;
            if (c == QChar('\n'))
                lineFeedSeen = true;
            inSeparators = true;
            continue;
        }
        if (inSeparators) {
            current = next < words.size() ? words[next++] : nullptr;
            if (current) {
                current->characterStart = lower + k;
                if (k == 0) {
                    if (ad.wordsEditingStartsWithNewParagraph)
                        current->newParagraphPendingChange = 1;
                } else if (current->newParagraph && !lineFeedSeen) {
                    current->newParagraphPendingChange = -1;
                } else if (!current->newParagraph && lineFeedSeen) {
                    current->newParagraphPendingChange = 1;
                } else {
                    current->newParagraphPendingChange = 0;
                }
                if (current->namePending.size() == 1)
                    current->characterEnd = current->characterStart;
            }
            inSeparators = false;
            lineFeedSeen = false;
        }
        if (k == text.size() - 1 && current)
            current->characterEnd = lower + text.size() - 1;
    }
}

void TextChangeFilter::fail(const QString& originalPending, qsizetype u, qsizetype n, const QString& replacement,
                            qsizetype loc, qsizetype e, qsizetype start, qsizetype end)
{
    env_.showWordEditingError(qv::localizedString(
        "Error was created during word editing that would have crashed the app. Your actions taken to this point "
        "have been recorded and sent automatically so this can be fixed in a future version. Please try another "
        "way to make the desired change."));
    if (env_.ad.isEditing)
        env_.appendTrace("\n\neditWordsCancel called from willEditTextView:affectedCharRange:replacementString because "
                         "of invalid range on line 16016\n\n");
    if (editWordsCancel_)
        editWordsCancel_();
    env_.appendTrace(QString("ERROR: invalid range on line 15671\noriginalNamePending:\n%1\nselectionWordLocalRange:\n%2-%3\n"
                             "replacementString:\n%4\nselectionStart:\n%5\nselectionEnd:\n%6\n"
                             "thisWord.characterStart:\n%7\nthisWord.characterEnd:\n%8\n")
                         .arg(originalPending)
                         .arg(ll(u))
                         .arg(ll(n))
                         .arg(replacement)
                         .arg(ll(loc))
                         .arg(ll(e))
                         .arg(ll(start))
                         .arg(ll(end)));
    env_.writer.uploadTrace(env_.ad.debugCharacterEditing);
}

void TextChangeFilter::updateTypingAttributesForTextView(qv::TextViewModel& textView) const
{
    const qv::TextRange selection = textView.selectedRange();
    const bool highlightBefore = selection.location > 0 && textView.attributesAt(selection.location - 1).background;
    const qsizetype after = selection.location + selection.length;
    const bool highlightAfter = after < textView.length() && textView.attributesAt(after).background;
    qv::TextAttributes attributes = env_.editingTextAttributes();
    if (highlightBefore || highlightAfter)
        attributes.background = QColor(Qt::yellow);
    textView.setTypingAttributes(attributes);
}
