#include "editing/WordEditingSession.h"

#include "editing/DeleteJoinCommands.h"
#include "editing/EditedTextTokenizer.h"
#include "editing/EditingEnvironment.h"
#include "editing/SelectionCommands.h"
#include "editing/TextChangeFilter.h"
#include "editing/WordEditCommit.h"
#include "model/OpenFileQueries.h"
#include "model/QVSpeakerRange.h"
#include "model/SearchServices.h"
#include "model/StringPunctuation.h"
#include "model/TextUtilities.h"
#include "platform/foundation/LocalizedString.h"
#include "platform/foundation/Uuid.h"
#include "platform/ui/TextViewModel.h"

#include <QCoreApplication>

#include <cmath>

namespace {

using WordPtr = std::shared_ptr<QVWord>;

const char* modeName(std::int64_t mode)
{
    switch (mode) {
    case WordEditingSession::kQVEditWordSelectAll:
        return "kQVEditWordSelectAll";
    case WordEditingSession::kQVEditWordDeleteLast:
        return "kQVEditWordDeleteLast";
    default:
        return "kQVEditWordDeleteFirst";
    }
}

WordPtr snapshotOf(const QVWord& word)
{
    auto copy = std::make_shared<QVWord>();
    copy->characterEnd = word.characterEnd;
    copy->characterStart = word.characterStart;
    copy->setName(word.name());
    copy->newParagraph = word.newParagraph;
    copy->uuid = word.uuid;
    return copy;
}

QString workingListLine(const char* method)
{
    return QString("*****\nin %1 self.wordsEditing was reset\n").arg(method);
}

}  // namespace

