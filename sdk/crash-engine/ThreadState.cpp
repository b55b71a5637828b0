#include "sdk/crash-engine/ThreadState.h"

#include <cstdlib>
#include <iterator>

namespace {

constexpr size_t kRegCount64 = 21;
constexpr size_t kRegCount32 = 16;

const char* const kNames64[kRegCount64] = {
    "rip", "rbp", "rsp", "rax", "rbx", "rcx", "rdx", "rdi", "rsi", "r8", "r9",
    "r10", "r11", "r12", "r13", "r14", "r15", "rflags", "cs", "fs", "gs",
};

const char* const kNames32[kRegCount32] = {
    "eip", "ebp", "esp", "eax", "edx", "ecx", "ebx", "esi",
    "edi", "eflags", "trapno", "cs", "ds", "es", "fs", "gs",
};

struct DwarfEntry {
    uint64_t dwarf;
    uint32_t reg;
};

const DwarfEntry kDwarf64[] = {
    {6, 1}, {7, 2}, {0, 3}, {3, 4}, {2, 5}, {1, 6}, {5, 7}, {4, 8}, {8, 9}, {9, 10},
    {10, 11}, {11, 12}, {12, 13}, {13, 14}, {14, 15}, {15, 16}, {49, 17}, {51, 18}, {54, 19}, {55, 20},
};

const DwarfEntry kDwarf32[] = {
    {8, 0}, {4, 1}, {5, 2}, {0, 3}, {2, 4}, {1, 5}, {3, 6}, {6, 7}, {7, 8},
};

const uint32_t kCalleeSaved64[] = {4, 2, 1, 13, 14, 15, 16};
const uint32_t kCalleeSaved32[] = {6, 1, 7, 8, 2};

// Async-signal-safe.
bool is64(const cecrash_async_thread_state* state)
{
    return state->thread.tsh.flavor == CECRASH_X86_THREAD_STATE64;
}

// Async-signal-safe.
uint64_t* slot64(cecrash_async_thread_state* state, uint32_t reg)
{
    cecrash_x86_thread_state64& ts = state->thread.uts.ts64;
    uint64_t* const slots[kRegCount64] = {
        &ts.rip, &ts.rbp, &ts.rsp, &ts.rax, &ts.rbx, &ts.rcx, &ts.rdx, &ts.rdi, &ts.rsi, &ts.r8, &ts.r9,
        &ts.r10, &ts.r11, &ts.r12, &ts.r13, &ts.r14, &ts.r15, &ts.rflags, &ts.cs, &ts.fs, &ts.gs,
    };
    if (reg >= kRegCount64)
        __builtin_trap();
    return slots[reg];
}

// Async-signal-safe.
uint32_t* slot32(cecrash_async_thread_state* state, uint32_t reg)
{
    cecrash_x86_thread_state32& ts = state->thread.uts.ts32;
    uint32_t* const slots[kRegCount32] = {
        &ts.eip, &ts.ebp, &ts.esp, &ts.eax, &ts.edx, &ts.ecx, &ts.ebx, &ts.esi,
        &ts.edi, &ts.eflags, nullptr, &ts.cs, &ts.ds, &ts.es, &ts.fs, &ts.gs,
    };
    if (reg >= kRegCount32)
        __builtin_trap();
    return slots[reg];
}

// The first DWARF table entry of the state's CPU that matches, searched linearly.
// Async-signal-safe.
template <typename Match>
const DwarfEntry* findDwarfEntry(const cecrash_async_thread_state* state, Match match)
{
    const DwarfEntry* table = is64(state) ? kDwarf64 : kDwarf32;
    const size_t count = is64(state) ? std::size(kDwarf64) : std::size(kDwarf32);
    for (size_t i = 0; i < count; ++i) {
        if (match(table[i]))
            return &table[i];
    }
    return nullptr;
}

// Register 10 of a 32-bit thread is the trap number of the exception state.
constexpr uint32_t kTrapNumber32 = 10;

}  // namespace

cecrash_error_t cecrash_async_thread_state_init(cecrash_async_thread_state* state, uint32_t cpu_type)
{
    cecrash_async_fill_bytes(state, 0, sizeof(*state));
    if (cpu_type == CECRASH_CPU_TYPE_X86) {
        state->thread.tsh = {CECRASH_X86_THREAD_STATE32, CECRASH_X86_THREAD_STATE32_COUNT};
        state->exception.esh = {CECRASH_X86_EXCEPTION_STATE32, CECRASH_X86_EXCEPTION_STATE32_COUNT};
        state->greg_size = 4;
    } else if (cpu_type == CECRASH_CPU_TYPE_X86_64) {
        state->thread.tsh = {CECRASH_X86_THREAD_STATE64, CECRASH_X86_THREAD_STATE64_COUNT};
        state->exception.esh = {CECRASH_X86_EXCEPTION_STATE64, CECRASH_X86_EXCEPTION_STATE64_COUNT};
        state->greg_size = 8;
    } else {
        return CECRASH_ENOTSUP;
    }
    state->stack_direction = CECRASH_STACK_DIRECTION_DOWN;
    return CECRASH_ESUCCESS;
}

