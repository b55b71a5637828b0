#include "platform/ui/PopupPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace qv {

int popupLeftInside(int left, int width, const QRect& window, const QRect& screen)
{
    const QRect visible = window.intersected(screen);
    const QRect area = !visible.isEmpty() && visible.width() >= width ? visible : screen;
    return std::clamp(left, area.left(), std::max(area.left(), area.right() + 1 - width));
}

QPoint popupOriginInsideWindow(const QWidget* anchor, QPoint origin, QSize size)
{
    const QScreen* screen = anchor ? anchor->screen() : QGuiApplication::screenAt(origin);
    if (!screen)
        return origin;
    const QRect area = screen->availableGeometry();
    const QRect window = anchor ? anchor->window()->geometry() : area;
    origin.setX(popupLeftInside(origin.x(), size.width(), window, area));
    origin.setY(std::clamp(origin.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
    return origin;
}

}  // namespace qv
