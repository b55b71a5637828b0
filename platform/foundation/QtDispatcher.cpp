#include "QtDispatcher.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <vector>

namespace qv {
namespace {

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kRelayEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// An event of the main thread on its way to its receiver through the relay.
struct RelayedEvent final : QEvent {
    RelayedEvent(QObject* receiver, QEvent* event) : QEvent(kRelayEvent), receiver(receiver), event(event) {}
    QObject* receiver;
    QEvent* event;
    bool result = false;
};

// Hands each relayed event to the application, which delivers it as usual (filters, parents,
// whether it came from the window system). The relay's own delivery counts as the event's
// scope, so that deleteLater() and nested loops inside the handler behave as without it.
class Relay final : public QObject {
public:
    bool event(QEvent* event) override
    {
        if (event->type() != kRelayEvent)
            return QObject::event(event);
        auto* relayed = static_cast<RelayedEvent*>(event);
        relayed->result = QCoreApplication::instance()->notify(relayed->receiver, relayed->event);
        return true;
    }
};

// The dispatchers of the main thread, and how deep the main thread is in delivering events.
std::vector<QtDispatcher*> dispatchers;
int deliveryDepth = 0;
Relay* relay = nullptr;

}  // namespace

// Called by Qt before every event is delivered, on the thread that delivers it. An event that
// the main thread's loop hands out (not one sent while another is handled) is delivered through
// the relay, and every dispatcher's turn ends once it has been handled: one user action, one
// undo step, however many events the loop handles in one pass.
bool QtDispatcher::deliverOneTurn(void** data)
{
    auto* receiver = static_cast<QObject*>(data[0]);
    auto* event = static_cast<QEvent*>(data[1]);
    auto* application = QCoreApplication::instance();
    if (!application || QThread::currentThread() != application->thread())
        return false;
    if (deliveryDepth > 0 || !relay || !receiver || !event)
        return false;
    ++deliveryDepth;
    RelayedEvent relayed(receiver, event);
    QCoreApplication::sendEvent(relay, &relayed);
    --deliveryDepth;
    for (std::size_t i = 0; i < dispatchers.size(); ++i)
        dispatchers[i]->endTurn();
    *static_cast<bool*>(data[2]) = relayed.result;
    return true;
}

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
    if (dispatchers.empty()) {
        relay = new Relay;
        QInternal::registerCallback(QInternal::EventNotifyCallback, &QtDispatcher::deliverOneTurn);
    }
    dispatchers.push_back(this);
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, waker_.get(), [this] { wake(); });
    // Events handled inside a nested loop (a modal dialog's) end their turn when that loop has
    // handled what is pending and is about to wait for more.
    if (auto* events = QAbstractEventDispatcher::instance(waker_->thread()))
        QObject::connect(events, &QAbstractEventDispatcher::aboutToBlock, waker_.get(),
                         [this] { endTurn(); });
}

QtDispatcher::~QtDispatcher()
{
    dispatchers.erase(std::find(dispatchers.begin(), dispatchers.end(), this));
    if (dispatchers.empty()) {
        QInternal::unregisterCallback(QInternal::EventNotifyCallback, &QtDispatcher::deliverOneTurn);
        // Destroyed by a handler: the relay is still delivering that handler's event.
        if (deliveryDepth > 0)
            relay->deleteLater();
        else
            delete relay;
        relay = nullptr;
    }
}

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