void cecrash_async_thread_state_mcontext_init(cecrash_async_thread_state* state, const mcontext_t* context)
{
    cecrash_async_thread_state_init(state, CECRASH_CPU_TYPE_X86_64);
    const greg_t* g = context->gregs;
    cecrash_x86_thread_state64& ts = state->thread.uts.ts64;
    auto u = [](greg_t value) { return static_cast<uint64_t>(value); };
    ts.rax = u(g[REG_RAX]);
    ts.rbx = u(g[REG_RBX]);
    ts.rcx = u(g[REG_RCX]);
    ts.rdx = u(g[REG_RDX]);
    ts.rdi = u(g[REG_RDI]);
    ts.rsi = u(g[REG_RSI]);
    ts.rbp = u(g[REG_RBP]);
    ts.rsp = u(g[REG_RSP]);
    ts.r8 = u(g[REG_R8]);
    ts.r9 = u(g[REG_R9]);
    ts.r10 = u(g[REG_R10]);
    ts.r11 = u(g[REG_R11]);
    ts.r12 = u(g[REG_R12]);
    ts.r13 = u(g[REG_R13]);
    ts.r14 = u(g[REG_R14]);
    ts.r15 = u(g[REG_R15]);
    ts.rip = u(g[REG_RIP]);
    ts.rflags = u(g[REG_EFL]);
    // cs, gs and fs share one greg as three 16-bit fields.
    const uint64_t segments = u(g[REG_CSGSFS]);
    ts.cs = segments & 0xffff;
    ts.gs = (segments >> 16) & 0xffff;
    ts.fs = (segments >> 32) & 0xffff;
    cecrash_x86_exception_state64& es = state->exception.ues.es64;
    es.trapno = static_cast<uint16_t>(g[REG_TRAPNO]);
    es.cpu = 0;
    es.err = static_cast<uint32_t>(g[REG_ERR]);
    es.faultvaddr = u(g[REG_CR2]);
    state->valid_regs = (uint64_t{1} << kRegCount64) - 1;
}

void cecrash_async_thread_state_copy(cecrash_async_thread_state* destination, const cecrash_async_thread_state* source)
{
    // A plain structure copy: no library call, and a walk copies states several times a frame.
    *destination = *source;
}

bool cecrash_async_thread_state_has_reg(const cecrash_async_thread_state* state, uint32_t reg)
{
    return reg < 64 && (state->valid_regs & (uint64_t{1} << reg)) != 0;
}

uint64_t cecrash_async_thread_state_get_reg(const cecrash_async_thread_state* state, uint32_t reg)
{
    auto* mutableState = const_cast<cecrash_async_thread_state*>(state);
    if (is64(state))
        return *slot64(mutableState, reg);
    if (reg == kTrapNumber32)
        return state->exception.ues.es32.trapno;
    return *slot32(mutableState, reg);
}

void cecrash_async_thread_state_set_reg(cecrash_async_thread_state* state, uint32_t reg, uint64_t value)
{
    if (is64(state)) {
        *slot64(state, reg) = value;
    } else if (reg == kTrapNumber32) {
        state->exception.ues.es32.trapno = static_cast<uint16_t>(value);
    } else {
        *slot32(state, reg) = static_cast<uint32_t>(value);
    }
    state->valid_regs |= uint64_t{1} << reg;
}

void cecrash_async_thread_state_clear_reg(cecrash_async_thread_state* state, uint32_t reg)
{
    if (reg >= cecrash_async_thread_state_get_reg_count(state))
        __builtin_trap();
    state->valid_regs &= ~(uint64_t{1} << reg);
}

void cecrash_async_thread_state_clear_all_regs(cecrash_async_thread_state* state)
{
    state->valid_regs = 0;
}

void cecrash_async_thread_state_clear_volatile_regs(cecrash_async_thread_state* state)
{
    const uint32_t* saved = is64(state) ? kCalleeSaved64 : kCalleeSaved32;
    const size_t savedCount = is64(state) ? std::size(kCalleeSaved64) : std::size(kCalleeSaved32);
    const size_t count = cecrash_async_thread_state_get_reg_count(state);
    for (uint32_t reg = 0; reg < count; ++reg) {
        bool calleeSaved = false;
        for (size_t i = 0; i < savedCount; ++i)
            calleeSaved = calleeSaved || saved[i] == reg;
        if (!calleeSaved && cecrash_async_thread_state_has_reg(state, reg))
            cecrash_async_thread_state_clear_reg(state, reg);
    }
}

