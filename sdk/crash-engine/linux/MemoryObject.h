// A bounded, read-only view of a range of this process's memory: the only way the unwind-table
// and image readers touch the bytes they parse. Here the view is the memory itself (slide 0),
// its pages checked readable when it is made; every access is checked against the range.
#pragma once

#include "sdk/crash-engine/AsyncSafe.h"

#include <cstddef>
#include <cstdint>

struct cecrash_async_mobject {
    // Local address of the first requested byte (the same as the task address here).
    uintptr_t address;
    // Task address of the first requested byte: the object's base address.
    uint64_t task_address;
    // Bytes of the requested range that the view covers.
    uint64_t length;
    // Task address minus local address; 0 here.
    int64_t vm_slide;
};

// Async-signal-safe. A view of [task_address, task_address + length). Without require_whole it
// covers the readable prefix. 0; 3 when nothing can be read, the range is empty, or with
// require_whole not all of it can.
cecrash_error_t cecrash_async_mobject_init(cecrash_async_mobject* object, uint64_t task_address, uint64_t length,
                                           bool require_whole);
// Async-signal-safe.
uint64_t cecrash_async_mobject_base_address(const cecrash_async_mobject* object);
// Async-signal-safe.
uint64_t cecrash_async_mobject_length(const cecrash_async_mobject* object);
// Async-signal-safe. True when [local + offset, + length) lies inside the view; every sum is
// checked for overflow.
bool cecrash_async_mobject_verify_local_pointer(const cecrash_async_mobject* object, uintptr_t local, int64_t offset,
                                                size_t length);
// Async-signal-safe. The local pointer of [address + offset, + length), or null when that range
// is not wholly inside the view.
const void* cecrash_async_mobject_remap_address(const cecrash_async_mobject* object, uint64_t address, int64_t offset,
                                                size_t length);
// Async-signal-safe. Values at address + offset, converted with the byte order; 5 outside.
cecrash_error_t cecrash_async_mobject_read_uint8(const cecrash_async_mobject* object, uint64_t address, int64_t offset,
                                                 uint8_t* result);
cecrash_error_t cecrash_async_mobject_read_uint16(const cecrash_async_mobject* object, const cecrash_async_byteorder* order,
                                                  uint64_t address, int64_t offset, uint16_t* result);
cecrash_error_t cecrash_async_mobject_read_uint32(const cecrash_async_mobject* object, const cecrash_async_byteorder* order,
                                                  uint64_t address, int64_t offset, uint32_t* result);
cecrash_error_t cecrash_async_mobject_read_uint64(const cecrash_async_mobject* object, const cecrash_async_byteorder* order,
                                                  uint64_t address, int64_t offset, uint64_t* result);
// Async-signal-safe. Releases the view (nothing to unmap here).
void cecrash_async_mobject_free(cecrash_async_mobject* object);
