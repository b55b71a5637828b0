#include "ZavEdurov/ZavEdurov/Internals/Util/Platform/ZESerialQueue.h"

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

struct ZESerialQueue::State {
    struct Timer {
        std::function<void()> task;
        std::chrono::milliseconds interval{0};
        std::shared_ptr<std::atomic<bool>> cancelled;
    };

    std::string label;
    std::shared_ptr<ZEClock> clock;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    // `sync` callers waiting for the queue, woken one at a time whenever it comes free: waking
    // them all would have every one but the first go back to sleep.
    std::condition_variable turn;
    std::deque<std::function<void()>> tasks;
    std::multimap<ZEDate, Timer> timers;
    bool running = false;
    bool stopping = false;
    std::thread::id workerId;
    // The thread running a `sync` task in the queue's place, if any.
    std::atomic<std::thread::id> borrower{};
    std::thread worker;
    int clockToken = 0;

    // Moves the timers due at the clock's present time into the task list, in deadline order.
    void promoteDueTimers()
    {
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
                    idle.notify_all();
                    turn.notify_one();
                }
                continue;
            }
            idle.notify_all();
            if (tasks.empty() && !running) {
                turn.notify_one();
            }
            if (stopping) {
                return;
            }
            if (timers.empty() || clock->isManual()) {
                wake.wait(lock);
            } else {
                const auto wait = timers.begin()->first - clock->now();
                wake.wait_for(lock, wait);
            }
        }
    }

    ZETimer schedule(ZEDate deadline, std::chrono::milliseconds interval, std::function<void()> task)
    {
        ZETimer handle;
        handle.cancelled_ = std::make_shared<std::atomic<bool>>(false);
        {
            std::lock_guard lock(mutex);
            timers.emplace(deadline, Timer{std::move(task), interval, handle.cancelled_});
        }
        wake.notify_all();
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
            {
                std::lock_guard lock(state->mutex);
                state->promoteDueTimers();
            }
            state->wake.notify_all();
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
    {
        std::lock_guard lock(state_->mutex);
        state_->tasks.push_back(std::move(task));
    }
    state_->wake.notify_all();
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
    // Once everything queued before has run, the task runs here, on the calling thread, with the
    // queue held: serial as if the worker ran it, without handing it to the worker and back.
    {
        std::unique_lock lock(state_->mutex);
        state_->wake.notify_all();
        state_->turn.wait(lock, [&] {
            state_->promoteDueTimers();
            return state_->tasks.empty() && !state_->running;
        });
        state_->running = true;
        state_->borrower = std::this_thread::get_id();
    }
    const auto release = [this] {
        {
            std::lock_guard lock(state_->mutex);
            state_->running = false;
            state_->borrower = std::thread::id();
        }
        state_->wake.notify_all();
        state_->idle.notify_all();
        state_->turn.notify_one();
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
    std::unique_lock lock(state_->mutex);
    state_->promoteDueTimers();
    state_->wake.notify_all();
    state_->idle.wait(lock, [&] { return state_->tasks.empty() && !state_->running; });
}

bool ZESerialQueue::isCurrent() const
{
    const auto self = std::this_thread::get_id();
    return self == state_->workerId || self == state_->borrower.load();
}

} // namespace ze
