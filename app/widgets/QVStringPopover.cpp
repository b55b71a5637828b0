#include "app/widgets/QVStringPopover.h"

#include "platform/ui/PopupPlacement.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextDocument>

#include <cmath>

namespace {

// Space between the anchor rectangle and the popover, pixels.
constexpr int kAnchorGap = 6;

QColor controlTextColor()
{
    return QColor(0, 0, 0, 217);
}

// Width and height of `text` laid out at `wrapWidth`: the widest line, not the wrap width.
QSizeF measure(const QString& text, Qt::TextFormat format, const QFont& font, float wrapWidth)
{
    QTextDocument document;
    document.setDefaultFont(font);
    document.setDocumentMargin(0);
    if (format == Qt::RichText)
        document.setHtml(text);
    else
        document.setPlainText(text);
    document.setTextWidth(wrapWidth);
    return QSizeF(document.idealWidth(), document.size().height());
}

}  // namespace

QVStringPopover::QVStringPopover(QWidget* ofView, const QString& text, Qt::TextFormat format, Qt::Alignment alignment,
                                 const QColor& color, float wrapWidth)
    : QWidget(ofView ? ofView->window() : nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      field_(new QLabel(this))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    int width = 12;
    int height = 0;
    if (!text.isNull()) {
        const QSizeF measured = measure(text, format, field_->font(), wrapWidth);
        width = int(std::ceil(measured.width())) + 12;
        height = int(std::ceil(measured.height()));
    }
    field_->setTextFormat(format);
    field_->setText(text);
    field_->setWordWrap(true);
    field_->setAlignment(alignment | Qt::AlignTop);
    if (format != Qt::RichText) {
        QPalette palette = field_->palette();
        palette.setColor(QPalette::WindowText, color);
        field_->setPalette(palette);
    }
    field_->setGeometry(5, 5, width, height);
    contentSize_ = QSize(width + 10, height + 10);
    resize(contentSize_);
    qApp->installEventFilter(this);
}

QVStringPopover* QVStringPopover::showRelativeToRect(const QRect& rect, QWidget* ofView, Edge preferredEdge,
                                                     const QString& string, float wrapWidth)
{
    return showRelativeToRect(rect, ofView, preferredEdge, string, controlTextColor(), wrapWidth);
}

QVStringPopover* QVStringPopover::showRelativeToRect(const QRect& rect, QWidget* ofView, Edge preferredEdge,
                                                     const QString& string, const QColor& stringColor, float wrapWidth)
{
    auto* popover = new QVStringPopover(ofView, string, Qt::PlainText, Qt::AlignLeft, stringColor, wrapWidth);
    popover->place(rect, ofView, preferredEdge);
    return popover;
}

QVStringPopover* QVStringPopover::showRelativeToRect(const QRect& rect, QWidget* ofView, Edge preferredEdge,
                                                     const QString& string, bool centered, float wrapWidth)
{
    auto* popover = new QVStringPopover(ofView, string, Qt::PlainText, centered ? Qt::AlignHCenter : Qt::AlignLeft,
                                        controlTextColor(), wrapWidth);
    popover->place(rect, ofView, preferredEdge);
    return popover;
}

QVStringPopover* QVStringPopover::showRelativeToRectAttributed(const QRect& rect, QWidget* ofView, Edge preferredEdge,
                                                               const QString& attributedString, float wrapWidth)
{
    auto* popover = new QVStringPopover(ofView, attributedString, Qt::RichText, Qt::AlignLeft, controlTextColor(), wrapWidth);
    popover->place(rect, ofView, preferredEdge);
    return popover;
}

QString QVStringPopover::text() const
{
    return field_->text();
}

void QVStringPopover::closePopover()
{
    hide();
}

void QVStringPopover::place(const QRect& rect, QWidget* ofView, Edge edge)
{
    const QRect anchor = ofView ? QRect(ofView->mapToGlobal(rect.topLeft()), rect.size()) : rect;
    QPoint origin;
    switch (edge) {
    case Edge::Right:
        origin = QPoint(anchor.right() + 1 + kAnchorGap, anchor.center().y() - height() / 2);
        break;
    case Edge::Left:
        origin = QPoint(anchor.left() - kAnchorGap - width(), anchor.center().y() - height() / 2);
        break;
    case Edge::Top:
        origin = QPoint(anchor.center().x() - width() / 2, anchor.top() - kAnchorGap - height());
        break;
    case Edge::Bottom:
        origin = QPoint(anchor.center().x() - width() / 2, anchor.bottom() + 1 + kAnchorGap);
        break;
    }
    // Kept whole inside the window and on its screen: beside a button at the window's edge it
    // would hang past it.
    move(qv::popupOriginInsideWindow(ofView, origin, size()));  // a window of its own: screen coordinates
    show();
    raise();
}

bool QVStringPopover::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress && isVisible()) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget != this && !isAncestorOf(widget))
            closePopover();
    }
    return QWidget::eventFilter(watched, event);
}

void QVStringPopover::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    painter.fillPath(outline, QColor(246, 246, 246, 250));
    painter.setPen(QColor(0, 0, 0, 60));
    painter.drawPath(outline);
}
