#include "sdk/crash-engine/AsyncSafe.h"

namespace {

const char* const kErrorMessages[] = {
    "No error",
    "Unknown error",
    "Output file can not be opened (or written to)",
    "No memory available",
    "Operation not supported",
    "Invalid argument",
    "Internal error",
    "Access denied",
    "Not found",
    "The input data is in an unknown or invalid format.",
};

// Async-signal-safe, all six: the conversions of the two byte-order records.
uint16_t same16(uint16_t v) { return v; }
uint32_t same32(uint32_t v) { return v; }
uint64_t same64(uint64_t v) { return v; }
uint16_t swapped16(uint16_t v) { return __builtin_bswap16(v); }
uint32_t swapped32(uint32_t v) { return __builtin_bswap32(v); }
uint64_t swapped64(uint64_t v) { return __builtin_bswap64(v); }

const cecrash_async_byteorder kHostOrder = {same16, same32, same64};
const cecrash_async_byteorder kSwappedOrder = {swapped16, swapped32, swapped64};

}  // namespace

const char* cecrash_async_error_message(int32_t code)
{
    if (code < 0 || code > 9)
        return "Unhandled error code";
    return kErrorMessages[code];
}

const cecrash_async_byteorder* cecrash_async_byteorder_little_endian() { return &kHostOrder; }
const cecrash_async_byteorder* cecrash_async_byteorder_big_endian() { return &kSwappedOrder; }

bool cecrash_async_offset_address(uint64_t base, int64_t offset, uint64_t* result)
{
    if (offset < 0) {
        const uint64_t magnitude = 0 - static_cast<uint64_t>(offset);
        if (magnitude > base)
            return false;
        *result = base - magnitude;
        return true;
    }
    const uint64_t add = static_cast<uint64_t>(offset);
    if (UINT64_MAX - base < add)
        return false;
    *result = base + add;
    return true;
}

int cecrash_async_compare_strings(const char* a, const char* b)
{
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}

int cecrash_async_compare_strings_bounded(const char* a, const char* b, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]);
        if (a[i] == '\0')
            return 0;
    }
    return 0;
}

void cecrash_async_copy_bytes(void* destination, const void* source, size_t n)
{
    auto* to = static_cast<volatile uint8_t*>(destination);
    const auto* from = static_cast<const uint8_t*>(source);
    for (size_t i = 0; i < n; ++i)
        to[i] = from[i];
}

void cecrash_async_fill_bytes(void* destination, uint8_t byte, size_t n)
{
    auto* to = static_cast<volatile uint8_t*>(destination);
    for (size_t i = 0; i < n; ++i)
        to[i] = byte;
}

size_t cecrash_async_format_int(char* buffer, size_t capacity, const char* prefix, int64_t value)
{
    char digits[24];
    size_t count = 0;
    // Work on the magnitude as unsigned so that the most negative value has a form too.
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    size_t prefixLength = 0;
    while (prefix[prefixLength] != '\0')
        ++prefixLength;
    const size_t length = prefixLength + (value < 0 ? 1 : 0) + count;
    if (length + 1 > capacity)
        return 0;
    size_t at = 0;
    for (size_t i = 0; i < prefixLength; ++i)
        buffer[at++] = prefix[i];
    if (value < 0)
        buffer[at++] = '-';
    while (count > 0)
        buffer[at++] = digits[--count];
    buffer[at] = '\0';
    return length;
}