void WordEditingSession::editWordsStartWithMode(std::int64_t mode, const QString& character)
{
    AppDelegate& ad = env_.ad;
    if (ad.isBeforeFirstWord || !ad.currentWord)
        return;
    makeRowOfSelectionCurrent();
    qv::TextViewModel* view = textView();
    if (!view)
        return;
    // Refused before anything changes, with the reason: an edit begun here could not be saved.
    if (ad.isViewingOnly) {
        qv::Alert alert;
        alert.style = qv::AlertStyle::Informational;
        const QStringList reason = viewingOnlyReason(ad).split(u'\n');
        alert.messageText = reason.front();
        alert.informativeText = reason.mid(1).join(u'\n');
        env_.alerts.beginSheet(alert, [](int) {});
        return;
    }
    const double rate = env_.view().playerRate();
    if (!(rate == 0))
        env_.view().stopPlayback();

    const QString fileUUID = ad.currentFile ? ad.currentFile->uuid : QString();
    ad.debugCharacterEditing = QString("*****\nApp Version: %1\nfileUUID: %2\n")
                                   .arg(QCoreApplication::applicationVersion(), fileUUID);
    env_.appendTrace(QString("OS Version: %1.%2.%3\n")
                         .arg(ad.versionOS.majorVersion)
                         .arg(ad.versionOS.minorVersion)
                         .arg(ad.versionOS.patchVersion));
    env_.appendTrace(QString("Called editWordsStartWithMode: %1 andCharacter: %2\n")
                         .arg(mode)
                         .arg(character.isNull() ? QStringLiteral("(null)") : character));
    env_.appendTrace(QString::asprintf("Initial self.currentTextView: %p\n", static_cast<const void*>(view)));

    env_.mainQueue.async([this] { env_.view().clearSelectionDurationDisplay(); });
    env_.appendTrace("\nself.isEditing set to YES in editWordsStartWithMode:andCharacter:\n");
    ad.isEditing = true;
    env_.speakers().allowEditing(false);
    if (ad.searchServices)
        ad.searchServices->setSearchFieldEnabled(false);
    env_.speakers().refreshSpeakerRangeChangesAllowed();
    notifyEditState();

    view->setEditable(true);
    view->setSelectable(true);
    ad.disallowLockTimingOnEditedWords = false;

    const QVOrderedSet<QVWord> selected = SelectionCommands::getSelectedWords(ad);
    if (selected.empty()) {
        ad.wordsEditingOriginalData.clear();
        statusesBeforeEdit_.clear();
        cancelBecause("\n\neditWordsCancel called from editWordsStartWithMode because editingRange is not valid for "
                      "currentSpeakerRange.text.string\n\n");
        return;
    }
    statusesBeforeEdit_.clear();
    for (const WordPtr& word : selected)
        statusesBeforeEdit_.emplace_back(word, word->status);
    view->setCharacterLocks(selected.first()->characterStart, view->length() - selected.last()->characterEnd - 1);
    env_.appendTrace(QString("firstSelectedWord.start:\n%1\n\n").arg(selected.first()->start));
    env_.appendTrace(QString("lastSelectedWord.end:\n%1\n*****\n\n").arg(selected.last()->end));

    createWordsEditing(selected);

    const qsizetype s = ad.wordsEditing.first()->characterStart;
    const qsizetype d = ad.wordsEditing.last()->characterEnd - s;
    const qsizetype l = d + 1;
    const QString& rowText = view->string();
    if (s < 0 || l <= 0 || !rangeIsValid(s, l, rowText)) {
        cancelBecause("\n\neditWordsCancel called from editWordsStartWithMode because editingRange is not valid for "
                      "currentSpeakerRange.text.string\n\n");
        return;
    }
    ad.editingTextOriginal = rowText.mid(s, l);
    ad.editingText = ad.editingTextOriginal;

    view->beginEditing();
    const qv::TextRange colour = s > 0 ? qv::TextRange{s - 1, d + 2} : qv::TextRange{0, l};
    if (rangeIsValid(colour.location, colour.length, rowText)) {
        view->removeTemporaryForeground(colour);
        view->setForeground(colour, ad.editingTextColor);
    }
    view->setTypingAttributes(env_.editingTextAttributes());

    auto applyKey = [&](qv::TextRange range, const QString& text, qsizetype caret) {
        env_.appendTrace(QString("calling willEditTextView from editWordsStartWithMode with mode: %1\n").arg(modeName(mode)));
        filter_.willEditTextView(*view, range, text);
        if (!ad.isEditing)
            return;
        view->replaceCharacters(range, text);
        view->setSelectedRange({caret, 0});
    };
    if (mode == kQVEditWordSelectAll && character.isEmpty()) {
        if (s + l <= view->length())
            view->setSelectedRange({s + l, 0});
    } else if (mode == kQVEditWordSelectAll) {
        if (rangeIsValid(s, l, view->string())) {
            // Trailing punctuation and a detached dash survive the first typed character.
            const QChar last = view->string().at(s + d);
            qsizetype replacedLength = l;
            if (QStringLiteral(",.?!;:'").contains(last))
                replacedLength = d;
            else if (last == QChar(0x2014))
                replacedLength = d - 1;
            applyKey({s, replacedLength}, character, s + character.size());
        }
    } else if (mode == kQVEditWordDeleteLast) {
        if (rangeIsValid(s + d, 1, view->string()))
            applyKey({s + d, 1}, QString(), s + d);
    } else if (mode == kQVEditWordDeleteFirst) {
        if (rangeIsValid(s, 1, view->string()))
            applyKey({s, 1}, QString(), s);
    }
    view->endEditing();
}

void WordEditingSession::makeRowOfSelectionCurrent()
{
    AppDelegate& ad = env_.ad;
    const QVOrderedSet<QVWord> selected = SelectionCommands::getSelectedWords(ad);
    if (selected.empty())
        return;
    // A change reloads the rows it touches on a later turn of the main queue, and a key typed at
    // once can come first: the edit would open in text that predates the change, at character
    // positions no longer the words'. The rows are brought up to date before one is chosen.
    env_.view().reloadQueuedRows();
    if (!selected.first()->speakerRange)
        return;
    // The edit's trace, begun afresh once this has run, names the text view the edit opens in.
    ad.currentTextView = selected.first()->speakerRange->textView;
}

