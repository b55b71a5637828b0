// The engine's result codes and the small async-signal-safe helpers the crash-time code stands
// on: address arithmetic, byte order, string and memory loops, decimal text.
#pragma once

#include <cstddef>
#include <cstdint>

// The engine-wide result code. Every crash-time routine answers one.
enum cecrash_error_t : int32_t {
    CECRASH_ESUCCESS = 0,
    CECRASH_EUNKNOWN = 1,
    CECRASH_OUTPUT_ERR = 2,
    CECRASH_ENOMEM = 3,
    CECRASH_ENOTSUP = 4,
    CECRASH_EINVAL = 5,
    CECRASH_EINTERNAL = 6,
    CECRASH_EACCESS = 7,
    CECRASH_ENOTFOUND = 8,
    CECRASH_EINVALID_DATA = 9,
};

// Async-signal-safe. The fixed message of a code; above 9 "Unhandled error code".
const char* cecrash_async_error_message(int32_t code);

// Conversion of 16-, 32- and 64-bit values between a file's byte order and the host's.
struct cecrash_async_byteorder {
    uint16_t (*swap16)(uint16_t);
    uint32_t (*swap32)(uint32_t);
    uint64_t (*swap64)(uint64_t);
};

// Async-signal-safe. Host order (little-endian here): each function returns its argument.
const cecrash_async_byteorder* cecrash_async_byteorder_little_endian();
// Async-signal-safe. Swapped order (big-endian here): each function reverses the bytes.
const cecrash_async_byteorder* cecrash_async_byteorder_big_endian();

// Async-signal-safe. base + offset into *result; false when the sum leaves 0 .. 2^64 - 1.
bool cecrash_async_offset_address(uint64_t base, int64_t offset, uint64_t* result);

// Async-signal-safe. Byte-wise comparison: the difference of the first differing bytes, else 0.
int cecrash_async_compare_strings(const char* a, const char* b);
// Async-signal-safe. As above over at most n bytes.
int cecrash_async_compare_strings_bounded(const char* a, const char* b, size_t n);
// Async-signal-safe.
void cecrash_async_copy_bytes(void* destination, const void* source, size_t n);
// Async-signal-safe.
void cecrash_async_fill_bytes(void* destination, uint8_t byte, size_t n);

// Async-signal-safe. Writes prefix and the decimal value of `value` with a terminating NUL
// into buffer (capacity bytes; 16 hold any 32-bit value behind a one-byte prefix); returns the
// text length, or 0 when it does not fit.
size_t cecrash_async_format_int(char* buffer, size_t capacity, const char* prefix, int64_t value);
