#include "app/shell/LogoView.h"

#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

namespace qv::shell {

namespace {

constexpr int kAnimationMilliseconds = 800;
const QColor kBrand(255, 65, 20);

}  // namespace

LogoView::LogoView(QWidget* parent) : QWidget(parent), animation_(new QVariantAnimation(this))
{
    setFixedSize(200, 164);
    animation_->setStartValue(0);
    animation_->setEndValue(kLogoFrames - 1);
    animation_->setDuration(kAnimationMilliseconds);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        frame_ = value.toInt();
        update();
    });
}

void LogoView::animate()
{
    animation_->stop();
    frame_ = 0;
    animation_->start();
}

void LogoView::reset()
{
    animation_->stop();
    frame_ = 0;
    update();
}

void LogoView::paintMark(QPainter& painter, const QRectF& rect, int frame)
{
    const double progress = std::clamp(frame, 0, kLogoFrames - 1) / double(kLogoFrames - 1);
    const double side = std::min(rect.width(), rect.height());
    const QRectF square(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kBrand);
    painter.drawRoundedRect(square, side * 0.22, side * 0.22);
    // Five bars of a sound wave that settle, frame by frame, into four left-aligned lines of text.
    const double heights[] = {0.30, 0.55, 0.40, 0.62, 0.35};
    const double lineWidths[] = {0.62, 0.50, 0.62, 0.38, 0.0};
    painter.setBrush(Qt::white);
    const double unit = side / 10;
    for (int i = 0; i < 5; ++i) {
        const double barX = square.left() + unit * (2.0 + i * 1.3);
        const double barH = side * heights[i];
        const QRectF bar(barX, square.center().y() - barH / 2, unit * 0.8, barH);
        const QRectF line(square.left() + unit * 2, square.top() + unit * (2.3 + i * 1.5), side * lineWidths[i],
                          unit * 0.8);
        const QRectF at(bar.left() + (line.left() - bar.left()) * progress,
                        bar.top() + (line.top() - bar.top()) * progress,
                        bar.width() + (line.width() - bar.width()) * progress,
                        bar.height() + (line.height() - bar.height()) * progress);
        if (at.width() > 0.5)
            painter.drawRoundedRect(at, unit * 0.4, unit * 0.4);
    }
    painter.restore();
}

void LogoView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintMark(painter, QRectF(rect()).adjusted(20, 0, -20, 0), frame_);
}

}  // namespace qv::shell