void WordEditingSession::createWordsEditing(const QVOrderedSet<QVWord>& selectedWords)
{
    AppDelegate& ad = env_.ad;
    ad.wordsEditing.clear();
    env_.appendTrace(workingListLine("createWordsEditing:"));
    if (selectedWords.empty())
        return;
    ad.wordsEditingStartsWithNewParagraph = selectedWords.first()->newParagraph;
    ad.wordsEditingOriginalData.clear();
    if (const WordPtr before = env_.wordBefore(selectedWords.first()))
        ad.wordsEditingOriginalData.add(snapshotOf(*before));
    if (const WordPtr after = env_.wordAfter(selectedWords.last()))
        ad.wordsEditingOriginalData.add(snapshotOf(*after));

    auto newWord = [](const QVWord& from, const QString& text, qsizetype start) {
        auto word = std::make_shared<QVWord>();
        word->namePending = text;
        word->characterStart = start;
        word->characterEnd = start + text.size() - 1;
        word->speakerRange = from.speakerRange;
        word->status = from.status;
        word->uuid = qv::createUUID();
        return word;
    };
    for (const WordPtr& word : selectedWords) {
        ad.wordsEditingOriginalData.add(snapshotOf(*word));
        QStringList pieces;
        QString piece;
        for (QChar c : word->name()) {
            if (c.isSpace()) {
                pieces << piece;
                piece.clear();
            } else {
                piece += c;
            }
        }
        pieces << piece;
        if (pieces.size() == 1) {
            word->namePending = word->name();
            ad.wordsEditing.add(word);
            continue;
        }
        // A name holding blanks (a detached dash) edits as separate words; the live word keeps
        // the first piece of real text and with it the timing.
        qsizetype position = word->characterStart;
        bool textSeen = false;
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            const QString& text = pieces[i];
            if (containsOnlyPunctuationOrSymbols(text) || textSeen) {
                const WordPtr extra = newWord(*word, text, position);
                if (!textSeen && containsOnlyPunctuationOrSymbols(text) && word->newParagraph) {
                    extra->newParagraph = true;
                    extra->newParagraphPendingChange = 0;
                }
                ad.wordsEditing.add(extra);
            } else {
                word->namePending = text;
                word->characterStart = position;
                word->characterEnd = position + text.size() - 1;
                if (word->newParagraph)
                    word->newParagraphPendingChange = i == 0 ? 0 : -1;
                ad.wordsEditing.add(word);
                textSeen = true;
            }
            position += text.size() + 1;
        }
    }
}

void WordEditingSession::editWordsCancel()
{
    AppDelegate& ad = env_.ad;
    QVOrderedSet<QVWord> restored;
    for (const WordPtr& snapshot : ad.wordsEditingOriginalData) {
        for (const WordPtr& word : ad.words) {
            if (word->uuid != snapshot->uuid)
                continue;
            word->characterEnd = snapshot->characterEnd;
            word->characterStart = snapshot->characterStart;
            word->lockTiming = false;
            word->setName(snapshot->name());
            restored.add(word);
            break;
        }
    }
    for (const auto& [word, status] : statusesBeforeEdit_)
        word->status = status;
    statusesBeforeEdit_.clear();
    closeEdit("editWordsCancel");
    ad.wordsEditing.clear();
    env_.appendTrace(workingListLine("editWordsCancel"));
    // The row the edit was typed in is built again from the model, which drops the edited text.
    // When that row has left the view meanwhile, the rows of the words put back are.
    if (ad.currentTextView) {
        for (std::size_t i = 0; i < ad.speakerRanges.size(); ++i)
            if (ad.speakerRanges.at(i)->textView == ad.currentTextView)
                return env_.view().reloadRowForTableViewIndex(2 * static_cast<std::int64_t>(i) + 1);
    }
    if (!restored.empty())
        env_.view().reloadRowsForWords(restored);
}

