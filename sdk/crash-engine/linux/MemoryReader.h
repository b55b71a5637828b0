// Reads this process's own memory without faulting: an unmapped or unreadable address is an
// error code, never a signal. The task of the original design is always this process here.
#pragma once

#include "sdk/crash-engine/AsyncSafe.h"

#include <cstddef>
#include <cstdint>

// Async-signal-safe. Copies length bytes at base + offset into destination: 0, or 3 when the
// offset wraps, 8 when a page is not mapped, 7 when it is mapped but not readable, 1 otherwise.
cecrash_error_t cecrash_async_copy_from_task(uint64_t base, int64_t offset, void* destination, size_t length);

// Async-signal-safe. How many bytes from address on, at most length, lie in readable pages,
// checked a page at a time. During a walk (below) pages found readable are remembered, so a
// walk that reads one stack or one unwind table again and again asks the kernel once per page.
uint64_t cecrash_async_readable_length(uint64_t address, uint64_t length);
// Async-signal-safe. A stack walk begins and ends: readable pages are remembered only in
// between, while the threads that could unmap them are held; each begin and end forgets them.
void cecrash_async_readable_pages_begin();
void cecrash_async_readable_pages_end();
// Async-signal-safe. Copies bytes known to be readable (see above) straight from memory. Not
// checked by the address sanitizer: the bytes are another frame's, poisoned or not.
__attribute__((no_sanitize_address)) void cecrash_async_copy_readable(void* destination, uint64_t address, size_t length);

// Async-signal-safe. Reads 1, 2, 4 or 8 bytes and converts them with the byte order; the
// conversion is applied whether or not the read succeeded.
cecrash_error_t cecrash_async_task_fetch8(uint64_t base, int64_t offset, uint8_t* value);
cecrash_error_t cecrash_async_task_fetch16(const cecrash_async_byteorder* order, uint64_t base, int64_t offset, uint16_t* value);
cecrash_error_t cecrash_async_task_fetch32(const cecrash_async_byteorder* order, uint64_t base, int64_t offset, uint32_t* value);
cecrash_error_t cecrash_async_task_fetch64(const cecrash_async_byteorder* order, uint64_t base, int64_t offset, uint64_t* value);
