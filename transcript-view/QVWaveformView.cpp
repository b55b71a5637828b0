#include "QVWaveformView.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// How often the busy bar and the reveal are redrawn while they move. Seconds.
constexpr double kFrameInterval = 1.0 / 30;
// The busy bar moves one view width a second; its strip is four widths long.
constexpr double kBusyPeriod = 1.0;

QColor white(double level) { return QColor::fromRgbF(static_cast<float>(level), static_cast<float>(level), static_cast<float>(level), 1.0f); }

}  // namespace

double QVWaveformView::Tween::valueAt(double now) const
{
    if (duration <= 0 || now >= start + duration)
        return to;
    double p = std::clamp((now - start) / duration, 0.0, 1.0);
    double eased = 1 - (1 - p) * (1 - p) * (1 - p);
    return from + (to - from) * eased;
}

QVWaveformView::QVWaveformView(qv::Dispatcher& main, QWidget* parent) : QWidget(parent), main_(main)
{
    QPalette dark = palette();
    dark.setColor(QPalette::Window, Qt::black);
    setPalette(dark);
    setAutoFillBackground(true);
    // A random phase per view, so that the busy bars of several channels do not move in step.
    busyPhase_ = QRandomGenerator::global()->bounded(1.0);
    busyStart_ = main_.now();
    timer_ = main_.every(kFrameInterval, [this] { tick(); });
}

QVWaveformView::~QVWaveformView()
{
    if (timer_)
        main_.cancel(timer_);
}

void QVWaveformView::setAudioChannel(std::shared_ptr<QVAudioChannel> channel)
{
    audioChannel_ = std::move(channel);
    update();
}

void QVWaveformView::setChannelName(const QString& name)
{
    channelName_ = name;
    update();
}

double QVWaveformView::waveformOpacity() const { return waveformOpacity_.valueAt(main_.now()); }
double QVWaveformView::waveformScaleY() const { return waveformScale_.valueAt(main_.now()); }
double QVWaveformView::progressBarOpacity() const { return progressOpacity_.valueAt(main_.now()); }

bool QVWaveformView::isAnimating() const
{
    double now = main_.now();
    return progressOpacity_.valueAt(now) > 0 || waveformOpacity_.runningAt(now) || waveformScale_.runningAt(now);
}

void QVWaveformView::tick()
{
    update();
    if (!isAnimating() && timer_) {
        main_.cancel(timer_);
        timer_ = 0;
    }
}

void QVWaveformView::showWaveformWithAnimationType(int type)
{
    double now = main_.now();
    if (type == 0) {
        progressOpacity_ = {0, 0, now, 0};
        waveformOpacity_ = {1, 1, now, 0};
    } else if (type == 1) {
        waveformOpacity_ = {0, 1, now, 0.1};
        waveformScale_ = {0, 1, now, 0.25};
        progressOpacity_ = {1, 0, now, 0.3};
    } else if (type == 2) {
        waveformOpacity_ = {0, 1, now, 0.25};
        progressOpacity_ = {1, 0, now, 0.3};
    }
    isShowingWaveform_ = true;
    if (!timer_ && isAnimating())
        timer_ = main_.every(kFrameInterval, [this] { tick(); });
    update();
}

std::vector<double> QVWaveformView::barHeights(const QVAudioChannel& channel, int columns, double boundsWidth,
                                               double height)
{
    const std::int64_t n = std::min<std::int64_t>(channel.waveformSampleCount, channel.waveformData.size() / 4);
    if (n <= 0 || !(channel.waveformMax > -50.0f) || columns < 0 || !(boundsWidth > 0))
        return {};
    const auto* bytes = channel.waveformData.constData();
    auto sample = [&](std::int64_t i) {
        float value = 0;
        std::memcpy(&value, bytes + i * 4, 4);
        return value;
    };
    const float scale = static_cast<float>(height) / 50.0f;
    std::vector<double> heights;
    heights.reserve(static_cast<std::size_t>(columns) + 1);
    for (int x = 0; x <= columns; ++x) {
        auto i0 = std::min(static_cast<std::int64_t>(std::floor(static_cast<double>(n) * x / boundsWidth)), n - 1);
        auto i1 = std::min(static_cast<std::int64_t>(std::floor(static_cast<double>(n) * (x + 1) / boundsWidth)), n - 1);
        float peak = -50.0f;
        for (std::int64_t i = i0; i <= i1; ++i)
            peak = std::max(peak, sample(i));
        heights.push_back(static_cast<double>((peak + 50.0f) * scale));
    }
    return heights;
}

void QVWaveformView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const double w = width();
    const double h = height();
    const double base = h - kBaselineHeight;

    double opacity = waveformOpacity();
    if (audioChannel_ && opacity > 0) {
        auto heights = barHeights(*audioChannel_, width(), w, base);
        if (!heights.empty()) {
            QPainterPath bars;
            for (std::size_t x = 0; x < heights.size(); ++x) {
                bars.moveTo(static_cast<double>(x) + 0.5, base);
                bars.lineTo(static_cast<double>(x) + 0.5, base - heights[x]);
            }
            QPainterPathStroker stroker;
            stroker.setWidth(1);
            stroker.setCapStyle(Qt::FlatCap);
            QLinearGradient fill(0, base, 0, 0);
            fill.setColorAt(0, white(0.3));
            fill.setColorAt(1, white(0.7));
            painter.save();
            painter.setOpacity(opacity);
            // The reveal grows the bars up from the baseline.
            painter.translate(0, base);
            painter.scale(1, waveformScaleY());
            painter.translate(0, -base);
            painter.setClipPath(stroker.createStroke(bars));
            painter.fillRect(QRectF(0, 0, w, base), fill);
            painter.restore();
        }
    }

    painter.fillRect(QRectF(0, base, w, kBaselineHeight), white(0.1));
    double busy = progressBarOpacity();
    if (busy > 0 && w > 0) {
        // A strip four widths long with four light bands, sliding left one width a second.
        double elapsed = std::fmod(main_.now() - busyStart_, kBusyPeriod) / kBusyPeriod;
        double left = busyPhase_ * w - 1.5 * w - elapsed * w;
        QLinearGradient strip(left, 0, left + 4 * w, 0);
        const double levels[] = {0.1, 0.5, 0.1, 0.1, 0.5, 0.1, 0.1, 0.5, 0.1, 0.1, 0.5, 0.1, 0.1};
        for (int i = 0; i < 13; ++i)
            strip.setColorAt(i / 12.0, white(levels[i]));
        painter.save();
        painter.setOpacity(busy);
        painter.fillRect(QRectF(0, base, w, kBaselineHeight), strip);
        painter.restore();
    }

    if (!channelName_.isEmpty()) {
        QFont font = painter.font();
        font.setPixelSize(12);
        painter.setFont(font);
        painter.setPen(white(1.0));
        painter.drawText(QRectF(0, 0, w - 4, base), Qt::AlignRight | Qt::AlignTop, channelName_);
    }
}
