// Waiting in a test on the real Qt event loop, where network replies, timers and queued work
// arrive: the loop runs in short turns until a condition holds or a deadline passes.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace qv::test {

// Seconds a wait may take before the test fails.
inline constexpr double kWaitDeadline = 30;

// True once `done` holds; false when `seconds` passed first.
inline bool waitFor(const std::function<bool()>& done, double seconds = kWaitDeadline)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > seconds * 1000)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

}  // namespace qv::test