void WordEditingSession::editWordsFinishWithResumePlayback(bool resume)
{
    AppDelegate& ad = env_.ad;
    if (ad.isViewingOnly) {
        qv::Alert alert;
        alert.style = qv::AlertStyle::Critical;
        alert.messageText = qv::localizedString("Changes could not be saved because there is no internet connection");
        alert.buttons = {qv::localizedString("Try Again"), qv::localizedString("Discard Changes")};
        env_.alerts.beginSheet(alert, [this, resume](int returnCode) {
            if (returnCode == qv::kAlertFirstButtonReturn) {
                editWordsFinishWithResumePlayback(resume);
                return;
            }
            cancelBecause("\n\neditWordsCancel called from editWordsFinishWithResumePlayback because there is no "
                          "internet connection and user chose Cancel on alert\n\n");
        });
        return;
    }
    const QVOrderedSet<QVWord> selected = SelectionCommands::getSelectedWords(ad);
    if (selected.empty()) {
        cancelBecause("\n\neditWordsCancel called from editWordsFinishWithResumePlayback because originalSelectedWords "
                      "== 0\n\n");
        return;
    }
    const std::optional<ProcessedEdit> processed = tokenizer_.processEditedWords(textView());
    if (!processed) {
        env_.writer.uploadTrace(ad.debugCharacterEditing);
        env_.showWordEditingError(qv::localizedString(
            "Word editing could not be saved. The relevant data has been sent automatically to help fix this issue in "
            "a future version. Please try another way to make the desired change."));
        cancelBecause("\n\neditWordsCancel called from editWordsFinishWithResumePlayback because string comparison "
                      "failed\n\n");
        return;
    }
    if (processed->shape != ProcessedEdit::Shape::Success) {
        cancelBecause("\n\neditWordsCancel called from editWordsFinishWithResumePlayback because processedWords "
                      "returned an error\n\n");
        return;
    }

    std::int64_t seekTarget = -1;
    std::optional<std::size_t> deletedIndex;
    const bool deleting = processed->editedWords.empty();
    if (!deleting) {
        seekTarget = commit_.editWords(processed->selectedWords, processed->editedWords,
                                       processed->selectionExtendedToPreviousWord, std::nullopt, statusesBeforeEdit_);
    } else {
        deletedIndex = ad.words.indexOf(processed->selectedWords.first());
        deleteJoin_.deleteWords(processed->selectedWords);
    }
    // A commit that changed nothing has already cancelled the edit.
    if (ad.isEditing)
        closeEdit("editWordsFinishWithResumePlayback:");

    if (!deleting) {
        if (seekTarget >= 0)
            seekThenResume(seekTarget, resume);
        else if (resume)
            env_.view().resumePlayback();
        return;
    }
    if (!deletedIndex) {
        if (resume)
            env_.view().resumePlayback();
        return;
    }
    if (*deletedIndex == 0 || *deletedIndex + 1 >= ad.words.size())
        return;
    seekThenResume(ad.words.at(*deletedIndex)->start, resume);
}

bool WordEditingSession::finishEditingIfNecessary()
{
    if (!env_.ad.isEditing)
        return false;
    editWordsFinishWithResumePlayback(false);
    return true;
}

void WordEditingSession::cancelBecause(const QString& reason)
{
    if (env_.ad.isEditing)
        env_.appendTrace(reason);
    editWordsCancel();
}

void WordEditingSession::closeEdit(const QString& method)
{
    AppDelegate& ad = env_.ad;
    qv::TextViewModel* view = textView();
    if (view)
        view->setCharacterLocks(-1, -1);
    env_.appendTrace(QString("*****\nin %1 lower/upperCharacterLock was set to -1\n").arg(method));
    env_.mainQueue.async([this] {
        if (qv::TextViewModel* current = textView(); current && !env_.ad.isEditing) {
            current->setEditable(false);
            current->setSelectable(false);
        }
    });
    env_.appendTrace(QString("\nself.isEditing set to NO in %1\n").arg(method));
    ad.isEditing = false;
    env_.speakers().allowEditing(true);
    if (ad.searchServices)
        ad.searchServices->setSearchFieldEnabled(true);
    ad.selectionWordStart = nullptr;
    ad.selectionWordEnd = nullptr;
    env_.speakers().refreshSpeakerRangeChangesAllowed();
    notifyEditState();
}

void WordEditingSession::seekThenResume(std::int64_t milliseconds, bool resume)
{
    env_.view().seekToMilliseconds(milliseconds, [this, resume](bool) {
        if (resume)
            env_.view().resumePlayback();
    });
}

void WordEditingSession::notifyEditState()
{
    if (editStateChanged_)
        editStateChanged_();
}
