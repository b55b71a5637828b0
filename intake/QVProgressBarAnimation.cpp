#include "intake/QVProgressBarAnimation.h"

#include <QPointer>
#include <QProgressBar>
#include <QVariantAnimation>

#include <algorithm>

namespace {

constexpr int kDurationMs = 150;

struct Movement {
    QPointer<QVariantAnimation> animation;
    QPointer<QProgressBar> bar;
    int target = 0;
};

// The one movement under way.
Movement& slot()
{
    static Movement movement;
    return movement;
}

int valueOf(const QProgressBar* bar, double fraction)
{
    return bar->minimum() + static_cast<int>(std::clamp(fraction, 0.0, 1.0) * (bar->maximum() - bar->minimum()) + 0.5);
}

}  // namespace

void animateToDoubleValue(QProgressBar* bar, double value)
{
    if (!bar)
        return;
    Movement& running = slot();
    if (running.animation) {
        running.animation->stop();
        delete running.animation;
        if (running.bar)
            running.bar->setValue(running.target);
    }
    const int target = valueOf(bar, value);
    auto* animation = new QVariantAnimation(bar);
    animation->setDuration(kDurationMs);
    animation->setEasingCurve(QEasingCurve::Linear);
    // A bar never set holds -1, below its range.
    animation->setStartValue(std::max(bar->value(), bar->minimum()));
    animation->setEndValue(target);
    QPointer<QProgressBar> guarded = bar;
    QObject::connect(animation, &QVariantAnimation::valueChanged, bar, [guarded](const QVariant& step) {
        if (guarded)
            guarded->setValue(step.toInt());
    });
    QObject::connect(animation, &QAbstractAnimation::finished, animation, [animation] {
        if (slot().animation == animation)
            slot() = {};
        animation->deleteLater();
    });
    running = {animation, guarded, target};
    animation->start();
}
