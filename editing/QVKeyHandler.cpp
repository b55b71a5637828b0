#include "editing/QVKeyHandler.h"

#include "editing/EditingController.h"
#include "model/CustomWordsServices.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>

namespace {

using qv::KeyPress;

// Characters that apply punctuation to the selection when typed outside an edit.
const QString kPunctuationKeys = QStringLiteral(",.\u2026\u00BF?\u00A1!;:()'\u2018\u2019\u2039\u203A-\u2013\u201C\u201D\u00AB\u00BB\"");

}  // namespace

QVKeyHandler::QVKeyHandler(EditingController& editing, QWidget* parent) : QWidget(parent), editing_(editing)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, true);
}

bool QVKeyHandler::editingAllowed() const
{
    const AppDelegate& ad = editing_.environment.ad;
    return !ad.isEditing && !ad.isViewingOnly;
}

void QVKeyHandler::startEdit(std::int64_t mode, const QString& character)
{
    editing_.session.editWordsStartWithMode(mode, character);
}

bool QVKeyHandler::keyDown(const KeyPress& key)
{
    AppDelegate& ad = editing_.environment.ad;
    ViewServices& view = editing_.environment.view();
    SpeakerServices& speakers = editing_.environment.speakers();
    if (key.has(qv::kModifierControl))
        return false;
    const bool shift = key.has(qv::kModifierShift);
    const bool option = key.has(qv::kModifierOption);
    const bool command = key.has(qv::kModifierCommand);
    const bool repeat = key.isRepeat;
    const bool transcriptScreen = ad.currentMode == 2;
    auto selected = [this] { return editing_.getSelectedWords(); };

    // Some keys fall through to the rules of another key when none of their own cases applies.
    int code = key.keyCode;
    for (;;) {
        switch (code) {
        case qv::kKeyRightBracket:
            if (command && !option && !repeat)
                view.playbackRateFaster();
            else if (!repeat && editingAllowed())
                editing_.punctuation.editWordsWithPunctuation(selected(), "[");
            return true;
        case qv::kKeyLeftBracket:
            if (command && !repeat)
                view.playbackRateSlower();
            else if (!repeat && editingAllowed() && !option)
                editing_.punctuation.editWordsWithPunctuation(selected(), "[");
            return true;
        case qv::kKeyF:
            if (!command && !repeat && editingAllowed()) {
                if (option)
                    editing_.favorites.buttonPressedToggleFavorite();
                else
                    startEdit(WordEditingSession::kQVEditWordSelectAll, key.characters);
                return true;
            }
            code = qv::kKeyJ;
            continue;
        case qv::kKeyJ:
            if (!option && !repeat && editingAllowed()) {
                if (command)
                    editing_.deleteJoin.joinWords(selected(), QString(""));
                else
                    startEdit(WordEditingSession::kQVEditWordSelectAll, key.characters);
                return true;
            }
            code = qv::kKeyR;
            continue;
        case qv::kKeyR:
            if (!option && !repeat && !ad.isEditing) {
                if (command)
                    view.rewindByTime(shift ? 10 : 5);
                else
                    startEdit(WordEditingSession::kQVEditWordSelectAll, key.characters);
                return true;
            }
            code = qv::kKeyReturn;
            continue;
        case qv::kKeyReturn:
        case qv::kKeyEnter:
            return returnOrEnter(key);
        case qv::kKeyTab:
            return true;
        case qv::kKeySpace:
            if (repeat)
                return true;
            if (transcriptScreen && !ad.isEditing) {
                if (option)
                    view.playSelection();
                else
                    view.playPauseToggleScrollToGrid(true);
            }
            return true;
        case qv::kKeyDelete:
            return deleteKey(key);
        case qv::kKeyForwardDelete:
            if (!repeat && editingAllowed())
                startEdit(WordEditingSession::kQVEditWordDeleteFirst);
            return true;
        case qv::kKeyLeft:
        case qv::kKeyRight: {
            const std::int64_t offset = code == qv::kKeyLeft ? -1 : 1;
            if (shift)
                return keyboardSelection(offset);
            view.moveToWordWithOffset(offset);
            return true;
        }
        case qv::kKeyDown:
        case qv::kKeyUp: {
            const std::int64_t direction = code == qv::kKeyDown ? 1 : -1;
            const bool shiftAlone = shift && !option && !command;
            if (!repeat && editingAllowed() && shiftAlone) {
                if (direction > 0)
                    editing_.caseCommands.editWordsToLowercase(selected(), true);
                else
                    editing_.caseCommands.editWordsToUppercaseFirst(selected(), true);
            } else if (direction < 0 && !repeat && editingAllowed() && shift && option && !command) {
                editing_.caseCommands.editWordsToUppercaseAll(selected(), true);
            } else if (!command && !shift) {
                if (option)
                    view.moveToSpeakerRangeWithOffset(direction);
                else
                    view.moveToSentenceWithOffset(direction);
            } else if (command && !shift && !option && !repeat && editingAllowed()) {
                const auto& visible = direction > 0 ? nextRangeButtonVisible_ : currentRangeButtonVisible_;
                if (visible && visible()) {
                    if (direction > 0)
                        speakers.changeNextSpeakerRangeStartToCurrentWord();
                    else
                        speakers.changeSpeakerRangeStartToCurrentWord();
                }
            }
            return true;
        }
        default:
            if (transcriptScreen && !repeat) {
                if (!key.characters.isEmpty() && key.characters.front().isPrint())
                    insertText(key.characters);
                return true;
            }
            return false;
        }
    }
}

