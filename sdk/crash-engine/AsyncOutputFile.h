// The buffered output file that receives a report at crash time: fixed size, no heap, a total
// limit. Once the limit refuses a piece, or a piece cannot be written, every later piece is
// refused too and flush and close report failure, so a report cut short is a clean prefix that
// never counts as written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

struct cecrash_async_output_file {
    int descriptor;
    // Maximum number of bytes accepted in total; 0 = no limit.
    uint64_t limit;
    // Bytes accepted so far (counted only when a limit is set).
    uint64_t total;
    // A piece was refused at the limit or could not be written: the file is cut short.
    bool refused;
    uint64_t buffered;
    uint8_t buffer[256];
};

// Async-signal-safe. Writes every byte, retrying on EINTR; the length written or -1.
ssize_t cecrash_async_write_fully(int descriptor, const void* data, size_t length);

// Async-signal-safe. limit in bytes, 0 = no limit.
void cecrash_async_output_file_attach(cecrash_async_output_file* file, int descriptor, uint64_t limit);
// Async-signal-safe.
bool cecrash_async_output_file_append(cecrash_async_output_file* file, const void* data, size_t length);
// Async-signal-safe. Writes the buffer out; false on an I/O error or after a refused piece.
// A buffer that could not be written is kept, so a later flush may retry it.
bool cecrash_async_output_file_flush(cecrash_async_output_file* file);
// Async-signal-safe. Flushes and closes. An I/O error leaves the descriptor open and answers
// false; a file cut at its limit is still closed but answers false. A closed file's descriptor
// becomes -1.
bool cecrash_async_output_file_close(cecrash_async_output_file* file);
