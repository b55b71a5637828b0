#include "app/widgets/QVBackgroundViews.h"

#include "model/AppDelegate.h"

#include <QPainter>

namespace {

void fill(QWidget* widget, const QColor& color)
{
    QPainter painter(widget);
    painter.fillRect(widget->rect(), color);
}

// The tile of the view-only stripes, repeated over the view.
const QPixmap& missingMediaStripesLight()
{
    static const QPixmap tile = [] {
        QPixmap pixmap(16, 16);
        pixmap.fill(QColor(70, 70, 70));
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(96, 96, 96), 4));
        painter.drawLine(QPointF(-4, 20), QPointF(20, -4));
        painter.drawLine(QPointF(-12, 12), QPointF(12, -12));
        painter.drawLine(QPointF(4, 28), QPointF(28, 4));
        return pixmap;
    }();
    return tile;
}

}  // namespace

void QVDarkBackground::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(77, 77, 77));
    const QColor line = QColor::fromRgbF(0.4f, 0.4f, 0.4f);
    painter.fillRect(QRect(0, 0, width(), 1), line);
    painter.fillRect(QRect(0, height() - 1, width(), 1), line);
}

QVDarkMidBackground::QVDarkMidBackground(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void QVDarkMidBackground::paintEvent(QPaintEvent*)
{
    fill(this, QColor(60, 60, 60));
}

void QVDarkerBackground::paintEvent(QPaintEvent*)
{
    fill(this, QColor(46, 46, 46));
}

void QVDarkestBackground::paintEvent(QPaintEvent*)
{
    fill(this, QColor::fromRgbF(0.13f, 0.13f, 0.13f));
}

QVDualBackground::QVDualBackground(const AppDelegate& ad, QWidget* parent) : QWidget(parent), ad_(ad) {}

void QVDualBackground::paintEvent(QPaintEvent*)
{
    if (!ad_.isViewingOnly)
        return;
    QPainter painter(this);
    painter.fillRect(rect(), QBrush(missingMediaStripesLight()));
}
