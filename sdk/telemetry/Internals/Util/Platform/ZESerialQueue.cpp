#include "sdk/telemetry/Internals/Util/Platform/ZESerialQueue.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace ze {

void ZETimer::cancel()
{
    if (cancelled_) {
        cancelled_->store(true);
    }
}

bool ZETimer::isCancelled() const
{
    return !cancelled_ || cancelled_->load();
}

// Every wake-up costs a system call and a context switch, and a thread woken for nothing competes
// for the mutex with the ones doing the work. So each condition variable is signalled only when
// someone waits on it for the change at hand: the worker only when it has something it can run
// or a nearer deadline to sleep to, `sync` and `drain` callers only when the queue comes free.
struct ZESerialQueue::State {
    struct Timer {
        std::function<void()> task;
        std::chrono::milliseconds interval{0};
        std::shared_ptr<std::atomic<bool>> cancelled;
    };

    // Below this many timers, cancelled ones are left for the worker to drop as they come due.
    static constexpr std::size_t kMinimumTimersToSweep = 64;

    std::string label;
    std::shared_ptr<ZEClock> clock;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    // `sync` callers waiting for the queue, woken one at a time whenever it comes free: waking
    // them all would have every one but the first go back to sleep. While one woken caller is on
    // its way, the others are left asleep: a queue taken by someone else meanwhile is handed on
    // by that one in turn.
    std::condition_variable turn;
    bool turnSignalled = false;
    std::deque<std::function<void()>> tasks;
    std::multimap<ZEDate, Timer> timers;
    std::size_t sweepAt = kMinimumTimersToSweep;
    bool running = false;
    bool stopping = false;
    // Whether the worker waits on `wake` and nobody has signalled it yet, and until when.
    bool workerAsleep = false;
    ZEDate workerUntil = ZEDate::max();
    int syncWaiters = 0;
    int drainWaiters = 0;
    std::thread::id workerId;
    // The thread running a `sync` task in the queue's place, if any.
    std::atomic<std::thread::id> borrower{};
    std::thread worker;
    int clockToken = 0;

    bool isFree() const { return tasks.empty() && !running; }

    // Moves the timers due at the clock's present time into the task list, in deadline order.
    void promoteDueTimers()
    {
        if (timers.empty()) {
            return;
        }
        const ZEDate now = clock->now();
        while (!timers.empty() && timers.begin()->first <= now) {
            auto node = timers.extract(timers.begin());
            Timer& timer = node.mapped();
            if (timer.cancelled->load()) {
                continue;
            }
            tasks.push_back([task = timer.task, cancelled = timer.cancelled] {
                if (!cancelled->load()) {
                    task();
                }
            });
            if (timer.interval.count() > 0) {
                ZEDate next = node.key() + timer.interval;
                while (next <= now) {
                    next += timer.interval;
                }
                node.key() = next;
                timers.insert(std::move(node));
            }
        }
    }

    // With the mutex held: answers whether the sleeping worker must be signalled because it has
    // a task it can run or must stop, and counts it as signalled.
    bool claimWorkerWake()
    {
        if (!workerAsleep || !(stopping || (!tasks.empty() && !running))) {
            return false;
        }
        workerAsleep = false;
        return true;
    }

    // With the mutex held: takes up the due timers and signals the worker when they, or tasks
    // queued earlier, wait for it. For those who are about to wait for the queue themselves.
    void promoteAndWakeWorker()
    {
        promoteDueTimers();
        if (claimWorkerWake()) {
            wake.notify_one();
        }
    }

    // With the mutex held, the queue having just come free: lets its waiters know.
    void announceFree()
    {
        if (drainWaiters > 0) {
            idle.notify_all();
        }
        if (claimTurnWake()) {
            turn.notify_one();
        }
    }

    // With the mutex held: answers whether a waiting `sync` caller must be signalled, none having
    // been yet, and counts it as signalled.
    bool claimTurnWake()
    {
        if (syncWaiters == 0 || turnSignalled) {
            return false;
        }
        turnSignalled = true;
        return true;
    }

    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            promoteDueTimers();
            if (!tasks.empty() && !running) {
                auto task = std::move(tasks.front());
                tasks.pop_front();
                running = true;
                lock.unlock();
                task();
                lock.lock();
                running = false;
                if (tasks.empty()) {
                    announceFree();
                }
                continue;
            }
            if (stopping) {
                return;
            }
            // Cancelled timers would only wake the worker to drop them.
            while (!timers.empty() && timers.begin()->second.cancelled->load()) {
                timers.erase(timers.begin());
            }
            workerAsleep = true;
            if (timers.empty() || clock->isManual()) {
                workerUntil = ZEDate::max();
                wake.wait(lock);
            } else {
                workerUntil = timers.begin()->first;
                wake.wait_for(lock, workerUntil - clock->now());
            }
            workerAsleep = false;
        }
    }

    ZETimer schedule(ZEDate deadline, std::chrono::milliseconds interval, std::function<void()> task)
    {
        ZETimer handle;
        handle.cancelled_ = std::make_shared<std::atomic<bool>>(false);
        bool wakeWorker = false;
        {
            std::lock_guard lock(mutex);
            if (timers.size() >= sweepAt) {
                std::erase_if(timers, [](const auto& entry) { return entry.second.cancelled->load(); });
                sweepAt = std::max(kMinimumTimersToSweep, 2 * timers.size());
            }
            timers.emplace(deadline, Timer{std::move(task), interval, handle.cancelled_});
            promoteDueTimers();
            wakeWorker = claimWorkerWake();
            // A worker sleeping to a later deadline, or for good, must sleep to this one instead.
            if (!wakeWorker && workerAsleep && !clock->isManual() && deadline < workerUntil) {
                workerAsleep = false;
                wakeWorker = true;
            }
        }
        if (wakeWorker) {
            wake.notify_one();
        }
        return handle;
    }
};

