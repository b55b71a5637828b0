// Reads this process's own memory without faulting: an unmapped or unreadable address is an
// error code, never a signal. The task of the original design is always this process here.
#pragma once

#include "crash-engine/AsyncSafe.h"

#include <cstddef>
#include <cstdint>

// Async-signal-safe. Copies length bytes at base + offset into destination: 0, or 3 when the
// offset wraps, 8 when a page is not mapped, 7 when it is mapped but not readable, 1 otherwise.
cecrash_error_t cecrash_async_copy_from_task(uint64_t base, int64_t offset, void* destination, size_t length);

// Async-signal-safe. Reads 1, 2, 4 or 8 bytes and converts them with the byte order; the
// conversion is applied whether or not the read succeeded.
cecrash_error_t cecrash_async_task_fetch8(uint64_t base, int64_t offset, uint8_t* value);
cecrash_error_t cecrash_async_task_fetch16(const cecrash_async_byteorder* order, uint64_t base, int64_t offset, uint16_t* value);
cecrash_error_t cecrash_async_task_fetch32(const cecrash_async_byteorder* order, uint64_t base, int64_t offset, uint32_t* value);
cecrash_error_t cecrash_async_task_fetch64(const cecrash_async_byteorder* order, uint64_t base, int64_t offset, uint64_t* value);
