#include "QtDispatcher.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>

#include <algorithm>
#include <cmath>

namespace qv {
namespace {

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

class QtDispatcher::Waker final : public QObject {
public:
    explicit Waker(QtDispatcher& owner) : owner_(owner) {}
    bool event(QEvent* event) override
    {
        if (event->type() != kWakeEvent)
            return QObject::event(event);
        owner_.wake();
        return true;
    }

private:
    QtDispatcher& owner_;
};

QtDispatcher::QtDispatcher() : waker_(std::make_unique<Waker>(*this))
{
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, waker_.get(), [this] { wake(); });
    // Events that do not come through this queue (keys, clicks, Qt's own timers) end their turn
    // when the loop has handled what is pending and is about to wait for more.
    if (auto* events = QAbstractEventDispatcher::instance(waker_->thread()))
        QObject::connect(events, &QAbstractEventDispatcher::aboutToBlock, waker_.get(),
                         [this] { endTurn(); });
}

QtDispatcher::~QtDispatcher() = default;

void QtDispatcher::async(Task task)
{
    schedule(0, 0, std::move(task));
}

TimerId QtDispatcher::after(double seconds, Task task)
{
    return schedule(std::max(0.0, seconds), 0, std::move(task));
}

TimerId QtDispatcher::every(double interval, Task task)
{
    return schedule(std::max(0.0, interval), interval, std::move(task));
}

TimerId QtDispatcher::schedule(double delay, double interval, Task task)
{
    std::lock_guard lock(mutex_);
    TimerId id = queue_.add(now() + delay, interval, std::move(task));
    // The timer belongs to the main thread, so a wake event re-arms it there.
    postWakeLocked();
    return id;
}

void QtDispatcher::cancel(TimerId id)
{
    std::lock_guard lock(mutex_);
    queue_.cancel(id);
}

double QtDispatcher::now() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - origin_).count();
}

void QtDispatcher::postWakeLocked()
{
    if (wakePosted_)
        return;
    wakePosted_ = true;
    QCoreApplication::postEvent(waker_.get(), new QEvent(kWakeEvent));
}

void QtDispatcher::wake()
{
    Task task;
    {
        std::lock_guard lock(mutex_);
        wakePosted_ = false;
        double clock = now();
        if (auto due = queue_.takeDue(clock, clock))
            task = std::move(due->task);
    }
    // One task per wake, so that input and paint events interleave with a long queue.
    if (task) {
        // A foreign event handled earlier in this pass of the loop ends its turn here, so that
        // its undo registrations do not join this task's.
        endTurn();
        task();
        endTurn();
    }
    arm();
}

void QtDispatcher::arm()
{
    std::lock_guard lock(mutex_);
    auto due = queue_.nextDue();
    if (!due) {
        timer_.stop();
        return;
    }
    double delay = *due - now();
    if (delay <= 0) {
        timer_.stop();
        postWakeLocked();
        return;
    }
    timer_.start(static_cast<int>(std::min(std::ceil(delay * 1000), 2e9)));
}

}  // namespace qv
