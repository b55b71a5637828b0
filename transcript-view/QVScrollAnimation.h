// Moves a table's visible area smoothly from where it is to a target point over 0.4 s with a
// cubic ease-in-out. Frames run on the main queue's timer, so a frame's scroll is done before
// the next is computed and a test moves the clock by hand. Main thread only.
#pragma once

#include "platform/foundation/Dispatcher.h"
#include "platform/ui/ViewTable.h"

#include <QPointF>
#include <QPointer>

#include <memory>

namespace qv::transcript {

class QVScrollAnimation : public std::enable_shared_from_this<QVScrollAnimation> {
public:
    // Length of every animation, in seconds.
    static constexpr double kDuration = 0.4;
    // Frames a second.
    static constexpr double kFrameRate = 60;

    // The share of `change` covered at progress `t` (0..1), in single precision as drawn.
    static float easeInOut(float t, float change);

    // A new animation from the table's visible origin ((0, 0) without a table) to `point`,
    // started on the next turn of the main queue.
    static std::shared_ptr<QVScrollAnimation> animatedScrollToPoint(const QPointF& point, ViewTable* table,
                                                                    Dispatcher& main);
    ~QVScrollAnimation();

    QPointF originPoint() const { return origin_; }
    QPointF targetPoint() const { return target_; }
    bool isAnimating() const { return timer_ != 0; }
    // Scrolls to the point for progress `t`.
    void setCurrentProgress(float t);
    void stopAnimation();

private:
    QVScrollAnimation(Dispatcher& main, ViewTable* table, const QPointF& target);
    void start();

    Dispatcher& main_;
    QPointer<ViewTable> table_;
    QPointF origin_;
    QPointF target_;
    double startTime_ = 0;
    TimerId timer_ = 0;
    bool stopped_ = false;
};

}  // namespace qv::transcript