ZESerialQueue::ZESerialQueue(std::string label, std::shared_ptr<ZEClock> clock)
    : state_(std::make_shared<State>())
{
    state_->label = std::move(label);
    state_->clock = std::move(clock);
    std::weak_ptr<State> weak = state_;
    state_->clockToken = state_->clock->addObserver([weak] {
        if (auto state = weak.lock()) {
            std::lock_guard lock(state->mutex);
            state->promoteAndWakeWorker();
        }
    });
    state_->worker = std::thread([state = state_] { state->run(); });
    state_->workerId = state_->worker.get_id();
}

ZESerialQueue::~ZESerialQueue()
{
    state_->clock->removeObserver(state_->clockToken);
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        state_->timers.clear();
    }
    state_->wake.notify_all();
    if (isCurrent()) {
        state_->worker.detach();
    } else {
        state_->worker.join();
    }
}

const std::string& ZESerialQueue::label() const
{
    return state_->label;
}

const std::shared_ptr<ZEClock>& ZESerialQueue::clock() const
{
    return state_->clock;
}

void ZESerialQueue::async(std::function<void()> task)
{
    bool wakeWorker = false;
    {
        std::lock_guard lock(state_->mutex);
        state_->tasks.push_back(std::move(task));
        wakeWorker = state_->claimWorkerWake();
    }
    if (wakeWorker) {
        state_->wake.notify_one();
    }
}

ZETimer ZESerialQueue::at(ZEDate deadline, std::function<void()> task)
{
    return state_->schedule(deadline, std::chrono::milliseconds(0), std::move(task));
}

ZETimer ZESerialQueue::after(std::chrono::milliseconds delay, std::function<void()> task)
{
    return at(state_->clock->now() + delay, std::move(task));
}

ZETimer ZESerialQueue::every(std::chrono::milliseconds interval, std::function<void()> task)
{
    if (interval.count() <= 0) {
        interval = std::chrono::milliseconds(1);
    }
    return state_->schedule(state_->clock->now() + interval, interval, std::move(task));
}

void ZESerialQueue::sync(const std::function<void()>& task)
{
    if (isCurrent()) {
        task();
        return;
    }
    State& state = *state_;
    // Once everything queued before has run, the task runs here, on the calling thread, with the
    // queue held: serial as if the worker ran it, without handing it to the worker and back.
    {
        std::unique_lock lock(state.mutex);
        state.promoteAndWakeWorker();
        if (!state.isFree()) {
            ++state.syncWaiters;
            do {
                state.turn.wait(lock);
                state.turnSignalled = false;
                state.promoteAndWakeWorker();
            } while (!state.isFree());
            --state.syncWaiters;
        }
        state.running = true;
        state.borrower = std::this_thread::get_id();
    }
    // Handing the queue back signals nobody who has nothing to do with it: the worker only for
    // tasks queued meanwhile (timers scheduled meanwhile signalled it themselves if they had to).
    const auto release = [&state] {
        bool wakeWorker = false;
        bool wakeIdle = false;
        bool wakeTurn = false;
        {
            std::lock_guard lock(state.mutex);
            state.running = false;
            state.borrower = std::thread::id();
            wakeWorker = state.claimWorkerWake();
            if (state.tasks.empty()) {
                wakeIdle = state.drainWaiters > 0;
                wakeTurn = state.claimTurnWake();
            }
        }
        if (wakeWorker) {
            state.wake.notify_one();
        }
        if (wakeIdle) {
            state.idle.notify_all();
        }
        if (wakeTurn) {
            state.turn.notify_one();
        }
    };
    try {
        task();
    } catch (...) {
        release();
        throw;
    }
    release();
}

bool ZESerialQueue::syncWithTimeout(std::chrono::milliseconds timeout, std::function<void()> task)
{
    struct Done {
        std::mutex mutex;
        std::condition_variable signal;
        bool finished = false;
    };
    // On the queue itself the task cannot start before the current one ends: waiting for it
    // would only use up the time-out, or never end.
    if (isCurrent()) {
        async(std::move(task));
        return false;
    }
    auto done = std::make_shared<Done>();
    async([done, task = std::move(task)] {
        task();
        std::lock_guard lock(done->mutex);
        done->finished = true;
        done->signal.notify_all();
    });
    std::unique_lock lock(done->mutex);
    if (timeout == std::chrono::milliseconds::max()) {
        done->signal.wait(lock, [&] { return done->finished; });
        return true;
    }
    return done->signal.wait_for(lock, timeout, [&] { return done->finished; });
}

void ZESerialQueue::drain()
{
    if (isCurrent()) {
        return;
    }
    State& state = *state_;
    std::unique_lock lock(state.mutex);
    state.promoteAndWakeWorker();
    if (!state.isFree()) {
        ++state.drainWaiters;
        state.idle.wait(lock, [&] { return state.isFree(); });
        --state.drainWaiters;
    }
}

bool ZESerialQueue::isCurrent() const
{
    const auto self = std::this_thread::get_id();
    return self == state_->workerId || self == state_->borrower.load();
}

} // namespace ze
