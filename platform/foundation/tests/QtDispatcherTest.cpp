#include "platform/foundation/QtDispatcher.h"
#include "platform/foundation/UndoManager.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace qv {
namespace {

class QtDispatcherTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "qv_foundation_tests";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }

    // Runs the event loop until `done` holds; false when 10 s pass first.
    static bool spinUntil(const std::function<bool()>& done)
    {
        bool expired = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] { expired = true; });
        guard.start(10000);
        while (!done() && !expired)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return done();
    }

    QtDispatcher main;
};

TEST_F(QtDispatcherTest, RunsTasksInTheOrderTheyFallDue)
{
    std::vector<std::string> order;
    double start = main.now();
    double ranAt = 0;
    main.after(0.1, [&] {
        order.push_back("after 0.1");
        ranAt = main.now();
    });
    main.after(0.05, [&] { order.push_back("after 0.05"); });
    main.async([&] { order.push_back("async 1"); });
    main.after(0, [&] { order.push_back("after 0"); });
    main.async([&] { order.push_back("async 2"); });

    ASSERT_TRUE(spinUntil([&] { return order.size() == 5; }));
    EXPECT_EQ(order, (std::vector<std::string>{"async 1", "after 0", "async 2", "after 0.05",
                                               "after 0.1"}));
    EXPECT_GE(ranAt - start, 0.1);
}

TEST_F(QtDispatcherTest, TasksFromWorkersRunOnTheMainThreadInTheirOrder)
{
    constexpr int kThreads = 4;
    constexpr int kTasks = 200;
    std::vector<std::vector<int>> seen(kThreads);
    std::atomic<int> offMain{0};
    int done = 0;
    QThread* mainThread = QThread::currentThread();
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < kTasks; ++i) {
                auto record = [&, t, i] {
                    if (QThread::currentThread() != mainThread)
                        ++offMain;
                    seen[t].push_back(i);
                    ++done;
                };
                if (i % 2 == 0)
                    main.async(record);
                else
                    main.after(0, record);
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    ASSERT_TRUE(spinUntil([&] { return done == kThreads * kTasks; }));
    EXPECT_EQ(offMain.load(), 0);
    for (const auto& list : seen)
        EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
}

TEST_F(QtDispatcherTest, RepeatingTimerRunsUntilCancelledAndCancelledTimersDoNotRun)
{
    int ticks = 0;
    bool cancelledRan = false;
    bool finished = false;
    TimerId repeating = 0;
    repeating = main.every(0.001, [&] {
        if (++ticks == 3)
            main.cancel(repeating);
    });
    TimerId cancelled = main.after(0.005, [&] { cancelledRan = true; });
    main.cancel(cancelled);
    main.cancel(12345);

    // Wall-clock timers: a stalled machine may delay any of them, so wait for the ticks first
    // and only then give a cancelled timer the chance to fire again.
    ASSERT_TRUE(spinUntil([&] { return ticks == 3; }));
    main.after(0.02, [&] { finished = true; });
    ASSERT_TRUE(spinUntil([&] { return finished; }));
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(cancelledRan);
}

TEST_F(QtDispatcherTest, EachTaskAndEachForeignEventEndsAnUndoStep)
{
    UndoManager undo(main);
    std::vector<std::string> undone;
    auto edit = [&](std::string name) {
        undo.registerUndo([&undone, name] { undone.push_back(name); });
    };
    // Two tasks queued together still make two steps.
    bool ran = false;
    main.async([&] { edit("task 1"); });
    main.async([&] {
        edit("task 2");
        ran = true;
    });
    ASSERT_TRUE(spinUntil([&] { return ran; }));

    // Qt events that do not pass through the dispatcher, like key presses in a widget: one
    // queues a task while it is handled, another starts a timer of its own.
    ran = false;
    QTimer::singleShot(0, [&] {
        edit("foreign 1");
        main.async([&] {
            edit("task 3");
            ran = true;
        });
    });
    ASSERT_TRUE(spinUntil([&] { return ran; }));
    ran = false;
    QTimer::singleShot(0, [&] {
        edit("foreign 2");
        QTimer::singleShot(1, [&] {
            edit("foreign 3");
            ran = true;
        });
    });
    ASSERT_TRUE(spinUntil([&] { return ran; }));

    std::vector<std::vector<std::string>> steps;
    while (undo.canUndo()) {
        undone.clear();
        undo.undo();
        steps.push_back(undone);
    }
    EXPECT_EQ(steps, (std::vector<std::vector<std::string>>{
                         {"foreign 3"}, {"foreign 2"}, {"task 3"}, {"foreign 1"}, {"task 2"},
                         {"task 1"}}));
}

// Handles the events of one type by running what it was given, like a widget handling input.
class Receiver : public QObject {
public:
    static inline const QEvent::Type kAction = static_cast<QEvent::Type>(QEvent::registerEventType());
    explicit Receiver(std::function<void()> handle) : handle_(std::move(handle)) {}
    bool event(QEvent* event) override
    {
        if (event->type() != kAction)
            return QObject::event(event);
        handle_();
        return true;
    }

private:
    std::function<void()> handle_;
};

TEST_F(QtDispatcherTest, EventsHandledInOnePassOfTheLoopAreStepsOfTheirOwn)
{
    UndoManager undo(main);
    std::vector<std::string> undone;
    auto edit = [&](std::string name) { undo.registerUndo([&undone, name] { undone.push_back(name); }); };
    int handled = 0;
    // An event sent while another is handled belongs to the one being handled.
    Receiver nested([&] { edit("nested in first"); });
    Receiver first([&] {
        edit("first");
        QEvent inner(Receiver::kAction);
        QCoreApplication::sendEvent(&nested, &inner);
        edit("first again");
        ++handled;
    });
    Receiver second([&] {
        edit("second");
        ++handled;
    });
    QCoreApplication::postEvent(&first, new QEvent(Receiver::kAction));
    QCoreApplication::postEvent(&second, new QEvent(Receiver::kAction));
    ASSERT_TRUE(spinUntil([&] { return handled == 2; }));

    undo.undo();
    EXPECT_EQ(undone, std::vector<std::string>{"second"});
    undone.clear();
    undo.undo();
    EXPECT_EQ(undone, (std::vector<std::string>{"first again", "nested in first", "first"}));
    EXPECT_FALSE(undo.canUndo());
}

TEST_F(QtDispatcherTest, ClockIsMonotonic)
{
    double previous = main.now();
    for (int i = 0; i < 1000; ++i) {
        double current = main.now();
        ASSERT_GE(current, previous);
        previous = current;
    }
}

}  // namespace
}  // namespace qv
