#include "platform/ui/TextView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>

namespace qv {

namespace {

// QTextLayout breaks lines at the line separator, not at a line feed; the swap keeps every index.
QString layoutText(const QString& text)
{
    QString result = text;
    result.replace(QChar('\n'), QChar::LineSeparator);
    return result;
}

}  // namespace

TextView::TextView(QWidget* parent) : QWidget(parent), font_(QWidget::font())
{
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
}

void TextView::setDefaultFont(const QFont& font)
{
    font_ = font;
    invalidateLayout();
}

void TextView::setLineSpacing(double points)
{
    lineSpacing_ = points;
    invalidateLayout();
}

void TextView::setLineHeight(double points)
{
    lineHeight_ = points;
    invalidateLayout();
}

void TextView::invalidateLayout()
{
    layoutValid_ = false;
    update();
}

QList<QTextLayout::FormatRange> TextView::formats() const
{
    QList<QTextLayout::FormatRange> formats;
    auto add = [&formats](qsizetype start, qsizetype length, const QTextCharFormat& format) {
        QTextLayout::FormatRange range;
        range.start = static_cast<int>(start);
        range.length = static_cast<int>(length);
        range.format = format;
        formats.append(range);
    };
    for (const AttributeRun& run : model_.attributeRuns()) {
        QTextCharFormat format;
        if (run.attributes.font)
            format.setFont(*run.attributes.font);
        if (run.attributes.foreground)
            format.setForeground(*run.attributes.foreground);
        if (format.propertyCount() > 0)
            add(run.range.location, run.range.length, format);
    }
    for (const ColorRun& run : model_.temporaryForegroundRuns()) {
        QTextCharFormat format;
        format.setForeground(run.color);
        add(run.range.location, run.range.length, format);
    }
    const TextRange selection = model_.selectedRange();
    if (model_.isSelectable() && selection.length > 0 && selectedForeground_.isValid()) {
        QTextCharFormat format;
        format.setForeground(selectedForeground_);
        add(selection.location, selection.length, format);
    }
    return formats;
}

void TextView::ensureLayout(double width)
{
    if (layoutValid_ && width == layoutWidth_ && model_.revision() == layoutRevision_)
        return;
    layout_.update(layoutText(model_.string()), formats(), font_, width, lineSpacing_, lineHeight_);
    layoutWidth_ = width;
    layoutRevision_ = model_.revision();
    layoutValid_ = true;
}

double TextView::usedHeight(double width)
{
    ensureLayout(width < 0 ? this->width() : width);
    return layout_.height();
}

qsizetype TextView::characterIndexForPoint(const QPointF& point)
{
    ensureLayout(width());
    return layout_.characterIndexForPoint(point);
}

std::vector<QRectF> TextView::lineRectsForRange(TextRange range)
{
    if (range.location < 0 || range.length <= 0 || range.location + range.length > model_.length())
        return {};
    ensureLayout(width());
    return layout_.lineRectsForRange(range.location, range.location + range.length);
}

QRectF TextView::boundingRectForRange(TextRange range)
{
    QRectF bounds;
    for (const QRectF& rect : lineRectsForRange(range))
        bounds = bounds.isNull() ? rect : bounds.united(rect);
    return bounds;
}

QString TextView::cleanPastedText(const QString& text)
{
    static const QRegularExpression lineFeeds("\n+");
    static const QRegularExpression whitespace("\\s+");
    // A line break stands between two words: it becomes a blank, never nothing, so that the
    // words on either side stay apart.
    QString cleaned = text;
    cleaned.replace(lineFeeds, QStringLiteral(" "));
    return cleaned.trimmed().replace(whitespace, " ");
}

bool TextView::paste(const QString& text)
{
    const bool changed = model_.insertText(cleanPastedText(text));
    if (changed)
        invalidateLayout();
    return changed;
}

void TextView::paintEvent(QPaintEvent* event)
{
    ensureLayout(width());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    for (const AttributeRun& run : model_.attributeRuns()) {
        if (!run.attributes.background)
            continue;
        std::vector<QRectF> rects = lineRectsForRange(run.range);
        if (backgroundShaper_)
            rects = backgroundShaper_(rects, *run.attributes.background);
        for (const QRectF& rect : rects)
            painter.fillRect(rect, *run.attributes.background);
    }
    const TextRange selection = model_.selectedRange();
    const bool showsSelection = model_.isSelectable() && selection.length > 0;
    if (showsSelection) {
        for (const QRectF& rect : lineRectsForRange(selection))
            painter.fillRect(rect, palette().color(QPalette::Highlight));
    }

    painter.setPen(foreground_);
    // Only the lines in the damaged part are drawn: a long text's others are not shaped.
    layout_.draw(&painter, QRectF(event->rect()));

    if (model_.isEditable() && selection.length == 0 && hasFocus()) {
        const qsizetype position = std::clamp<qsizetype>(selection.location, 0, model_.length());
        const QRectF caret = layout_.caretRect(position);
        if (!caret.isNull())
            painter.fillRect(QRectF(caret.x(), caret.y(), 1, caretHeight_ > 0 ? caretHeight_ : caret.height()), foreground_);
    }
}

void TextView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutValid_ = false;
}

