#include "sdk/crash-engine/linux/ThreadControl.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <linux/futex.h>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

enum Phase : int32_t {
    kIdle = 0,
    kRequested = 1,
    kCapturing = 2,
    kParked = 3,
    kReleased = 4,
    kAbandoned = 5,
};

struct Slot {
    std::atomic<pid_t> thread{0};
    std::atomic<int32_t> phase{kIdle};
    cecrash_async_thread_state state;
};

Slot g_slots[CECRASH_MAX_THREADS];
std::atomic<uint32_t> g_slotCount{0};
std::atomic<bool> g_busy{false};
int g_suspendSignal = 0;

static_assert(sizeof(std::atomic<int32_t>) == sizeof(int32_t));

// Async-signal-safe.
void futexWait(std::atomic<int32_t>* word, int32_t expected, int64_t timeoutNs)
{
    timespec timeout{static_cast<time_t>(timeoutNs / 1'000'000'000), static_cast<long>(timeoutNs % 1'000'000'000)};
    syscall(SYS_futex, reinterpret_cast<int32_t*>(word), FUTEX_WAIT_PRIVATE, expected, timeoutNs >= 0 ? &timeout : nullptr,
            nullptr, 0);
}

// Async-signal-safe.
void futexWake(std::atomic<int32_t>* word)
{
    syscall(SYS_futex, reinterpret_cast<int32_t*>(word), FUTEX_WAKE_PRIVATE, INT32_MAX, nullptr, nullptr, 0);
}

// Async-signal-safe.
int64_t nowNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Async-signal-safe.
// Runs on the thread being suspended: keeps its context and waits for release.
void onSuspendSignal(int, siginfo_t*, void* context)
{
    const int savedErrno = errno;
    const pid_t self = cecrash_async_current_thread();
    const uint32_t count = g_slotCount.load();
    for (uint32_t i = 0; i < count; ++i) {
        Slot& slot = g_slots[i];
        if (slot.thread.load() != self)
            continue;
        int32_t expected = kRequested;
        if (!slot.phase.compare_exchange_strong(expected, kCapturing))
            break;
        cecrash_async_thread_state_mcontext_init(&slot.state, &static_cast<ucontext_t*>(context)->uc_mcontext);
        slot.phase.store(kParked);
        futexWake(&slot.phase);
        while (slot.phase.load() == kParked)
            futexWait(&slot.phase, kParked, -1);
        slot.phase.store(kIdle);
        futexWake(&slot.phase);
        break;
    }
    errno = savedErrno;
}

// Async-signal-safe.
// Waits while the slot's phase is `from`, up to the deadline; answers the phase seen last.
int32_t waitWhile(Slot& slot, int32_t from, int64_t deadline)
{
    int32_t phase = slot.phase.load();
    while (phase == from) {
        const int64_t remaining = deadline - nowNs();
        if (remaining <= 0)
            break;
        futexWait(&slot.phase, from, remaining);
        phase = slot.phase.load();
    }
    return phase;
}

}  // namespace

void cecrash_thread_control_prepare()
{
    static std::once_flag once;
    std::call_once(once, [] {
        g_suspendSignal = SIGRTMAX - 1;
        struct sigaction action {};
        action.sa_sigaction = onSuspendSignal;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        // Nothing else runs on a parked thread.
        sigfillset(&action.sa_mask);
        sigaction(g_suspendSignal, &action, nullptr);
    });
}

cecrash_thread_t cecrash_async_current_thread()
{
    return static_cast<pid_t>(syscall(SYS_gettid));
}

bool cecrash_async_thread_list(cecrash_thread_list* list)
{
    list->count = 0;
    const int directory = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0)
        return false;
    alignas(8) char buffer[2048];
    for (;;) {
        const long got = syscall(SYS_getdents64, directory, buffer, sizeof(buffer));
        if (got <= 0)
            break;
        for (long at = 0; at < got;) {
            // struct linux_dirent64: inode (8), offset (8), record length (2), type (1), name.
            uint16_t recordLength = 0;
            cecrash_async_copy_bytes(&recordLength, buffer + at + 16, sizeof(recordLength));
            const char* name = buffer + at + 19;
            pid_t thread = 0;
            bool numeric = name[0] != '\0';
            for (const char* c = name; *c != '\0'; ++c) {
                numeric = numeric && *c >= '0' && *c <= '9';
                thread = thread * 10 + (*c - '0');
            }
            if (numeric && list->count < CECRASH_MAX_THREADS)
                list->threads[list->count++] = thread;
            at += recordLength;
        }
    }
    close(directory);
    return true;
}

bool cecrash_async_threads_suspend(const cecrash_thread_list* list, cecrash_thread_t except)
{
    if (g_suspendSignal == 0 || g_busy.exchange(true))
        return false;
    uint32_t count = 0;
    for (uint32_t i = 0; i < list->count; ++i) {
        if (list->threads[i] == except)
            continue;
        g_slots[count].thread.store(list->threads[i]);
        g_slots[count].phase.store(kRequested);
        ++count;
    }
    g_slotCount.store(count);
    const pid_t process = getpid();
    for (uint32_t i = 0; i < count; ++i) {
        if (syscall(SYS_tgkill, process, g_slots[i].thread.load(), g_suspendSignal) != 0)
            g_slots[i].phase.store(kAbandoned);
    }
    const int64_t deadline = nowNs() + CECRASH_SUSPEND_TIMEOUT_NS;
    for (uint32_t i = 0; i < count; ++i) {
        Slot& slot = g_slots[i];
        int32_t phase = waitWhile(slot, kRequested, deadline);
        if (phase == kRequested && slot.phase.compare_exchange_strong(phase, kAbandoned))
            continue;
        // A thread already in its handler finishes its capture at once; wait for it.
        while (slot.phase.load() == kCapturing)
            futexWait(&slot.phase, kCapturing, 1'000'000);
    }
    return true;
}

void cecrash_async_threads_resume()
{
    const uint32_t count = g_slotCount.load();
    for (uint32_t i = 0; i < count; ++i) {
        if (g_slots[i].phase.load() == kParked) {
            g_slots[i].phase.store(kReleased);
            futexWake(&g_slots[i].phase);
        }
    }
    // Slots are reused by the next report only once their threads have left the handler.
    const int64_t deadline = nowNs() + CECRASH_SUSPEND_TIMEOUT_NS;
    for (uint32_t i = 0; i < count; ++i)
        waitWhile(g_slots[i], kReleased, deadline);
    g_slotCount.store(0);
    for (uint32_t i = 0; i < count; ++i) {
        g_slots[i].thread.store(0);
        g_slots[i].phase.store(kIdle);
    }
    g_busy.store(false);
}

cecrash_error_t cecrash_async_thread_get_state(cecrash_thread_t thread, cecrash_async_thread_state* state)
{
    const uint32_t count = g_slotCount.load();
    for (uint32_t i = 0; i < count; ++i) {
        if (g_slots[i].thread.load() == thread && g_slots[i].phase.load() == kParked) {
            cecrash_async_thread_state_copy(state, &g_slots[i].state);
            return CECRASH_ESUCCESS;
        }
    }
    return CECRASH_EINTERNAL;
}
