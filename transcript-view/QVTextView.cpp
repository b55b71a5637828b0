#include "transcript-view/QVTextView.h"

#include "model/EditingServices.h"

#include <QKeyEvent>

#include <algorithm>

namespace {

bool isWhitespace(QChar c)
{
    return c == QChar(' ') || c == QChar('\t') || c == QChar(0x00A0) || c.category() == QChar::Separator_Space;
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
    model().setShouldChangeText([this](qv::TextRange range, const QString& replacement) {
        const Refusal refusal = refusalForChange(model().string(), lowerCharacterLock(), upperCharacterLock(),
                                                 ad_.currentTextView == this, range, replacement);
        if (refusal != Refusal::Silent && refusal != Refusal::None && beep_)
            beep_();
        if (refusal == Refusal::PasteLimit && pasteLimit_)
            pasteLimit_();
        if (refusal == Refusal::None && ad_.editingServices) {
            ad_.debugCharacterEditing += QStringLiteral("calling willEditTextView from QVTextView shouldChangeTextInRange\n");
            ad_.editingServices->willEditTextView(model(), range, replacement);
        }
        return refusal == Refusal::None;
    });
    model().setWillChangeSelection([this](qv::TextRange, qv::TextRange proposed) {
        return clampSelection(model().length(), lowerCharacterLock(), upperCharacterLock(), proposed);
    });
    setKeyHook([this](QKeyEvent* event) { return handleKey(event); });
    return_ = [this] {
        if (ad_.isEditing && ad_.editingServices)
            ad_.editingServices->editWordsFinishWithResumePlayback(true);
    };
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
