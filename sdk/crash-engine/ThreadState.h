// A snapshot of one thread's general registers, which of them are known, and their names and
// DWARF numbers. The register blocks keep the x86 thread-state and exception-state layouts of
// the original design, filled here from the Linux signal context. A plain value: copied whole.
#pragma once

#include "sdk/crash-engine/AsyncSafe.h"

#include <cstddef>
#include <cstdint>
#include <ucontext.h>

// CPU types of the register state (Mach CPU type codes).
constexpr uint32_t CECRASH_CPU_TYPE_X86 = 7;
constexpr uint32_t CECRASH_CPU_TYPE_X86_64 = 0x1000007;
constexpr uint32_t CECRASH_CPU_SUBTYPE_X86_ALL = 3;

// Thread-state and exception-state flavours and counts (in 32-bit words).
constexpr int32_t CECRASH_X86_THREAD_STATE32 = 1;
constexpr int32_t CECRASH_X86_THREAD_STATE32_COUNT = 16;
constexpr int32_t CECRASH_X86_EXCEPTION_STATE32 = 3;
constexpr int32_t CECRASH_X86_EXCEPTION_STATE32_COUNT = 3;
constexpr int32_t CECRASH_X86_THREAD_STATE64 = 4;
constexpr int32_t CECRASH_X86_THREAD_STATE64_COUNT = 42;
constexpr int32_t CECRASH_X86_EXCEPTION_STATE64 = 6;
constexpr int32_t CECRASH_X86_EXCEPTION_STATE64_COUNT = 4;

struct cecrash_x86_thread_state32 {
    uint32_t eax, ebx, ecx, edx, edi, esi, ebp, esp, ss, eflags, eip, cs, ds, es, fs, gs;
};

struct cecrash_x86_thread_state64 {
    uint64_t rax, rbx, rcx, rdx, rdi, rsi, rbp, rsp;
    uint64_t r8, r9, r10, r11, r12, r13, r14, r15;
    uint64_t rip, rflags, cs, fs, gs;
};

struct cecrash_x86_exception_state32 {
    uint16_t trapno;
    uint16_t cpu;
    uint32_t err;
    uint32_t faultvaddr;
};

struct cecrash_x86_exception_state64 {
    uint16_t trapno;
    uint16_t cpu;
    uint32_t err;
    uint64_t faultvaddr;
};

struct cecrash_x86_state_header {
    int32_t flavor;
    int32_t count;
};

struct cecrash_x86_thread_state {
    cecrash_x86_state_header tsh;
    union {
        cecrash_x86_thread_state32 ts32;
        cecrash_x86_thread_state64 ts64;
    } uts;
};

struct cecrash_x86_exception_state {
    cecrash_x86_state_header esh;
    union {
        cecrash_x86_exception_state32 es32;
        cecrash_x86_exception_state64 es64;
    } ues;
};

constexpr int32_t CECRASH_STACK_DIRECTION_UP = 1;
constexpr int32_t CECRASH_STACK_DIRECTION_DOWN = 2;

// Register numbers shared by every CPU: 0 instruction pointer, 1 frame pointer, 2 stack pointer.
constexpr uint32_t CECRASH_REG_IP = 0;
constexpr uint32_t CECRASH_REG_FP = 1;
constexpr uint32_t CECRASH_REG_SP = 2;

struct cecrash_async_thread_state {
    int32_t stack_direction;
    uint32_t greg_size;
    // Bit n set: register number n holds a known value.
    uint64_t valid_regs;
    cecrash_x86_thread_state thread;
    cecrash_x86_exception_state exception;
};

// Async-signal-safe. Zeroes the state and sets it up for a CPU type (7 or 0x1000007); other
// types answer 4.
cecrash_error_t cecrash_async_thread_state_init(cecrash_async_thread_state* state, uint32_t cpu_type);
// Async-signal-safe. A 64-bit state from the machine context a signal handler receives, every
// register valid.
void cecrash_async_thread_state_mcontext_init(cecrash_async_thread_state* state, const mcontext_t* context);
// Async-signal-safe.
void cecrash_async_thread_state_copy(cecrash_async_thread_state* destination, const cecrash_async_thread_state* source);

// Async-signal-safe. Register access; a number outside the CPU's range is a programming error
// and traps.
bool cecrash_async_thread_state_has_reg(const cecrash_async_thread_state* state, uint32_t reg);
uint64_t cecrash_async_thread_state_get_reg(const cecrash_async_thread_state* state, uint32_t reg);
void cecrash_async_thread_state_set_reg(cecrash_async_thread_state* state, uint32_t reg, uint64_t value);
void cecrash_async_thread_state_clear_reg(cecrash_async_thread_state* state, uint32_t reg);
void cecrash_async_thread_state_clear_all_regs(cecrash_async_thread_state* state);
// Async-signal-safe. Keeps only the callee-saved registers of the CPU.
void cecrash_async_thread_state_clear_volatile_regs(cecrash_async_thread_state* state);

// Async-signal-safe.
int32_t cecrash_async_thread_state_get_stackgrowth(const cecrash_async_thread_state* state);
size_t cecrash_async_thread_state_get_greg_size(const cecrash_async_thread_state* state);
// Async-signal-safe. 21 for a 64-bit thread, 16 for a 32-bit one.
size_t cecrash_async_thread_state_get_reg_count(const cecrash_async_thread_state* state);
// Async-signal-safe. The register's name; a number at or beyond the count aborts.
const char* cecrash_async_thread_state_get_reg_name(const cecrash_async_thread_state* state, uint32_t reg);

// Async-signal-safe. DWARF column <-> register number; false when not mapped.
bool cecrash_async_thread_state_map_dwarf_to_reg(const cecrash_async_thread_state* state, uint64_t dwarf, uint32_t* reg);
bool cecrash_async_thread_state_map_reg_to_dwarf(const cecrash_async_thread_state* state, uint32_t reg, uint64_t* dwarf);

using cecrash_async_capture_callback = cecrash_error_t (*)(cecrash_async_thread_state* state, void* context);

// Async-signal-safe. Captures the caller's registers at the instant of the call (rip just after
// it) and calls back on the same stack; answers what the callback answers.
extern "C" cecrash_error_t cecrash_async_capture_current_thread_state(cecrash_async_capture_callback callback, void* context);
