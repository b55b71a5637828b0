#include "transcript-view/QVScrollAnimation.h"

#include <algorithm>

namespace qv::transcript {

float QVScrollAnimation::easeInOut(float t, float change)
{
    float u = 2.0f * t;
    if (u < 1.0f)
        return change / 2.0f * u * u * u;
    u -= 2.0f;
    return change / 2.0f * (u * u * u + 2.0f);
}

QVScrollAnimation::QVScrollAnimation(Dispatcher& main, ViewTable* table, const QPointF& target)
    : main_(main), table_(table), origin_(table ? table->visibleRect().topLeft() : QPointF()), target_(target)
{
}

QVScrollAnimation::~QVScrollAnimation()
{
    if (timer_)
        main_.cancel(timer_);
}

std::shared_ptr<QVScrollAnimation> QVScrollAnimation::animatedScrollToPoint(const QPointF& point, ViewTable* table,
                                                                           Dispatcher& main)
{
    std::shared_ptr<QVScrollAnimation> animation(new QVScrollAnimation(main, table, point));
    std::weak_ptr<QVScrollAnimation> weak = animation;
    main.async([weak] {
        if (auto alive = weak.lock())
            alive->start();
    });
    return animation;
}

void QVScrollAnimation::start()
{
    if (stopped_ || timer_)
        return;
    startTime_ = main_.now();
    std::weak_ptr<QVScrollAnimation> weak = weak_from_this();
    timer_ = main_.every(1.0 / kFrameRate, [weak] {
        auto alive = weak.lock();
        if (!alive)
            return;
        const double t = std::min(1.0, (alive->main_.now() - alive->startTime_) / kDuration);
        alive->setCurrentProgress(static_cast<float>(t));
        if (t >= 1.0)
            alive->stopAnimation();
    });
}

void QVScrollAnimation::setCurrentProgress(float t)
{
    if (!table_)
        return;
    const float dx = easeInOut(t, static_cast<float>(target_.x() - origin_.x()));
    const float dy = easeInOut(t, static_cast<float>(target_.y() - origin_.y()));
    table_->scrollToPoint(QPointF(origin_.x() + dx, origin_.y() + dy));
}

void QVScrollAnimation::stopAnimation()
{
    stopped_ = true;
    if (timer_)
        main_.cancel(timer_);
    timer_ = 0;
}

}  // namespace qv::transcript

