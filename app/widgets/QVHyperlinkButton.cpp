#include "app/widgets/QVHyperlinkButton.h"

QVHyperlinkButton::QVHyperlinkButton(const QString& title, QWidget* parent) : QPushButton(title, parent)
{
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    // A click does not take the focus from the field being typed in.
    setFocusPolicy(Qt::TabFocus);
    setStyleSheet("QPushButton { color: rgb(120, 170, 255); border: none; text-align: left; padding: 0; }"
                  "QPushButton:disabled { color: rgb(110, 110, 110); }");
}