void TextView::moveCaret(qsizetype index, bool extend)
{
    index = std::clamp<qsizetype>(index, 0, model_.length());
    if (!extend)
        anchor_ = index;
    model_.setSelectedRange({std::min(anchor_, index), std::abs(index - anchor_)});
    update();
}

void TextView::mousePressEvent(QMouseEvent* event)
{
    if (mouseDown_)
        mouseDown_(event->position());
    if (model_.isSelectable())
        moveCaret(characterIndexForPoint(event->position()), event->modifiers() & Qt::ShiftModifier);
}

void TextView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        if (mouseMoved_)
            mouseMoved_(event->position());
        return;
    }
    if (mouseDragged_)
        mouseDragged_(event->position());
    if (model_.isSelectable())
        moveCaret(characterIndexForPoint(event->position()), true);
}

void TextView::mouseReleaseEvent(QMouseEvent* event)
{
    // Qt reports the second click of a double click as its own press; the release after it is
    // the one that counts two.
    const int clickCount = event->flags().testFlag(Qt::MouseEventCreatedDoubleClick) ? 2 : 1;
    if (mouseUp_)
        mouseUp_(event->position(), clickCount);
}

void TextView::keyPressEvent(QKeyEvent* event)
{
    if (keyHook_ && keyHook_(event))
        return;
    if (!model_.isEditable()) {
        QWidget::keyPressEvent(event);
        return;
    }
    const TextRange selection = model_.selectedRange();
    bool changed = false;
    if (event->matches(QKeySequence::Paste)) {
        changed = paste(QGuiApplication::clipboard()->text());
    } else if (event->matches(QKeySequence::SelectAll)) {
        model_.selectAll();
    } else if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) {
        TextRange range = selection;
        if (range.length == 0)
            range = event->key() == Qt::Key_Backspace ? TextRange{range.location - 1, 1} : TextRange{range.location, 1};
        changed = model_.insertText(QString(), range);
    } else if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        const qsizetype step = event->key() == Qt::Key_Left ? -1 : 1;
        moveCaret(selection.location + (selection.length > 0 && step > 0 ? selection.length : step), false);
    } else if (!event->text().isEmpty() && event->text().at(0).isPrint()) {
        changed = model_.insertText(event->text());
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    anchor_ = model_.selectedRange().location;
    if (changed)
        invalidateLayout();
    update();
}

void TextView::inputMethodEvent(QInputMethodEvent* event)
{
    if (model_.isEditable() && !event->commitString().isEmpty() && model_.insertText(event->commitString()))
        invalidateLayout();
    event->accept();
}

}  // namespace qv
