#include "editing/QVEditingImageButton.h"

#include "editing/QVEditingButtonCell.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <iterator>

QVEditingImageButton::QVEditingImageButton(Image image, QWidget* parent) : QAbstractButton(parent), image_(image)
{
    setFixedSize(QVEditingButtonCell::kSide, QVEditingButtonCell::kSide);
    setFocusPolicy(Qt::NoFocus);
}

void QVEditingImageButton::setAlpha(double alpha)
{
    alpha_ = std::clamp(alpha, 0.0, 1.0);
    update();
}

void QVEditingImageButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(alpha_);
    const bool dark = isDown() || isChecked();
    paintEditingButtonFace(painter, rect(), dark);
    const QColor ink = dark ? QVEditingButtonCell::alternateTitleColor() : QVEditingButtonCell::normalTitleColor();
    painter.setPen(QPen(ink, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    // The symbols are drawn on a 26 by 26 grid.
    painter.scale(width() / 26.0, height() / 26.0);
    paintSymbol(painter);
}

void QVEditingImageButton::paintSymbol(QPainter& painter) const
{
    switch (image_) {
    case Image::Edit: {
        // A pencil, point down to the left.
        const QPointF pencil[] = {{7, 19}, {8, 15}, {17, 6}, {20, 9}, {11, 18}};
        painter.drawPolygon(pencil, static_cast<int>(std::size(pencil)));
        painter.drawLine(QPointF(8, 15), QPointF(11, 18));
        painter.drawLine(QPointF(7, 21), QPointF(19, 21));
        break;
    }
    case Image::Join: {
        // Two words drawn together by a tie beneath them.
        painter.drawLine(QPointF(5, 9), QPointF(11, 9));
        painter.drawLine(QPointF(15, 9), QPointF(21, 9));
        QPainterPath tie;
        tie.moveTo(7, 14);
        tie.quadTo(13, 21, 19, 14);
        painter.drawPath(tie);
        break;
    }
    case Image::DeletePunctuation: {
        // A comma and a full stop, struck through.
        painter.setBrush(painter.pen().color());
        painter.drawEllipse(QPointF(9, 15), 1.6, 1.6);
        painter.drawEllipse(QPointF(16, 15), 1.6, 1.6);
        painter.setBrush(Qt::NoBrush);
        painter.drawLine(QPointF(16.8, 16), QPointF(15, 20));
        painter.drawLine(QPointF(6, 20), QPointF(20, 6));
        break;
    }
    case Image::DeleteWord: {
        // A delete key: a tag pointing left with a cross in it.
        const QPointF key[] = {{4, 13}, {9, 7}, {22, 7}, {22, 19}, {9, 19}};
        painter.drawPolygon(key, static_cast<int>(std::size(key)));
        painter.drawLine(QPointF(12, 10), QPointF(18, 16));
        painter.drawLine(QPointF(18, 10), QPointF(12, 16));
        break;
    }
    case Image::ParagraphBreak: {
        // A pilcrow.
        painter.setBrush(painter.pen().color());
        painter.drawChord(QRectF(6, 5, 9, 9), 90 * 16, 180 * 16);
        painter.setBrush(Qt::NoBrush);
        painter.drawLine(QPointF(10.5, 5), QPointF(19, 5));
        painter.drawLine(QPointF(12.5, 5), QPointF(12.5, 21));
        painter.drawLine(QPointF(16.5, 5), QPointF(16.5, 21));
        break;
    }
    }
}
