#include "search/QVCustomWordsItem.h"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include <cmath>

namespace qv::search {

const QColor QVCustomWordsItem::kRestColor(160, 160, 160);
const QColor QVCustomWordsItem::kHoverColor(200, 200, 200);
const QColor QVCustomWordsItem::kSelectedColor(255, 255, 255);

QVCustomWordsItem::QVCustomWordsItem(const QString& word, const Host* host, QWidget* parent)
    : QWidget(parent), word_(word), host_(host), animation_(new QVariantAnimation(this))
{
    setObjectName(QStringLiteral("customWordTile"));
    setAttribute(Qt::WA_Hover);
    QObject::connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        color_ = value.value<QColor>();
        update();
    });
}

QFont QVCustomWordsItem::tileFont()
{
    QFont font;
    font.setPixelSize(13);
    return font;
}

QSize QVCustomWordsItem::sizeForWord(const QString& word)
{
    return QSize(int(std::ceil(QFontMetricsF(tileFont()).horizontalAdvance(word))) + 10, kHeight);
}

void QVCustomWordsItem::setSelected(bool selected)
{
    selected_ = selected;
    animation_->stop();
    color_ = selected ? kSelectedColor : kRestColor;
    update();
}

void QVCustomWordsItem::flash()
{
    animation_->stop();
    animation_->setStartValue(kSelectedColor);
    animation_->setEndValue(kHoverColor);
    animation_->setDuration(400);
    animation_->start();
}

void QVCustomWordsItem::animateTo(const QColor& color, int milliseconds)
{
    animation_->stop();
    animation_->setStartValue(color_);
    animation_->setEndValue(color);
    animation_->setDuration(milliseconds);
    animation_->start();
}

void QVCustomWordsItem::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath tile;
    tile.addRoundedRect(QRectF(rect()), 3, 3);
    painter.fillPath(tile, color_);
    painter.setFont(tileFont());
    painter.setPen(QColor(30, 30, 30));
    // A word longer than the panel is wide ends in an ellipsis; the tile is cut to the panel.
    const QRect text = rect().adjusted(5, 0, -5, 0);
    painter.drawText(text, Qt::AlignCenter, painter.fontMetrics().elidedText(word_, Qt::ElideRight, text.width()));
}

void QVCustomWordsItem::enterEvent(QEnterEvent* event)
{
    // Hovering while only one list is shown gives no tooltip, also on a tile that had one.
    setToolTip(host_ && host_->tooltipForWord ? host_->tooltipForWord(word_) : QString());
    if (host_ && host_->hoverColors && host_->hoverColors())
        animateTo(kHoverColor, 100);
    QWidget::enterEvent(event);
}

void QVCustomWordsItem::leaveEvent(QEvent* event)
{
    if (host_ && host_->hoverColors && host_->hoverColors())
        animateTo(selected_ ? kSelectedColor : kRestColor, 400);
    QWidget::leaveEvent(event);
}

void QVCustomWordsItem::mousePressEvent(QMouseEvent* event) { event->ignore(); }

}  // namespace qv::search
