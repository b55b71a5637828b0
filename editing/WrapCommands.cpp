#include "editing/WrapCommands.h"

#include "editing/CaseCommands.h"
#include "editing/EditingEnvironment.h"
#include "platform/foundation/LocalizedString.h"

namespace {

const QChar kNoBreakSpace(0x00A0);
const QChar kEmDash(0x2014);

struct Marks {
    QString opening;
    QString closing;
    const char* actionName;
};

bool endsWithSpacedDash(const QString& name)
{
    return name.size() >= 2 && name.endsWith(kEmDash) && name[name.size() - 2] == ' ';
}

}  // namespace

QString WrapCommands::lastWordText(Kind kind, const QString& name, const QString& closing, bool& capitaliseNext) const
{
    capitaliseNext = false;
    const qsizetype n = name.size();
    if (n == 0)
        return closing;
    const QChar last = name.back();
    switch (kind) {
    case Kind::DoubleQuotes:
    case Kind::SingleQuotes:
        // The closing mark goes before the spaced dash the punctuation command writes; a word
        // that is only a dash keeps it and gets the mark after it.
        if (endsWithSpacedDash(name))
            return name.left(n - 2) + closing + " " + kEmDash;
        if (env_.languageIs("es") && (last == ',' || last == '.'))
            return name.left(n - 1) + closing + last;
        return name + closing;
    case Kind::Parentheses:
    case Kind::SquareBrackets:
        return name + closing;
    case Kind::ExclamationMarks:
    case Kind::QuestionMarks:
        if (!QStringLiteral(",.\u2026?!;:\u2014").contains(last)) {
            capitaliseNext = true;
            return name + closing;
        }
        capitaliseNext = QStringLiteral(",;:").contains(last);
        // A word that already ends in the closing mark keeps it.
        if (QString(last) == closing)
            return name;
        if (last == kEmDash)
            return endsWithSpacedDash(name) ? name.left(n - 2) + closing : name + closing;
        return name.left(n - 1) + closing;
    }
    return name + closing;
}

void WrapCommands::wrapWords(Kind kind, const QVOrderedSet<QVWord>& words)
{
    if (words.empty())
        return;
    const bool french = env_.languageIs("fr");
    const bool german = env_.languageIs("de");
    Marks marks;
    switch (kind) {
    case Kind::DoubleQuotes:
        marks = french   ? Marks{QString("\u00AB") + kNoBreakSpace, QString(kNoBreakSpace) + "\u00BB", "Wrap in Double Guillemets"}
                : german ? Marks{"\u00BB", "\u00AB", "Wrap in Double Guillemets"}
                         : Marks{"\u201C", "\u201D", "Wrap in Double Quotes"};
        break;
    case Kind::SingleQuotes:
        marks = french   ? Marks{QString("\u2039") + kNoBreakSpace, QString(kNoBreakSpace) + "\u203A", "Wrap in Single Guillemets"}
                : german ? Marks{"\u203A", "\u2039", "Wrap in Single Guillemets"}
                         : Marks{"\u2018", "\u2019", "Wrap in Single Quotes"};
        break;
    case Kind::Parentheses:
        marks = {"(", ")", "Wrap in Parentheses"};
        break;
    case Kind::SquareBrackets:
        marks = {"[", "]", "Wrap in Square Brackets"};
        break;
    case Kind::ExclamationMarks:
        marks = {"\u00A1", "!", "Wrap in Exclamation Marks"};
        break;
    case Kind::QuestionMarks:
        marks = {"\u00BF", "?", "Wrap in Question Marks"};
        break;
    }
    const bool inverted = kind == Kind::ExclamationMarks || kind == Kind::QuestionMarks;

    const auto first = words.first();
    QStringList saved{first->name()};
    QString firstName = first->name();
    if (inverted && firstName.size() >= 2 && (firstName.startsWith(QChar(0x00BF)) || firstName.startsWith(QChar(0x00A1))))
        firstName.remove(0, 1);
    first->setName(marks.opening + firstName);
    auto last = first;
    if (words.size() >= 2) {
        env_.writeName(*first);
        last = words.last();
        saved.push_back(last->name());
    }
    bool capitaliseNext = false;
    last->setName(lastWordText(kind, last->name(), marks.closing, capitaliseNext));
    env_.writeName(*last);

    std::shared_ptr<QVWord> next;
    QString nextName;
    if (inverted && capitaliseNext) {
        next = env_.nextWordInSameRange(last);
        if (next) {
            nextName = next->name();
            QVOrderedSet<QVWord> nextSet;
            nextSet.add(next);
            case_.editWordsToUppercaseFirst(nextSet, false);
        }
    }

    env_.ad.selectionWordStart = nullptr;
    env_.ad.selectionWordEnd = nullptr;
    env_.view().reloadRowsForWords(words);
    if (env_.isRedoing())
        env_.view().locateMediaFileToWord(first);
    env_.undoManager().registerUndo([this, kind, words, saved, next, nextName] { unwrapWords(kind, words, saved, next, nextName); });
    env_.undoManager().setActionName(qv::localizedString(marks.actionName));
    env_.updateCurrentFileTimestamp();
}

void WrapCommands::unwrapWords(Kind kind, const QVOrderedSet<QVWord>& words, const QStringList& originalFirstLast,
                               const std::shared_ptr<QVWord>& nextUnselectedWord, const QString& originalNextUnselectedWordName)
{
    if (words.empty() || originalFirstLast.isEmpty())
        return;
    words.first()->setName(originalFirstLast.first());
    env_.writeName(*words.first());
    if (words.size() > 1) {
        words.last()->setName(originalFirstLast.last());
        env_.writeName(*words.last());
    }
    if (nextUnselectedWord) {
        nextUnselectedWord->setName(originalNextUnselectedWordName);
        env_.writeName(*nextUnselectedWord);
    }
    env_.view().reloadRowsForWords(words);
    env_.view().locateMediaFileToWord(words.first());
    env_.undoManager().registerUndo([this, kind, words] { wrapWords(kind, words); });
    env_.updateCurrentFileTimestamp();
}
