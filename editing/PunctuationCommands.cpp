#include "editing/PunctuationCommands.h"

#include "editing/CaseCommands.h"
#include "editing/DeleteJoinCommands.h"
#include "editing/EditingEnvironment.h"
#include "editing/WrapCommands.h"
#include "model/StringPunctuation.h"
#include "model/TextUtilities.h"
#include "platform/foundation/CharacterSet.h"
#include "platform/foundation/LocalizedString.h"

namespace {

const QChar kNoBreakSpace(0x00A0);
const QChar kEmDash(0x2014);
const QString kWordMarks = QStringLiteral(",.\u2026?!;:-\u2013\u2014");
const QString kDashes = QStringLiteral("-\u2013\u2014");
const QString kEndMarks = QStringLiteral(",.\u2026?!;:");
const QString kStops = QStringLiteral(".?!");
const QString kClosingQuotes = QStringLiteral("\u2019\u203A\u2039\u201D\u00BB\u00AB");
const QString kFrenchSpaced = QStringLiteral(";:?!");
const QString kDoubleQuotes = QStringLiteral("\"\u201C\u201D\u00AB\u00BB");
const QString kSingleQuotes = QStringLiteral("'\u2018\u2019\u2039\u203A");

bool has(const QString& text, const QString& characters)
{
    return containsPunctuationCharacters(text, characters);
}

}  // namespace

void PunctuationCommands::editWordsWithPunctuation(const QVOrderedSet<QVWord>& words, const QString& mark)
{
    if (env_.ad.isBeforeFirstWord || words.empty())
        return;
    if (has(mark, "()"))
        wrap_.wrapWords(WrapCommands::Kind::Parentheses, words);
    else if (mark == "[")
        wrap_.wrapWords(WrapCommands::Kind::SquareBrackets, words);
    else if (has(mark, kDoubleQuotes))
        wrap_.wrapWords(WrapCommands::Kind::DoubleQuotes, words);
    else if (has(mark, kSingleQuotes))
        wrap_.wrapWords(WrapCommands::Kind::SingleQuotes, words);
    else if (words.size() > 1) {
        if (has(mark, "-\u2013"))
            join_.joinWords(words, mark);
    } else if (has(mark, kWordMarks) && !putMarkOnWord(words, mark)) {
        return;
    }
    if (!env_.isRedoing())
        env_.view().resumePlayback();
}

bool PunctuationCommands::putMarkOnWord(const QVOrderedSet<QVWord>& words, const QString& mark)
{
    const auto word = words.first();
    const QString name = word->name();
    // There is no last character to place a mark after.
    if (name.isEmpty()) {
        env_.beep();
        return false;
    }
    QString trailing = extractTrailingPunctuation(name);
    // The word without its trailing marks; its leading marks and symbols stay as they are.
    const QString base = name.chopped(trailing.size());
    const QChar last = name.back();
    bool capitaliseNext = false;
    bool lowerNext = false;
    QString newName;
    QString placed = mark;
    if (has(mark, kDashes)) {
        if (last == kEmDash) {
            env_.beep();
            return false;
        }
        if (kEndMarks.contains(last)) {
            newName = base + " \u2014";
            lowerNext = has(trailing, kStops);
        } else {
            newName = name + " \u2014";
        }
    } else {
        if (kClosingQuotes.contains(last) && has(mark, ";:")) {
            env_.beep();
            return false;
        }
        if (env_.languageIs("fr") && has(placed, kFrenchSpaced))
            placed.prepend(kNoBreakSpace);
        if (env_.languageIs("de") && placed == "\u2026")
            placed = " \u2026";
        if (trailing.isEmpty()) {
            newName = name + placed;
            capitaliseNext = has(placed, kStops);
        } else if (last == kEmDash) {
            newName = base + placed;
            capitaliseNext = has(placed, kStops);
        } else {
            qsizetype p = trailing.size() - 1;
            while (p >= 0 && !kEndMarks.contains(trailing[p]))
                --p;
            if (p < 0) {
                newName = base + placed + trailing;
            } else {
                if (p == trailing.size() - 1) {
                    const QChar found = trailing[p];
                    if (QStringLiteral(",;:").contains(found) && has(placed, kStops))
                        capitaliseNext = true;
                    else if (kStops.contains(found) && !has(placed, kStops))
                        lowerNext = true;
                }
                qsizetype from = p;
                qsizetype count = 1;
                if (env_.languageIs("fr") && has(placed, kFrenchSpaced) && p > 0 &&
                    qv::CharacterSet::whitespace().contains(trailing[p - 1])) {
                    from = p - 1;
                    count = 2;
                }
                trailing.replace(from, count, placed);
                newName = base + trailing;
            }
        }
    }

    word->setName(newName);
    env_.writeName(*word);
    env_.updateCurrentFileTimestamp();

    std::shared_ptr<QVWord> next;
    QString nextName;
    if (capitaliseNext || lowerNext) {
        next = env_.nextWordInSameRange(word);
        if (next) {
            nextName = next->name();
            QVOrderedSet<QVWord> nextSet;
            nextSet.add(next);
            if (lowerNext)
                case_.editWordsToLowercase(nextSet, false);
            else
                case_.editWordsToUppercaseFirst(nextSet, false);
        }
    }
    env_.view().reloadRowsForWords(words);
    if (env_.isRedoing())
        env_.view().locateMediaFileToWord(word);
    env_.undoManager().registerUndo([this, words, mark, next, name, nextName] {
        undoWordsWithPunctuation(words, mark, next, name, nextName);
    });
    env_.undoManager().setActionName(qv::localizedString("Edit Punctuation"));
    return true;
}

