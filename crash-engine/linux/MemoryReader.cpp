#include "crash-engine/linux/MemoryReader.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

const uint64_t kPageSize = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));

// Async-signal-safe.
// Which failure a page gives: mincore answers ENOMEM for an unmapped page and succeeds for a
// mapped one, readable or not.
cecrash_error_t classifyPage(uint64_t address)
{
    unsigned char residency = 0;
    void* page = reinterpret_cast<void*>(address & ~(kPageSize - 1));
    if (mincore(page, kPageSize, &residency) != 0)
        return errno == ENOMEM ? CECRASH_ENOTFOUND : CECRASH_EUNKNOWN;
    return CECRASH_EACCESS;
}

// Async-signal-safe.
// Reads through the process's memory file when the cross-process read call is not allowed
// (seccomp profiles may refuse it). Answers the number of bytes read or -1.
ssize_t readThroughMemoryFile(uint64_t address, void* destination, size_t length)
{
    const int descriptor = open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return -1;
    size_t done = 0;
    while (done < length) {
        const ssize_t got = pread(descriptor, static_cast<uint8_t*>(destination) + done, length - done,
                                  static_cast<off_t>(address + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<size_t>(got);
    }
    close(descriptor);
    return static_cast<ssize_t>(done);
}

}  // namespace

cecrash_error_t cecrash_async_copy_from_task(uint64_t base, int64_t offset, void* destination, size_t length)
{
    uint64_t address = 0;
    if (!cecrash_async_offset_address(base, offset, &address))
        return CECRASH_ENOMEM;
    if (length == 0)
        return CECRASH_ESUCCESS;
    if (address + length < address)
        return CECRASH_ENOTFOUND;
    iovec local{destination, length};
    iovec remote{reinterpret_cast<void*>(address), length};
    const int savedErrno = errno;
    ssize_t got = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    if (got < 0 && (errno == EPERM || errno == ENOSYS))
        got = readThroughMemoryFile(address, destination, length);
    cecrash_error_t result = CECRASH_ESUCCESS;
    if (got < 0 && errno != EFAULT)
        result = CECRASH_EUNKNOWN;
    else if (got < 0)
        result = classifyPage(address);
    else if (static_cast<size_t>(got) < length)
        result = classifyPage(address + static_cast<uint64_t>(got));
    errno = savedErrno;
    return result;
}

cecrash_error_t cecrash_async_task_fetch8(uint64_t base, int64_t offset, uint8_t* value)
{
    return cecrash_async_copy_from_task(base, offset, value, sizeof(*value));
}

cecrash_error_t cecrash_async_task_fetch16(const cecrash_async_byteorder* order, uint64_t base, int64_t offset, uint16_t* value)
{
    const cecrash_error_t result = cecrash_async_copy_from_task(base, offset, value, sizeof(*value));
    *value = order->swap16(*value);
    return result;
}

cecrash_error_t cecrash_async_task_fetch32(const cecrash_async_byteorder* order, uint64_t base, int64_t offset, uint32_t* value)
{
    const cecrash_error_t result = cecrash_async_copy_from_task(base, offset, value, sizeof(*value));
    *value = order->swap32(*value);
    return result;
}

cecrash_error_t cecrash_async_task_fetch64(const cecrash_async_byteorder* order, uint64_t base, int64_t offset, uint64_t* value)
{
    const cecrash_error_t result = cecrash_async_copy_from_task(base, offset, value, sizeof(*value));
    *value = order->swap64(*value);
    return result;
}
