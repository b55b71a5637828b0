#include "editing/EditedTextTokenizer.h"

#include "editing/EditingEnvironment.h"
#include "editing/SelectionCommands.h"
#include "editing/WordEditCommit.h"
#include "model/StringPunctuation.h"
#include "model/TextUtilities.h"
#include "platform/foundation/CharacterSet.h"
#include "platform/foundation/RegularExpression.h"
#include "platform/foundation/Uuid.h"
#include "platform/ui/TextViewModel.h"

namespace {

const QChar kNoBreakSpace(0x00A0);
const QString kEmDash = QStringLiteral("\u2014");
const QString kSpacedEmDash = QStringLiteral(" \u2014");

const qv::RegularExpression& trailingDash()
{
    static const qv::RegularExpression expression("(\\S)[-\u2013\u2014]$", qv::RegularExpression::Option::CaseInsensitive);
    return expression;
}

const qv::RegularExpression& leadingDash()
{
    static const qv::RegularExpression expression("^[-\u2013\u2014](\\S)", qv::RegularExpression::Option::CaseInsensitive);
    return expression;
}

bool isOneOf(const QString& text, const QString& characters)
{
    return text.size() == 1 && characters.contains(text.front());
}

// Opening marks that merge with the next word in an inline edit, by language.
bool isOpeningMark(const EditingEnvironment& env, const QString& text)
{
    if (isOneOf(text, QStringLiteral("([\u00BF\u00A1\u2018\u201C")))
        return true;
    if (env.languageIs("fr") && isOneOf(text, QStringLiteral("\u2039\u00AB")))
        return true;
    return env.languageIs("de") && isOneOf(text, QStringLiteral("\u203A\u00BB"));
}

// The name without its trailing run of punctuation, when that run holds a pausing or stopping
// mark; the leading marks (an opening quote) stay.
QString withoutClosingPunctuation(const QString& name)
{
    if (!hasPausingOrStoppingPunctuation(name))
        return name;
    return name.chopped(extractTrailingPunctuation(name).size());
}

QString combinedFromEditedString(const EditingEnvironment& env, QString text)
{
    const bool german = env.languageIs("de");
    text.replace("--", kEmDash);
    text.replace(kNoBreakSpace, ' ');
    text.replace(" - ", " \u2014 ");
    text.replace(" \u2013 ", " \u2014 ");
    if (german) {
        text.replace(" - ", " \u2014 ");
        text.replace(" \u2013 ", " \u2014 ");
    } else {
        text.replace("- ", "\u2014 ");
        text.replace("\u2013 ", "\u2014 ");
    }
    text.replace(" -", kSpacedEmDash);
    text.replace(" \u2013", kSpacedEmDash);
    if (text == "-" || text == "\u2013")
        text = kEmDash;
    if (!german)
        text = trailingDash().replaceAll(text, "$1 \u2014");
    text = leadingDash().replaceAll(text, "\u2014$1");
    text.remove('\n');
    QString combined;
    for (const QString& part : text.split(' ', Qt::SkipEmptyParts))
        combined += part;
    return combined;
}

}  // namespace

