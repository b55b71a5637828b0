#include "model/EditingTrace.h"
#include "transcript-view/QVTextView.h"

#include "model/EditingServices.h"
#include "model/OpenFileQueries.h"
#include "model/ViewServices.h"

#include <QKeyEvent>

#include <algorithm>

namespace {

bool isWhitespace(QChar c)
{
    return c == QChar(' ') || c == QChar('\t') || c == QChar(0x00A0) || c.category() == QChar::Separator_Space;
}

// The blank and the no-break space: the separators of words in the edited text.
bool isBlank(QChar c)
{
    return c == QChar(' ') || c == QChar(0x00A0);
}

bool onlyWhitespace(const QString& text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), isWhitespace);
}

}  // namespace

QVTextView::Refusal QVTextView::refusalForChange(const QString& text, qsizetype lower, qsizetype upper,
                                                 bool isCurrentTextView, qv::TextRange range, const QString& replacement)
{
    if (lower < 0 || upper < 0)
        return Refusal::Silent;
    const qsizetype windowEnd = text.size() - upper;
    if (!isCurrentTextView || range.location < lower || range.location + range.length > windowEnd)
        return Refusal::Silent;
    if (range.location == lower && onlyWhitespace(replacement))
        return Refusal::Beep;
    if (replacement.contains('\n') || replacement == QStringLiteral("\t"))
        return Refusal::Beep;
    if (!replacement.isEmpty() && range.location == 0 && QStringLiteral("-\u2013\u2014").contains(replacement.front()))
        return Refusal::Beep;
    if (replacement.size() == 1 && isWhitespace(replacement.front())) {
        if (range.location > 0 && isWhitespace(text.at(range.location - 1)))
            return Refusal::Beep;
        const qsizetype after = range.location + range.length;
        if (after < windowEnd && isWhitespace(text.at(after)))
            return Refusal::Beep;
    }
    if (replacement.split(' ').size() > kMaxWordsPerChange)
        return Refusal::PasteLimit;
    return Refusal::None;
}

qv::TextRange QVTextView::clampSelection(qsizetype length, qsizetype lower, qsizetype upper, qv::TextRange proposed)
{
    if (lower < 0 || upper < 0)
        return proposed;
    const qsizetype l = lower;
    const qsizetype w = length - upper;
    const qsizetype a = proposed.location;
    const qsizetype b = proposed.length;
    const bool startOutside = a < l || a > w;
    const bool endBeyond = b != 0 && a + b > w;
    if (startOutside && endBeyond)
        return {l, w - l};
    if (startOutside) {
        const qsizetype end = a + b < l ? l : std::min(a + b, w);
        const qsizetype start = a < l ? l : w;
        return {start, end - start};
    }
    if (endBeyond)
        return {a, w - a};
    return proposed;
}

QVTextView::QVTextView(AppDelegate& ad, qv::Dispatcher& main, QWidget* parent) : qv::TextView(parent), ad_(ad), main_(main)
{
    setCharacterLocks(-1, -1);
    model().setShouldChangeText(
        [this](qv::TextRange range, const QString& replacement) { return shouldChangeText(range, replacement); });
    model().setWillChangeSelection([this](qv::TextRange, qv::TextRange proposed) {
        return clampSelection(model().length(), lowerCharacterLock(), upperCharacterLock(), proposed);
    });
    model().setDidChangeSelection([this] {
        if (ad_.editingServices)
            ad_.editingServices->updateTypingAttributesForTextView(model());
    });
    model().setWillProcessEditing([this](qv::TextRange edited, qsizetype changeInLength) {
        removeDoubledFrenchBlank(edited, changeInLength);
        queueRowHeightUpdate();
    });
    setKeyHook([this](QKeyEvent* event) { return handleKey(event); });
    return_ = [this] {
        if (ad_.isEditing && ad_.editingServices)
            ad_.editingServices->editWordsFinishWithResumePlayback(true);
    };
}

