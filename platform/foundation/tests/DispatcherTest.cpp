#include "platform/foundation/ManualDispatcher.h"
#include "platform/foundation/WorkQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace qv {
namespace {

TEST(ManualDispatcherTest, RunsTasksInDueTimeThenQueueingOrder)
{
    ManualDispatcher main;
    std::vector<std::string> order;
    main.after(0.1, [&] { order.push_back("after 0.1"); });
    main.after(0.05, [&] { order.push_back("after 0.05"); });
    main.async([&] { order.push_back("async 1"); });
    main.after(0, [&] { order.push_back("after 0"); });
    main.async([&] { order.push_back("async 2"); });

    EXPECT_EQ(main.drain(), 3);
    EXPECT_EQ(order, (std::vector<std::string>{"async 1", "after 0", "async 2"}));
    main.advance(0.05);
    EXPECT_EQ(order.back(), "after 0.05");
    main.advance(0.05);
    EXPECT_EQ(order.back(), "after 0.1");
    EXPECT_EQ(main.pending(), 0u);
}

TEST(ManualDispatcherTest, TasksQueuedWhileRunningRunInTheSameDrainWhenDue)
{
    ManualDispatcher main;
    std::vector<int> order;
    main.async([&] {
        order.push_back(1);
        main.async([&] { order.push_back(3); });
        main.after(0.2, [&] { order.push_back(4); });
    });
    main.async([&] { order.push_back(2); });
    main.drain();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    main.advance(1);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(ManualDispatcherTest, AdvanceSetsTheClockToEachTaskDueTime)
{
    ManualDispatcher main;
    std::vector<double> seen;
    main.after(0.3, [&] { seen.push_back(main.now()); });
    main.after(0.1, [&] { seen.push_back(main.now()); });
    main.advance(1);
    EXPECT_EQ(seen, (std::vector<double>{0.1, 0.3}));
    EXPECT_DOUBLE_EQ(main.now(), 1);
}

TEST(ManualDispatcherTest, RepeatingTimerFiresEachIntervalUntilCancelled)
{
    ManualDispatcher main;
    int fired = 0;
    TimerId timer = main.every(120, [&] { ++fired; });
    main.advance(119);
    EXPECT_EQ(fired, 0);
    main.advance(1);
    EXPECT_EQ(fired, 1);
    main.advance(240);
    EXPECT_EQ(fired, 3);
    main.cancel(timer);
    main.advance(1000);
    EXPECT_EQ(fired, 3);
}

TEST(ManualDispatcherTest, RepeatingTimerMayCancelItself)
{
    ManualDispatcher main;
    int fired = 0;
    TimerId timer = 0;
    timer = main.every(1, [&] {
        if (++fired == 2)
            main.cancel(timer);
    });
    main.advance(10);
    EXPECT_EQ(fired, 2);
}

TEST(ManualDispatcherTest, BadDelaysFallDueNowBehindWhatIsQueued)
{
    ManualDispatcher main;
    std::vector<std::string> order;
    main.async([&] { order.push_back("queued"); });
    main.after(-5, [&] { order.push_back("after -5"); });
    main.every(-1, [&] { order.push_back("every -1"); });
    main.every(std::nan(""), [&] { order.push_back("every NaN"); });
    main.after(std::nan(""), [&] { order.push_back("after NaN"); });
    main.async([&] { order.push_back("last"); });
    main.drain();
    EXPECT_EQ(order, (std::vector<std::string>{"queued", "after -5", "every -1", "every NaN",
                                               "after NaN", "last"}));
    // Without a positive interval a timer cannot repeat; it ran once, as on the Qt queue.
    main.advance(10);
    EXPECT_EQ(order.size(), 6u);
    EXPECT_EQ(main.pending(), 0u);
}

TEST(ManualDispatcherTest, CancelledOneShotNeverRuns)
{
    ManualDispatcher main;
    bool ran = false;
    TimerId id = main.after(0.5, [&] { ran = true; });
    main.cancel(id);
    main.cancel(9999);
    main.advance(1);
    EXPECT_FALSE(ran);
}

TEST(ManualDispatcherTest, TurnEndObserversRunBeforeTheQueueRunsAndAfterEveryTask)
{
    ManualDispatcher main;
    std::vector<std::string> trace;
    main.addTurnEndObserver([&] { trace.push_back("end"); });
    main.async([&] { trace.push_back("a"); });
    main.after(0.1, [&] { trace.push_back("b"); });
    main.advance(0.1);
    EXPECT_EQ(trace, (std::vector<std::string>{"end", "a", "end", "b", "end"}));
}

TEST(WorkQueueTest, SerialQueueRunsInOrderAndHandsResultsToTheMainQueue)
{
    ManualDispatcher main;
    SerialQueue queue("test serialization queue");
    std::vector<int> results;
    for (int i = 0; i < 20; ++i)
        queue.run(main, [i] { return i * i; }, [&](int value) { results.push_back(value); });
    ASSERT_TRUE(main.runUntil([&] { return results.size() == 20; }));
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(results[i], i * i);
}

TEST(WorkerPoolTest, NeverRunsMoreThanEightAtOnce)
{
    WorkerPool pool("waveforms", 32);
    EXPECT_EQ(pool.threadCount(), 8);
    std::atomic<int> running{0};
    std::atomic<int> peak{0};
    std::atomic<int> done{0};
    for (int i = 0; i < 64; ++i) {
        pool.run([&] {
            int now = ++running;
            int seen = peak.load();
            while (now > seen && !peak.compare_exchange_weak(seen, now)) {
            }
            std::this_thread::yield();
            --running;
            ++done;
        });
    }
    pool.wait();
    EXPECT_EQ(done.load(), 64);
    EXPECT_LE(peak.load(), 8);
}

TEST(WorkerPoolTest, CancelPendingDropsTasksNotYetStarted)
{
    WorkerPool pool("pool", 1);
    std::atomic<bool> release{false};
    std::atomic<bool> started{false};
    std::atomic<int> ran{0};
    pool.run([&] {
        started = true;
        while (!release)
            std::this_thread::yield();
        ++ran;
    });
    for (int i = 0; i < 10; ++i)
        pool.run([&] { ++ran; });
    while (!started)
        std::this_thread::yield();
    pool.cancelPending();
    release = true;
    pool.wait();
    EXPECT_EQ(ran.load(), 1);
}

}  // namespace
}  // namespace qv
