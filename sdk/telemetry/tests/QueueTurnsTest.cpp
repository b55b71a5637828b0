#include "sdk/telemetry/Internals/Channel/ZEQueueTurns.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <map>
#include <thread>
#include <vector>

namespace ze {
namespace {

struct Item {
    int thread = 0;
    int index = 0;
    bool ran = false;
};

TEST(ZEQueueTurnsTest, EveryItemRunsOnceOnTheQueueBeforeItsCallerGoesOn)
{
    auto queue = std::make_shared<ZESerialQueue>("test.turns");
    std::map<int, std::vector<int>> ranPerThread;
    int offQueue = 0;
    ZEQueueTurns<Item> turns(queue, [&](const std::vector<Item*>& items) {
        for (Item* item : items) {
            offQueue += queue->isCurrent() ? 0 : 1;
            item->ran = true;
            ranPerThread[item->thread].push_back(item->index);
        }
        return std::function<void()>();
    });
    constexpr int kThreads = 8;
    constexpr int kEach = 200;
    std::atomic<int> returnedEarly{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                Item item{t, i};
                turns.run(item);
                returnedEarly += item.ran ? 0 : 1;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(returnedEarly.load(), 0);
    EXPECT_EQ(offQueue, 0);
    ASSERT_EQ(ranPerThread.size(), static_cast<std::size_t>(kThreads));
    std::vector<int> inOrder(kEach);
    for (int i = 0; i < kEach; ++i) {
        inOrder[i] = i;
    }
    for (const auto& [thread, indexes] : ranPerThread) {
        EXPECT_EQ(indexes, inOrder) << "thread " << thread;
    }
}

// A turn's own work may run more: on the queue, that runs at once rather than waiting for the
// turn that holds the queue.
TEST(ZEQueueTurnsTest, ACallOnTheQueueRunsItsTurnThere)
{
    auto queue = std::make_shared<ZESerialQueue>("test.turns");
    std::vector<int> ran;
    ZEQueueTurns<Item>* self = nullptr;
    ZEQueueTurns<Item> turns(queue, [&](const std::vector<Item*>& items) {
        for (Item* item : items) {
            item->ran = true;
            ran.push_back(item->index);
            if (item->index == 1) {
                Item nested{0, 2};
                self->run(nested);
                EXPECT_TRUE(nested.ran);
            }
        }
        return std::function<void()>();
    });
    self = &turns;
    Item fromQueue{0, 0};
    queue->async([&] { turns.run(fromQueue); });
    queue->drain();
    EXPECT_TRUE(fromQueue.ran);
    Item fromCaller{0, 1};
    turns.run(fromCaller);
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));
}

// Work a turn leaves runs on the queue after its callers were let go and before the next turn;
// on the queue itself, right after the turn.
TEST(ZEQueueTurnsTest, WorkLeftByATurnRunsOnTheQueueBeforeTheNextTurn)
{
    auto queue = std::make_shared<ZESerialQueue>("test.turns");
    std::vector<std::string> ran;
    ZEQueueTurns<Item>* self = nullptr;
    ZEQueueTurns<Item> turns(queue, [&](const std::vector<Item*>& items) {
        for (Item* item : items) {
            ran.push_back("turn " + std::to_string(item->index));
        }
        const int index = items.front()->index;
        return std::function<void()>([&, index] {
            EXPECT_TRUE(queue->isCurrent());
            ran.push_back("after " + std::to_string(index));
            if (index == 1) {
                Item nested{0, 2};
                self->run(nested);
            }
        });
    });
    self = &turns;
    Item first{0, 0};
    turns.run(first);
    Item second{0, 1};
    turns.run(second);
    Item third{0, 3};
    turns.run(third);
    EXPECT_EQ(ran, (std::vector<std::string>{"turn 0", "after 0", "turn 1", "after 1", "turn 2", "after 2", "turn 3", "after 3"}));
}

// A turn whose work throws still ends: its leader gets the exception, and the callers who came
// meanwhile are served by a turn of their own rather than waiting for ever.
TEST(ZEQueueTurnsTest, ATurnThatThrowsLetsTheNextCallersGo)
{
    auto queue = std::make_shared<ZESerialQueue>("test.turns");
    std::promise<void> turnStarting;
    std::promise<void> othersCalling;
    auto othersCalled = othersCalling.get_future().share();
    ZEQueueTurns<Item> turns(queue, [&](const std::vector<Item*>& items) {
        for (Item* item : items) {
            if (item->index == 0) {
                turnStarting.set_value();
                // Held until the others are on their way, so that they usually wait for this turn.
                othersCalled.wait();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                throw std::runtime_error("turn failed");
            }
            item->ran = true;
        }
        return std::function<void()>();
    });
    bool thrown = false;
    std::thread leader([&] {
        Item first{0, 0};
        try {
            turns.run(first);
        } catch (const std::runtime_error&) {
            thrown = true;
        }
    });
    // The failing turn is the leader's own: the others call only once it runs.
    turnStarting.get_future().wait();
    std::vector<Item> others(4);
    std::vector<std::thread> callers;
    for (int t = 0; t < 4; ++t) {
        others[t] = Item{t + 1, 1};
        callers.emplace_back([&, t] { turns.run(others[t]); });
    }
    othersCalling.set_value();
    leader.join();
    for (auto& caller : callers) {
        caller.join();
    }
    EXPECT_TRUE(thrown);
    for (const auto& item : others) {
        EXPECT_TRUE(item.ran) << "caller " << item.thread;
    }
}

} // namespace
} // namespace ze
