#include "VideoView.h"

#include <QImage>
#include <QPainter>

#include <algorithm>

namespace qv {

VideoView::VideoView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

VideoView::~VideoView() { setPlayer(nullptr); }

void VideoView::setPlayer(Player* player)
{
    if (player_ && observer_)
        player_->removeTimeObserver(observer_);
    player_ = player;
    observer_ = player_ ? player_->addPeriodicTimeObserver(kRefreshSeconds, [this](const MediaTime&) { update(); }) : 0;
    update();
}

void VideoView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!player_)
        return;
    auto picture = player_->videoSurface()->frameAt(player_->currentTime().seconds());
    if (!picture || picture->image.width <= 0 || picture->image.height <= 0)
        return;
    const VideoImage& image = picture->image;
    QImage frame(image.rgb.data(), image.width, image.height, image.width * 3, QImage::Format_RGB888);
    double displayWidth = image.width * picture->pixelAspect;
    double scale = std::min(width() / displayWidth, height() / static_cast<double>(image.height));
    QSizeF size(displayWidth * scale, image.height * scale);
    QRectF target(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, frame);
}

}  // namespace qv
