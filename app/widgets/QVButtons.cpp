#include "app/widgets/QVButtons.h"

#include <QPainter>

namespace {

const QColor kDarkButtonTitle(220, 220, 220);
const QColor kTextButtonOff(160, 160, 160);

}  // namespace

void QVPopUpButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(Qt::white);
    painter.setFont(font());
    painter.drawText(rect().adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     fontMetrics().elidedText(currentText(), Qt::ElideRight, width() - 8));
}

QVDarkButton::QVDarkButton(const QString& title, QWidget* parent) : QPushButton(title, parent)
{
    // Only the enabled states change: a disabled button keeps the title colour it has.
    QPalette shades = palette();
    shades.setColor(QPalette::Active, QPalette::ButtonText, kDarkButtonTitle);
    shades.setColor(QPalette::Inactive, QPalette::ButtonText, kDarkButtonTitle);
    setPalette(shades);
}

QColor QVDarkButton::titleColor() const
{
    return palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText);
}

QVTextButton::QVTextButton(const QString& title, QWidget* parent) : QPushButton(title, parent)
{
    setCheckable(true);
    setFlat(true);
}

QColor QVTextButton::titleColor() const
{
    return isChecked() ? QColor(Qt::white) : kTextButtonOff;
}

void QVTextButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(titleColor());
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, text());
}
