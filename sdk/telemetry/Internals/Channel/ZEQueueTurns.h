// Work of several threads run on a serial queue in turns. Callers that arrive while a turn runs
// wait for it together, and the next turn takes up all of their items at once, led by one of them:
// a caller waits for at most the turn under way and its own, however many threads call, rather
// than for each of the other callers in turn (and for the queue's unfair hand-over between them),
// and a turn can serve its items together (in one transaction of a store, say).
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZESerialQueue.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace ze {

template <class Item>
class ZEQueueTurns {
public:
    // `runTurn` runs on the queue with the items of one turn, in the order their callers came.
    ZEQueueTurns(std::shared_ptr<ZESerialQueue> queue, std::function<void(const std::vector<Item*>&)> runTurn)
        : queue_(std::move(queue))
        , runTurn_(std::move(runTurn))
    {
    }

    // Returns once a turn holding `item` has run. On the queue itself, that turn runs at once.
    void run(Item& item)
    {
        if (queue_->isCurrent()) {
            runTurn_({&item});
            return;
        }
        Caller me{&item};
        std::unique_lock lock(mutex_);
        next_.push_back(&me);
        turnEnded_.wait(lock, [&] { return me.done || !turnUnderWay_; });
        if (!me.done) {
            lead(lock);
        }
    }

private:
    struct Caller {
        Item* item;
        bool done = false;
    };

    void lead(std::unique_lock<std::mutex>& lock)
    {
        turnUnderWay_ = true;
        std::vector<Caller*> callers;
        callers.swap(next_);
        lock.unlock();
        // The turn ends whatever its work does, or its callers and everyone after them would wait for ever.
        struct EndTurn {
            ZEQueueTurns& turns;
            const std::vector<Caller*>& callers;
            std::unique_lock<std::mutex>& lock;
            ~EndTurn()
            {
                lock.lock();
                for (Caller* caller : callers) {
                    caller->done = true;
                }
                turns.turnUnderWay_ = false;
                lock.unlock();
                turns.turnEnded_.notify_all();
            }
        } endTurn{*this, callers, lock};
        std::vector<Item*> items;
        items.reserve(callers.size());
        for (const Caller* caller : callers) {
            items.push_back(caller->item);
        }
        queue_->sync([&] { runTurn_(items); });
    }

    std::shared_ptr<ZESerialQueue> queue_;
    std::function<void(const std::vector<Item*>&)> runTurn_;
    std::mutex mutex_;
    std::condition_variable turnEnded_;
    std::vector<Caller*> next_;
    bool turnUnderWay_ = false;
};

} // namespace ze
