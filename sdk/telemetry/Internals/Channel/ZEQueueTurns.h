// Work of several threads run on a serial queue in turns. Callers that arrive while a turn runs
// wait for it together, and the next turn takes up all of their items at once, led by one of them:
// a caller waits for at most the turn under way and its own, however many threads call, rather
// than for each of the other callers in turn (and for the queue's unfair hand-over between them),
// and a turn can serve its items together (in one transaction of a store, say).
//
// A turn may leave work for the queue to run once its callers are let go (a batch to send, say):
// the next turn still waits for it, the callers of this one do not.
//
// Each waiting caller sleeps on a word of its own, which the turn that serves it sets: waking
// them through one condition variable had every woken caller take the turns' mutex again, one
// after the other, so that the last of them woke a chain of hand-overs after its turn ended.
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZESerialQueue.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace ze {

template <class Item>
class ZEQueueTurns {
public:
    // Runs on the queue with the items of one turn, in the order their callers came; answers the
    // work left for after the turn, if any.
    using RunTurn = std::function<std::function<void()>(const std::vector<Item*>&)>;

    ZEQueueTurns(std::shared_ptr<ZESerialQueue> queue, RunTurn runTurn)
        : queue_(std::move(queue))
        , runTurn_(std::move(runTurn))
    {
    }

    // Returns once a turn holding `item` has run. On the queue itself, that turn runs at once.
    void run(Item& item)
    {
        if (queue_->isCurrent()) {
            if (const auto after = runTurn_({&item})) {
                after();
            }
            return;
        }
        // Shared with the turn that serves it, which may still be waking it when it returns.
        auto me = std::make_shared<Caller>(&item);
        bool leadNow = false;
        {
            std::lock_guard lock(mutex_);
            next_.push_back(me);
            leadNow = !turnUnderWay_;
            turnUnderWay_ = true;
        }
        if (!leadNow) {
            int state = kWaiting;
            while ((state = me->state.load(std::memory_order_acquire)) == kWaiting) {
                me->state.wait(kWaiting, std::memory_order_acquire);
            }
            if (state == kServed) {
                return;
            }
        }
        lead();
    }

private:
    static constexpr int kWaiting = 0;
    static constexpr int kServed = 1;
    static constexpr int kLeading = 2;

    struct Caller {
        explicit Caller(Item* it)
            : item(it)
        {
        }
        Item* item;
        std::atomic<int> state{kWaiting};
    };
    using Callers = std::vector<std::shared_ptr<Caller>>;

    // Runs one turn for every caller waiting now, this one among them.
    void lead()
    {
        Callers callers;
        {
            std::lock_guard lock(mutex_);
            callers.swap(next_);
        }
        // The turn ends whatever its work does, or its callers and everyone after them would wait for ever.
        bool released = false;
        struct EndTurn {
            ZEQueueTurns& turns;
            const Callers& callers;
            const bool& released;
            ~EndTurn()
            {
                if (!released) {
                    release(callers);
                }
                turns.handOver();
            }
        } endTurn{*this, callers, released};
        std::vector<Item*> items;
        items.reserve(callers.size());
        for (const auto& caller : callers) {
            items.push_back(caller->item);
        }
        queue_->sync([&] {
            const auto after = runTurn_(items);
            release(callers);
            released = true;
            if (after) {
                after();
            }
        });
    }

    static void release(const Callers& served)
    {
        for (const auto& caller : served) {
            wake(*caller, kServed);
        }
    }

    // Hands the next turn to the first caller who came meanwhile, if any.
    void handOver()
    {
        std::shared_ptr<Caller> nextLeader;
        {
            std::lock_guard lock(mutex_);
            if (next_.empty()) {
                turnUnderWay_ = false;
            } else {
                nextLeader = next_.front();
            }
        }
        if (nextLeader) {
            wake(*nextLeader, kLeading);
        }
    }

    static void wake(Caller& caller, int state)
    {
        caller.state.store(state, std::memory_order_release);
        caller.state.notify_one();
    }

    std::shared_ptr<ZESerialQueue> queue_;
    RunTurn runTurn_;
    std::mutex mutex_;
    Callers next_;
    bool turnUnderWay_ = false;
};

} // namespace ze
