// Draws the waveform of one audio channel as a row of vertical bars, one per point of width,
// each as tall as the loudest value of its stretch of the channel (0 dB full height, -50 dB
// nothing). Until the waveform is revealed a busy bar runs along the baseline; the reveal is
// at once (type 0), a fade with a vertical scale-up (1) or a fade (2). Animations run on the
// dispatcher's clock. Main thread only.
#pragma once

#include "model/QVAudioChannel.h"

#include "platform/foundation/Dispatcher.h"

#include <QWidget>

#include <memory>
#include <vector>

class QVWaveformView : public QWidget {
public:
    static constexpr int kBaselineHeight = 2;  // points, at the bottom

    QVWaveformView(qv::Dispatcher& main, QWidget* parent = nullptr);
    ~QVWaveformView() override;

    std::shared_ptr<QVAudioChannel> audioChannel() const { return audioChannel_; }
    void setAudioChannel(std::shared_ptr<QVAudioChannel> channel);
    // Set by the panel that owns the view; drawn right-aligned.
    void setChannelName(const QString& name);
    QString channelName() const { return channelName_; }

    bool isShowingWaveform() const { return isShowingWaveform_; }
    void showWaveformWithAnimationType(int type);

    // Bar heights of columns 0 to `columns` (both included) for a drawing area `height` high,
    // over a view `boundsWidth` wide; empty when there is nothing to draw.
    static std::vector<double> barHeights(const QVAudioChannel& channel, int columns, double boundsWidth,
                                          double height);

    // The animated values as they stand on the dispatcher's clock.
    double waveformOpacity() const;
    double waveformScaleY() const;
    double progressBarOpacity() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // A value moving from `from` to `to` over `duration` seconds with an ease-out, from `start`.
    struct Tween {
        double from = 0;
        double to = 0;
        double start = 0;
        double duration = 0;
        double valueAt(double now) const;
        bool runningAt(double now) const { return now < start + duration; }
    };

    void tick();
    bool isAnimating() const;

    qv::Dispatcher& main_;
    std::shared_ptr<QVAudioChannel> audioChannel_;
    QString channelName_ = "test channel name";
    bool isShowingWaveform_ = false;
    Tween waveformOpacity_{0, 0, 0, 0};
    Tween waveformScale_{1, 1, 0, 0};
    Tween progressOpacity_{1, 1, 0, 0};
    // The busy bar's random phase, in points: where its light bands stand at time zero.
    double busyPhase_ = 0;
    double busyStart_ = 0;
    qv::TimerId timer_ = 0;
};