void PunctuationCommands::undoWordsWithPunctuation(const QVOrderedSet<QVWord>& words, const QString& mark,
                                                   const std::shared_ptr<QVWord>& nextUnselectedWord, const QString& originalName,
                                                   const QString& originalNextName)
{
    const auto first = words.first();
    first->setName(originalName);
    env_.writeName(*first);
    if (nextUnselectedWord) {
        nextUnselectedWord->setName(originalNextName);
        env_.writeName(*nextUnselectedWord);
    }
    env_.view().reloadRowsForWords(words);
    env_.view().locateMediaFileToWord(first);
    env_.undoManager().registerUndo([this, words, mark] { editWordsWithPunctuation(words, mark); });
    env_.updateCurrentFileTimestamp();
}

void PunctuationCommands::deletePunctuationForWords(const QVOrderedSet<QVWord>& words)
{
    if (words.empty())
        return;
    const auto last = words.last();
    auto next = env_.wordAfter(last);
    const bool lowerNext = next && !last->name().isEmpty() && next->speakerRange == last->speakerRange &&
                           QStringLiteral(",.?!;:\u2014").contains(last->name().back()) && case_.canLowercaseWord(next);

    static const qv::CharacterSet trimmedSet = qv::CharacterSet::whitespace() | qv::CharacterSet::punctuation();
    std::vector<std::optional<QString>> originalNames;
    bool afterStop = false;
    bool changed = false;
    for (const auto& word : words) {
        const QString name = word->name();
        if (name.isEmpty()) {
            originalNames.emplace_back();
            continue;
        }
        QString text = name;
        if (afterStop)
            text = text.left(1).toLower() + text.mid(1);
        afterStop = kStops.contains(name.back());
        text = qv::trimmed(text, trimmedSet);
        if (text == name) {
            originalNames.emplace_back();
            continue;
        }
        originalNames.emplace_back(name);
        word->setName(text);
        env_.writeName(*word);
        changed = true;
    }
    if (!changed)
        return;

    qv::UndoManager& undo = env_.undoManager();
    undo.beginUndoGrouping();
    QString nextName;
    if (lowerNext) {
        nextName = next->name();
        QVOrderedSet<QVWord> nextSet;
        nextSet.add(next);
        case_.editWordsToLowercase(nextSet, false);
    } else {
        next = nullptr;
    }
    env_.view().reloadRowsForWords(words);
    undo.registerUndo([this, words, originalNames, next, nextName] {
        undoDeletePunctuationForWords(words, originalNames, next, nextName);
    });
    undo.setActionName(qv::localizedString("Delete Punctuation"));
    undo.endUndoGrouping();
    env_.updateCurrentFileTimestamp();
    if (!env_.isRedoing())
        env_.view().resumePlayback();
}

void PunctuationCommands::undoDeletePunctuationForWords(const QVOrderedSet<QVWord>& words,
                                                        const std::vector<std::optional<QString>>& originalNames,
                                                        const std::shared_ptr<QVWord>& nextUnselectedWord,
                                                        const QString& nextOriginalName)
{
    for (std::size_t i = 0; i < originalNames.size() && i < words.size(); ++i) {
        if (!originalNames[i])
            continue;
        words.at(i)->setName(*originalNames[i]);
        env_.writeName(*words.at(i));
    }
    if (nextUnselectedWord) {
        nextUnselectedWord->setName(nextOriginalName);
        env_.writeName(*nextUnselectedWord);
    }
    env_.view().reloadRowsForWords(words);
    env_.view().locateMediaFileToWord(words.first());
    env_.undoManager().registerUndo([this, words] { deletePunctuationForWords(words); });
    env_.updateCurrentFileTimestamp();
}