int32_t cecrash_async_thread_state_get_stackgrowth(const cecrash_async_thread_state* state)
{
    return state->stack_direction;
}

size_t cecrash_async_thread_state_get_greg_size(const cecrash_async_thread_state* state)
{
    return state->greg_size;
}

size_t cecrash_async_thread_state_get_reg_count(const cecrash_async_thread_state* state)
{
    return is64(state) ? kRegCount64 : kRegCount32;
}

const char* cecrash_async_thread_state_get_reg_name(const cecrash_async_thread_state* state, uint32_t reg)
{
    if (reg >= cecrash_async_thread_state_get_reg_count(state))
        abort();
    return is64(state) ? kNames64[reg] : kNames32[reg];
}

bool cecrash_async_thread_state_map_dwarf_to_reg(const cecrash_async_thread_state* state, uint64_t dwarf, uint32_t* reg)
{
    const DwarfEntry* entry = findDwarfEntry(state, [dwarf](const DwarfEntry& e) { return e.dwarf == dwarf; });
    if (entry != nullptr)
        *reg = entry->reg;
    return entry != nullptr;
}

bool cecrash_async_thread_state_map_reg_to_dwarf(const cecrash_async_thread_state* state, uint32_t reg, uint64_t* dwarf)
{
    const DwarfEntry* entry = findDwarfEntry(state, [reg](const DwarfEntry& e) { return e.reg == reg; });
    if (entry != nullptr)
        *dwarf = entry->dwarf;
    return entry != nullptr;
}

// Async-signal-safe. The second step of the capture: the entry below has saved the caller's
// registers in a record on its own stack (an exception state, then a 64-bit thread state).
extern "C" cecrash_error_t cecrash_async_capture_finish(cecrash_async_capture_callback callback, void* context,
                                                        const cecrash_x86_thread_state64* saved)
{
    cecrash_async_thread_state state;
    cecrash_async_thread_state_init(&state, CECRASH_CPU_TYPE_X86_64);
    state.thread.uts.ts64 = *saved;
    state.valid_regs = (uint64_t{1} << kRegCount64) - 1;
    return callback(&state, context);
}

// The capture entry saves the registers before any compiler-made code can change them:
// rax..rsi and r8..r15 as at entry, rbp = the caller's frame pointer (still in rbp at entry,
// then saved in this entry's frame record), rsp = the address of that frame record (the
// caller's stack pointer before the call minus 16), rip = the return address, then rflags and
// the cs, fs, gs selectors. The record is 16 bytes of exception state then the thread state;
// rflags are pushed first, before any arithmetic changes them.
asm(R"(
    .text
    .globl cecrash_async_capture_current_thread_state
    .type cecrash_async_capture_current_thread_state, @function
cecrash_async_capture_current_thread_state:
    .cfi_startproc
    pushq %rbp
    .cfi_def_cfa_offset 16
    .cfi_offset %rbp, -16
    movq %rsp, %rbp
    .cfi_def_cfa_register %rbp
    pushfq
    subq $184, %rsp
    movq %rax, 16(%rsp)
    movq %rbx, 24(%rsp)
    movq %rcx, 32(%rsp)
    movq %rdx, 40(%rsp)
    movq %rdi, 48(%rsp)
    movq %rsi, 56(%rsp)
    movq 0(%rbp), %rax
    movq %rax, 64(%rsp)
    movq %rbp, 72(%rsp)
    movq %r8, 80(%rsp)
    movq %r9, 88(%rsp)
    movq %r10, 96(%rsp)
    movq %r11, 104(%rsp)
    movq %r12, 112(%rsp)
    movq %r13, 120(%rsp)
    movq %r14, 128(%rsp)
    movq %r15, 136(%rsp)
    movq 8(%rbp), %rax
    movq %rax, 144(%rsp)
    movq 184(%rsp), %rax
    movq %rax, 152(%rsp)
    xorl %eax, %eax
    movw %cs, %ax
    movq %rax, 160(%rsp)
    movw %fs, %ax
    movq %rax, 168(%rsp)
    movw %gs, %ax
    movq %rax, 176(%rsp)
    leaq 16(%rsp), %rdx
    call cecrash_async_capture_finish@PLT
    movq %rbp, %rsp
    popq %rbp
    .cfi_def_cfa %rsp, 8
    ret
    .cfi_endproc
    .size cecrash_async_capture_current_thread_state, .-cecrash_async_capture_current_thread_state
)");
