// The application's main queue over the Qt event loop. Create it on the main thread after the
// QCoreApplication; it must outlive every thread that posts to it. Its turn ends after each
// task it runs and after each event the main loop hands out (keys, clicks, queued calls, Qt's
// own timers), so that every user action is one undo step.
#pragma once

#include "Dispatcher.h"
#include "TimerQueue.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>
#include <mutex>

namespace qv {

class QtDispatcher final : public Dispatcher {
public:
    QtDispatcher();
    ~QtDispatcher() override;
    QtDispatcher(const QtDispatcher&) = delete;
    QtDispatcher& operator=(const QtDispatcher&) = delete;

    void async(Task task) override;
    TimerId after(double seconds, Task task) override;
    TimerId every(double interval, Task task) override;
    void cancel(TimerId id) override;
    double now() const override;

private:
    class Waker;

    static bool deliverOneTurn(void** data);
    TimerId schedule(double delay, double interval, Task task);
    // Main thread: runs the earliest task if it is due, then arms for the next.
    void wake();
    void arm();
    void postWakeLocked();

    const std::chrono::steady_clock::time_point origin_ = std::chrono::steady_clock::now();
    std::unique_ptr<Waker> waker_;  // receives the wake events, lives on the main thread
    QTimer timer_;                  // fires when the earliest future entry falls due
    mutable std::mutex mutex_;
    TimerQueue queue_;
    bool wakePosted_ = false;
};

}  // namespace qv
