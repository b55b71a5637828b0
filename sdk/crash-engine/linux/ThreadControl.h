// The threads of this process: listing them, suspending and resuming every other thread, and
// the register state of a suspended one. Suspension is by a reserved real-time signal whose
// handler stores the thread's signal context in a preallocated slot and waits for release.
// A thread that does not answer in time (it blocks the signal, or is stuck in the kernel) is
// left running and has no register state.
#pragma once

#include "sdk/crash-engine/ThreadState.h"

#include <cstdint>
#include <sys/types.h>

// A thread is named by its kernel thread id.
using cecrash_thread_t = pid_t;

// Threads listed and suspended per report at most; later ones are left out of the report.
constexpr uint32_t CECRASH_MAX_THREADS = 512;
// How long a report waits for the other threads to stop, in total. Defaults to 250 ms.
constexpr int64_t CECRASH_SUSPEND_TIMEOUT_NS = 250'000'000;

struct cecrash_thread_list {
    uint32_t count;
    cecrash_thread_t threads[CECRASH_MAX_THREADS];
};

// Installs the suspend signal's handler (the real-time signal SIGRTMAX - 1, which the
// application must leave alone). Idempotent. Not crash-time.
void cecrash_thread_control_prepare();

// Async-signal-safe. The calling thread.
cecrash_thread_t cecrash_async_current_thread();
// Async-signal-safe. Lists the threads of the process; false when /proc cannot be read.
bool cecrash_async_thread_list(cecrash_thread_list* list);
// Async-signal-safe. Suspends every listed thread but `except`; false (nothing suspended) when
// another report holds the threads already.
bool cecrash_async_threads_suspend(const cecrash_thread_list* list, cecrash_thread_t except);
// Async-signal-safe. Resumes what the last successful suspend stopped.
void cecrash_async_threads_resume();
// Async-signal-safe. The register state of a suspended thread; 6 when it is not suspended.
cecrash_error_t cecrash_async_thread_get_state(cecrash_thread_t thread, cecrash_async_thread_state* state);
