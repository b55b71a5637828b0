// The centred message the dark screens show over an empty list ("No files to show", the
// pending list's import instructions): light grey, three points larger than the body text.
#pragma once

class QColor;
class QLabel;
class QString;
class QWidget;

QLabel* makeDarkScreenMessage(const QString& text, QWidget* parent);

// Fills `widget`'s background with `color`.
void fillDarkScreenBackground(QWidget* widget, const QColor& color);