std::optional<ProcessedEdit> EditedTextTokenizer::processEditedWords(const qv::TextViewModel* currentTextView)
{
    AppDelegate& ad = env_.ad;
    const qsizetype lower = currentTextView ? currentTextView->lowerCharacterLock() : -1;
    const qsizetype upper = currentTextView ? currentTextView->upperCharacterLock() : -1;
    if (!currentTextView || lower == -1 || upper == -1) {
        env_.appendTrace(QString::asprintf("error returned in processEditedWords due to state: self.currentTextView: %p | "
                                           "lowerCharLock: %lld | upperCharLock: %lld\n",
                                           static_cast<const void*>(currentTextView), static_cast<long long>(lower),
                                           static_cast<long long>(upper)));
        return ProcessedEdit{};
    }

    const QString trimmedText = qv::trimmed(ad.editingText, qv::CharacterSet::fromCharacters(" \t"));
    if (trimmedText == ad.editingTextOriginal) {
        ProcessedEdit noChange;
        noChange.shape = ProcessedEdit::Shape::NoChange;
        return noChange;
    }

    QVOrderedSet<QVWord> selection = SelectionCommands::getSelectedWords(ad);
    const auto firstSelected = selection.first();
    QVOrderedSet<QVWord> edited;
    QString editedString = trimmedText;
    bool extended = false;
    bool openingPending = false;
    const bool french = env_.languageIs("fr");
    const bool german = env_.languageIs("de");

    for (std::size_t k = 0; k < ad.wordsEditing.size(); ++k) {
        const auto word = ad.wordsEditing.at(k);
        QString t = stripWhitespace(word->namePending);
        t.replace("--", kEmDash);
        if (!german)
            t = trailingDash().replaceAll(t, "$1 \u2014");
        if (!openingPending && leadingDash().matchesAnywhere(t)) {
            if (k > 0 && !edited.empty()) {
                edited.last()->namePending += kSpacedEmDash;
                t.remove(0, 1);
            } else {
                t = leadingDash().replaceAll(t, "\u2014$1");
            }
        }
        word->namePending = t;

        if (containsOnlyPunctuationOrSymbols(t)) {
            if (isOpeningMark(env_, t)) {
                if (french && isOneOf(t, QStringLiteral("\u2039\u00AB")))
                    word->namePending = t + kNoBreakSpace;
                edited.add(word);
                openingPending = true;
            } else if (containsOnlyPunctuationOrSymbols(t) && t.size() >= 2) {
                edited.add(word);
            } else {
                QString mark = t;
                mark.replace('-', kEmDash);
                mark.replace(QChar(0x2013), kEmDash);
                if (mark.startsWith(kEmDash))
                    mark.prepend(' ');
                if (german)
                    mark.replace(QStringLiteral("\u2026"), QStringLiteral(" \u2026"));
                if (french && containsPunctuationCharacters(mark, QStringLiteral(";:?!\u203A\u00BB")))
                    mark.prepend(kNoBreakSpace);
                if (!edited.empty()) {
                    edited.last()->namePending += mark;
                } else if (const auto index = ad.words.indexOf(firstSelected)) {
                    if (*index == 0) {
                        const qsizetype dropped = t.size() + 1;
                        editedString = editedString.size() > dropped ? editedString.mid(dropped) : QString();
                    } else {
                        const auto previous = ad.words.at(*index - 1);
                        if (previous->speakerRange == firstSelected->speakerRange) {
                            QVOrderedSet<QVWord> widened;
                            for (std::size_t i = *index - 1; i < *index + selection.size() && i < ad.words.size(); ++i)
                                widened.add(ad.words.at(i));
                            selection = widened;
                            previous->lockTiming = true;
                            const bool hadMark = hasPausingOrStoppingPunctuation(previous->name());
                            const QString base = withoutClosingPunctuation(previous->name());
                            previous->namePending = base + mark;
                            editedString = hadMark ? base + editedString : base + " " + editedString;
                            extended = true;
                            edited.add(previous);
                        } else {
                            edited.add(word);
                        }
                    }
                }
            }
        } else {
            if (openingPending && !edited.empty())
                edited.last()->namePending += t;
            else
                edited.add(word);
            openingPending = false;
        }
    }

    if (ad.wordsEditingStartsWithNewParagraph && extended && ad.wordsEditing.size() > 1) {
        if (const auto second = selection.at(1))
            second->newParagraphPendingChange = 1;
    }

    for (std::size_t i = 0; i < edited.size(); ++i) {
        const auto& word = edited.at(i);
        if (!word->name().isNull())
            continue;
        const auto before = i > 0 ? edited.at(i - 1) : nullptr;
        const auto after = edited.at(i + 1);
        if ((before && before->favorite) || (after && after->favorite))
            word->favorite = true;
    }

    const QString fromString = combinedFromEditedString(env_, editedString);
    QString fromWords;
    for (const auto& word : edited) {
        QString text = word->namePending;
        text.remove(' ');
        fromWords += text;
    }
    fromWords.remove(kNoBreakSpace);

    if (fromString == fromWords ||
        (fromWords.isEmpty() && edited.empty() && containsOnlyPunctuationSymbolsOrWhitespace(fromString))) {
        ProcessedEdit success;
        success.shape = ProcessedEdit::Shape::Success;
        success.selectedWords = selection;
        success.editedWords = edited;
        success.selectionExtendedToPreviousWord = extended;
        return success;
    }
    env_.appendTrace(QString::asprintf("\ncomparison error in processEditedWords\nself.currentTextView: %p\n"
                                       "lower/upperCharacterLocks:%lld/%lld\n",
                                       static_cast<const void*>(currentTextView), static_cast<long long>(lower),
                                       static_cast<long long>(upper)) +
                     "combinedFromEditedString = " + fromString + "\ncombinedFromEditedWords = " + fromWords + "\n");
    return std::nullopt;
}

