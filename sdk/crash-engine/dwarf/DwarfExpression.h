// The DWARF expression machine of call-frame rules: a stack of 100 machine words.
#pragma once

#include "sdk/crash-engine/ThreadState.h"
#include "sdk/crash-engine/linux/MemoryObject.h"

#include <cstddef>
#include <cstdint>

namespace cecrash::async {

// Async-signal-safe. Evaluates the expression at address + offset (length bytes) with the given
// values pushed first; result is the top of the stack. 4 for an unsupported opcode or register,
// 5 for an operand outside the bytes, a bad branch, division by zero or popping an empty stack,
// 6 when the stack overflows, 8 for a register the thread state does not hold, or the error of
// a memory read.
template <typename machine_ptr, typename machine_ptr_s>
cecrash_error_t dwarf_expression_eval(const cecrash_async_mobject* mobj, const cecrash_async_thread_state* thread_state,
                                      const cecrash_async_byteorder* byteorder, uint64_t address, uint64_t offset,
                                      uint64_t length, const machine_ptr* initial_stack, size_t initial_count,
                                      machine_ptr* result);

}  // namespace cecrash::async