bool QVTextView::shouldChangeText(qv::TextRange range, const QString& replacement)
{
    const Refusal refusal = refusalForChange(model().string(), lowerCharacterLock(), upperCharacterLock(),
                                             ad_.currentTextView == this, range, replacement);
    if (refusal != Refusal::Silent && refusal != Refusal::None && beep_)
        beep_();
    if (refusal == Refusal::PasteLimit && pasteLimit_)
        pasteLimit_();
    if (refusal != Refusal::None)
        return false;
    // Longer text (composed or pasted) comes in without blanks at its ends. The trimmed text
    // takes the place of the original in the view as well as in the words being edited: were
    // only the words told, the row would show blanks that no word accounts for.
    if (replacement.size() > 2) {
        const QString trimmed = replacement.trimmed();
        if (trimmed != replacement) {
            if (model().insertText(trimmed, range))
                invalidateLayout();
            update();
            return false;
        }
    }
    if (ad_.editingServices) {
        qv::appendToEditingTrace(ad_.debugCharacterEditing,
                                 QStringLiteral("calling willEditTextView from QVTextView shouldChangeTextInRange\n"));
        ad_.editingServices->willEditTextView(model(), range, replacement);
    }
    return true;
}

bool QVTextView::singleCharRangeisWithinEditingText(qsizetype location, qsizetype length) const
{
    const qv::TextRange window = model().editWindow();
    return window.location >= 0 && ad_.currentTextView == this && location >= window.location &&
           location + length <= window.location + window.length;
}

void QVTextView::removeDoubledFrenchBlank(qv::TextRange edited, qsizetype changeInLength)
{
    if (!ad_.isEditing || changeInLength < 0 || !languageIs(ad_, QStringLiteral("fr")))
        return;
    const QString& text = model().string();
    if (edited.length != 2 || edited.location < 0 || edited.location + edited.length > text.size())
        return;
    const QString inserted = text.mid(edited.location, 2);
    if (!isBlank(inserted.at(0)) && !isBlank(inserted.at(1)))
        return;
    const auto blankInWindow = [&](qsizetype index) {
        return index >= 0 && index < text.size() && singleCharRangeisWithinEditingText(index, 1) && isBlank(text.at(index));
    };
    if (blankInWindow(edited.location - 1) && isWhitespace(inserted.at(0)))
        model().deleteCharactersWhileProcessing({edited.location, 1});
    else if (blankInWindow(edited.location + 2) && isWhitespace(inserted.at(1)))
        model().deleteCharactersWhileProcessing({edited.location + 1, 1});
}

void QVTextView::queueRowHeightUpdate()
{
    if (!ad_.isEditing || rowHeightUpdateQueued_)
        return;
    rowHeightUpdateQueued_ = true;
    main_.async([this, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.expired())
            return;
        rowHeightUpdateQueued_ = false;
        if (ad_.isEditing && ad_.viewServices && height() > 0)
            ad_.viewServices->updateRowHeightForTextView(this);
    });
}

void QVTextView::setCharacterLocks(qsizetype lower, qsizetype upper)
{
    model().setCharacterLocks(lower, upper);
}

void QVTextView::highlight(qv::TextRange range, const QColor& color)
{
    if (range.location < 0 || range.length <= 0 || range.location + range.length > model().length())
        return;
    model().setTemporaryForeground(range, color);
    highlightedRange_ = range;
    update();
}

void QVTextView::removeHighlight()
{
    if (highlightedRange_.length == 0)
        return;
    model().removeTemporaryForeground(highlightedRange_);
    highlightedRange_ = {0, 0};
    update();
}

bool QVTextView::handleKey(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && ad_.isEditing && ad_.editingServices) {
        ad_.editingServices->editWordsCancel();
        return true;
    }
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    if (ad_.isBlockingReturnEnterKeyPress || event->isAutoRepeat())
        return true;
    if (return_)
        return_();
    ad_.isBlockingReturnEnterKeyPress = true;
    main_.after(kReturnGuardSeconds, [&ad = ad_] { ad.isBlockingReturnEnterKeyPress = false; });
    return true;
}