bool QVKeyHandler::returnOrEnter(const KeyPress& key)
{
    AppDelegate& ad = editing_.environment.ad;
    if (ad.isBlockingReturnEnterKeyPress || key.isRepeat)
        return true;
    const bool shift = key.has(qv::kModifierShift);
    const bool option = key.has(qv::kModifierOption);
    const bool command = key.has(qv::kModifierCommand);
    const bool canChangeRanges = ad.currentWord && !ad.isEditing && !ad.isViewingOnly;
    if (option && !shift && !command && editingAllowed()) {
        editing_.environment.speakers().showSpeakerMenuForCurrentRange();
    } else if (shift && !option && !command && editingAllowed()) {
        if (const auto first = editing_.getSelectedWords().first())
            editing_.paragraphs.addNewParagraphForWord(first);
    } else if (command) {
        if (canChangeRanges) {
            if (ad.currentWord->speakerRange && ad.currentWord->start == ad.currentWord->speakerRange->start)
                editing_.environment.speakers().showSpeakerMenuForCurrentRange();
            else
                editing_.environment.speakers().addSpeakerRangeAutoSelect(option);
        }
    } else if (!option && canChangeRanges) {
        startEdit(WordEditingSession::kQVEditWordSelectAll);
    }
    ad.isBlockingReturnEnterKeyPress = true;
    editing_.environment.mainQueue.after(kReturnGuardSeconds, [&ad] { ad.isBlockingReturnEnterKeyPress = false; });
    return true;
}

bool QVKeyHandler::deleteKey(const KeyPress& key)
{
    AppDelegate& ad = editing_.environment.ad;
    if (ad.currentMode != 2 || key.isRepeat || !editingAllowed())
        return true;
    const bool shift = key.has(qv::kModifierShift);
    const bool option = key.has(qv::kModifierOption);
    const bool command = key.has(qv::kModifierCommand);
    if (!shift && !option && !command && ad.customWordsServices && ad.customWordsServices->isEditingCustomWords()) {
        ad.customWordsServices->deleteSelectedCustomWords();
    } else if (!shift && !option && !command) {
        startEdit(WordEditingSession::kQVEditWordDeleteLast);
    } else if (shift && !option && !command) {
        if (const auto first = editing_.getSelectedWords().first())
            editing_.paragraphs.deleteParagraphForWord(first);
    } else if (command && !shift && !option) {
        editing_.deleteJoin.deleteWords(editing_.getSelectedWords());
    } else if (option && !shift && !command) {
        editing_.punctuation.deletePunctuationForWords(editing_.getSelectedWords());
    }
    return true;
}

bool QVKeyHandler::keyboardSelection(std::int64_t offset)
{
    AppDelegate& ad = editing_.environment.ad;
    if (ad.selectionExtensionDirection == 0)
        ad.selectionExtensionDirection = offset < 0 ? -1 : 1;
    if (ad.selectionExtensionDirection == -1)
        editing_.selection.changeSelectionStartWordWithOffset(offset);
    else
        editing_.selection.changeSelectionEndWordWithOffset(offset);
    return true;
}

bool QVKeyHandler::keyUp(const KeyPress& key)
{
    if (key.keyCode != qv::kKeyEscape)
        return false;
    AppDelegate& ad = editing_.environment.ad;
    if (ad.isEditing) {
        editing_.environment.appendTrace("\n\neditWordsCancel called from QVKeyHandler because user pressed Escape key\n\n");
        editing_.session.editWordsCancel();
    }
    return true;
}

void QVKeyHandler::insertText(const QString& text)
{
    const AppDelegate& ad = editing_.environment.ad;
    if (ad.isEditing || ad.isViewingOnly || text.isEmpty())
        return;
    if (text.size() == 1 && kPunctuationKeys.contains(text.front())) {
        const QVOrderedSet<QVWord> words = editing_.getSelectedWords();
        const QChar mark = text.front();
        if (editing_.environment.languageIs("es") && (mark == QChar(0x00A1) || mark == QChar('!'))) {
            editing_.wrap.wrapWords(WrapCommands::Kind::ExclamationMarks, words);
            editing_.environment.view().resumePlayback();
        } else if (editing_.environment.languageIs("es") && (mark == QChar(0x00BF) || mark == QChar('?'))) {
            editing_.wrap.wrapWords(WrapCommands::Kind::QuestionMarks, words);
            editing_.environment.view().resumePlayback();
        } else {
            editing_.punctuation.editWordsWithPunctuation(words, text);
        }
        return;
    }
    startEdit(WordEditingSession::kQVEditWordSelectAll, text);
}

void QVKeyHandler::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) && pageKeysTarget_) {
        QCoreApplication::sendEvent(pageKeysTarget_, event);
        return;
    }
    if (keyDown(qv::keyPressFromEvent(*event)))
        event->accept();
    else
        event->ignore();
}

void QVKeyHandler::keyReleaseEvent(QKeyEvent* event)
{
    if (keyUp(qv::keyPressFromEvent(*event)))
        event->accept();
    else
        QWidget::keyReleaseEvent(event);
}

void QVKeyHandler::inputMethodEvent(QInputMethodEvent* event)
{
    // A composition in progress is only remembered; its committed text is typed text.
    markedText_ = event->preeditString();
    if (!event->commitString().isEmpty())
        insertText(event->commitString());
    event->accept();
}

QVariant QVKeyHandler::inputMethodQuery(Qt::InputMethodQuery query) const
{
    if (query == Qt::ImEnabled)
        return true;
    return QWidget::inputMethodQuery(query);
}
