#pragma once
// Where a pop-up (a popover, a menu) opened beside a control goes so that it is seen whole: moved
// in sideways to stay inside the control's window and on its screen.
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace qv {

// The left edge for a pop-up `width` wide whose preferred left edge is `left`, moved in to lie
// inside `window` and `screen` (screen coordinates); a pop-up wider than the window is kept on
// the screen alone.
int popupLeftInside(int left, int width, const QRect& window, const QRect& screen);

// `origin` (screen coordinates) of a pop-up of `size` opened from `anchor`, moved in sideways to
// lie inside `anchor`'s window and, up and down as well, on its screen.
QPoint popupOriginInsideWindow(const QWidget* anchor, QPoint origin, QSize size);

}  // namespace qv
