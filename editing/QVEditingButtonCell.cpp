#include "editing/QVEditingButtonCell.h"

#include <QPainter>

QVEditingButtonCell::QVEditingButtonCell(const QString& title, QWidget* parent) : QAbstractButton(parent)
{
    setText(title);
    setFixedSize(kSide, kSide);
    setFocusPolicy(Qt::NoFocus);
}

double QVEditingButtonCell::titleNudge(const QString& title)
{
    return title == QStringLiteral("( )") || title == QStringLiteral("[ ]") ? -1.5 : -0.5;
}

QFont QVEditingButtonCell::titleFont()
{
    QFont font;
    font.setPixelSize(kTitlePointSize);
    font.setBold(true);
    return font;
}

QColor QVEditingButtonCell::titleColor() const
{
    if (!isEnabled())
        return disabledTitleColor();
    return isDown() ? alternateTitleColor() : normalTitleColor();
}

void QVEditingButtonCell::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paintEditingButtonFace(painter, rect(), isEnabled() && isDown());
    painter.setFont(titleFont());
    painter.setPen(titleColor());
    const QRectF titleRect(0, titleNudge(text()), kSide, height());
    painter.drawText(titleRect, Qt::AlignCenter, text());
}

void paintEditingButtonFace(QPainter& painter, const QRectF& rect, bool dark)
{
    const QRectF face = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QColor::fromRgbF(0.78, 0.78, 0.78));
    painter.setBrush(dark ? QColor::fromRgbF(0.35, 0.35, 0.35) : QColor::fromRgbF(0.97, 0.97, 0.97));
    painter.drawRoundedRect(face, 4, 4);
}