void EditedTextTokenizer::editWords(const QVOrderedSet<QVWord>& words, const QString& text)
{
    AppDelegate& ad = env_.ad;
    if (words.empty() || ad.currentSpeakerRangeIndex < 0 ||
        static_cast<std::size_t>(ad.currentSpeakerRangeIndex) >= ad.speakerRanges.size())
        return;
    ad.wordsEditingStartsWithNewParagraph = words.first()->newParagraph;

    QString prepared = text;
    prepared.replace("\n\n", " \n\n");
    prepared.replace(kNoBreakSpace, ' ');
    const QStringList tokens = prepared.split(' ', Qt::SkipEmptyParts);

    const bool french = env_.languageIs("fr");
    QVOrderedSet<QVWord> selection = words;
    QStringList texts;
    QString opening;
    bool extended = false;

    auto extendToPrevious = [&](const QString& mark) {
        const auto first = selection.first();
        const auto previous = env_.wordBefore(first);
        if (!previous || previous->speakerRange != first->speakerRange)
            return;
        selection.insert(0, previous);
        previous->lockTiming = true;
        previous->namePending = previous->name() + mark;
        extended = true;
        texts.prepend(previous->namePending);
    };

    for (qsizetype i = 0; i < tokens.size(); ++i) {
        QString token = tokens[i];
        if (isOneOf(token, QStringLiteral("-\u2013\u2014"))) {
            if (!texts.isEmpty())
                texts.last() += kSpacedEmDash;
            else
                extendToPrevious(kSpacedEmDash);
        } else if (isOneOf(token, QStringLiteral(",.\u2026;:?!\u203A\u00BB"))) {
            if (french && isOneOf(token, QStringLiteral(";:?!\u203A\u00BB")))
                token.prepend(kNoBreakSpace);
            if (!texts.isEmpty())
                texts.last() += token;
            else
                extendToPrevious(token);
        } else if (isOneOf(token, QStringLiteral("\u2039\u00AB"))) {
            if (french)
                token += kNoBreakSpace;
            const auto following = env_.wordAfter(selection.last());
            if (!following)
                continue;
            if (i + 1 < tokens.size()) {
                opening = token;
            } else if (ad.words.indexOf(selection.first()).value_or(0) > 0 &&
                       following->speakerRange == selection.first()->speakerRange) {
                selection.add(following);
                texts.push_back(token + following->name());
            }
        } else {
            texts.push_back(opening + token);
            opening.clear();
        }
    }

    QVOrderedSet<QVWord> newWords;
    WordEditCommit::StatusesBeforeEdit statusesBeforeEdit;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (static_cast<std::size_t>(i) < selection.size()) {
            const auto word = selection.at(static_cast<std::size_t>(i));
            statusesBeforeEdit.emplace_back(word, word->status);
            word->namePending = texts[i];
            word->status = 2;
            newWords.add(word);
        } else {
            auto word = std::make_shared<QVWord>();
            word->namePending = texts[i];
            word->speakerRange = ad.speakerRanges.at(static_cast<std::size_t>(ad.currentSpeakerRangeIndex));
            word->status = 3;
            word->uuid = qv::createUUID();
            newWords.add(word);
        }
    }
    if (ad.wordsEditingStartsWithNewParagraph && extended && selection.size() > 1)
        selection.at(1)->newParagraphPendingChange = 1;

    commit_.editWords(selection, newWords, extended, std::nullopt, statusesBeforeEdit);
}
