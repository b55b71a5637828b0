#include "sdk/crash-engine/AsyncOutputFile.h"

#include "sdk/crash-engine/AsyncSafe.h"

#include <cerrno>
#include <unistd.h>

ssize_t cecrash_async_write_fully(int descriptor, const void* data, size_t length)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < length) {
        const ssize_t written = write(descriptor, bytes + done, length - done);
        // Only a failed call sets errno: a write of nothing must not spin on a stale EINTR.
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return -1;
        done += static_cast<size_t>(written);
    }
    return static_cast<ssize_t>(done);
}

void cecrash_async_output_file_attach(cecrash_async_output_file* file, int descriptor, uint64_t limit)
{
    file->descriptor = descriptor;
    file->limit = limit;
    file->total = 0;
    file->refused = false;
    file->buffered = 0;
}

bool cecrash_async_output_file_append(cecrash_async_output_file* file, const void* data, size_t length)
{
    if (file->refused)
        return false;
    if (file->limit != 0) {
        if (file->total + length > file->limit) {
            file->refused = true;
            return false;
        }
        file->total += length;
    }
    // A piece that cannot be written leaves a hole: nothing after it may follow.
    if (file->buffered + length > sizeof(file->buffer)) {
        if (!cecrash_async_output_file_flush(file)) {
            file->refused = true;
            return false;
        }
    }
    if (length > sizeof(file->buffer)) {
        if (cecrash_async_write_fully(file->descriptor, data, length) < 0) {
            file->refused = true;
            return false;
        }
        return true;
    }
    cecrash_async_copy_bytes(file->buffer + file->buffered, data, length);
    file->buffered += length;
    return true;
}

bool cecrash_async_output_file_flush(cecrash_async_output_file* file)
{
    if (file->buffered > 0) {
        if (cecrash_async_write_fully(file->descriptor, file->buffer, file->buffered) < 0)
            return false;
        file->buffered = 0;
    }
    return !file->refused;
}

bool cecrash_async_output_file_close(cecrash_async_output_file* file)
{
    const bool flushed = cecrash_async_output_file_flush(file);
    if (!flushed && file->buffered > 0)
        return false;
    const bool closed = close(file->descriptor) == 0;
    file->descriptor = -1;
    return flushed && closed;
}
