#include "sdk/crash-engine/linux/MemoryReader.h"

#include <atomic>
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

// Page ranges found readable since the last reset. One reader at a time uses them; another
// one meanwhile asks the kernel instead of waiting.
constexpr size_t kReadableRangeSlots = 64;
struct ReadableRange {
    uint64_t start;
    uint64_t end;
};
ReadableRange g_readable[kReadableRangeSlots];
size_t g_readableCount = 0;
size_t g_readableNext = 0;
std::atomic<bool> g_readableBusy{false};
// Walks now running; pages are remembered only while there is one.
std::atomic<int> g_walks{0};

// Pages asked about per system call: one byte of each, gathered into one scratch buffer.
constexpr size_t kProbePages = 64;

// Async-signal-safe. The end of the remembered readable range holding address, or address.
uint64_t rememberedEnd(uint64_t address)
{
    for (size_t i = 0; i < g_readableCount; ++i) {
        if (address >= g_readable[i].start && address < g_readable[i].end)
            return g_readable[i].end;
    }
    return address;
}

// Async-signal-safe.
void remember(uint64_t start, uint64_t end)
{
    g_readable[g_readableNext] = {start, end};
    g_readableNext = (g_readableNext + 1) % kReadableRangeSlots;
    if (g_readableCount < kReadableRangeSlots)
        ++g_readableCount;
}

// Async-signal-safe. Asks the kernel which of `count` pages from `page` on can be read: the
// number of leading readable pages.
size_t probePages(uint64_t page, size_t count)
{
    uint8_t scratch[kProbePages];
    iovec local{scratch, count};
    iovec remote[kProbePages];
    for (size_t i = 0; i < count; ++i)
        remote[i] = {reinterpret_cast<void*>(page + i * kPageSize), 1};
    const int savedErrno = errno;
    const ssize_t got = process_vm_readv(getpid(), &local, 1, remote, count, 0);
    errno = savedErrno;
    return got > 0 ? static_cast<size_t>(got) : 0;
}

}  // namespace

void cecrash_async_copy_readable(void* destination, uint64_t address, size_t length)
{
    auto* out = static_cast<uint8_t*>(destination);
    const volatile uint8_t* in = reinterpret_cast<const volatile uint8_t*>(address);
    for (size_t i = 0; i < length; ++i)
        out[i] = in[i];
}

uint64_t cecrash_async_readable_length(uint64_t address, uint64_t length)
{
    if (length == 0 || address + length < address)
        return 0;
    const uint64_t end = address + length;
    const bool cached = g_walks.load() > 0 && !g_readableBusy.exchange(true, std::memory_order_acquire);
    uint64_t reached = address;
    while (reached < end) {
        const uint64_t known = cached ? rememberedEnd(reached) : reached;
        if (known > reached) {
            reached = known;
            continue;
        }
        const uint64_t page = reached & ~(kPageSize - 1);
        const uint64_t pagesLeft = (end - page + kPageSize - 1) / kPageSize;
        const size_t asked = pagesLeft < kProbePages ? static_cast<size_t>(pagesLeft) : kProbePages;
        const size_t readable = probePages(page, asked);
        if (readable == 0)
            break;
        const uint64_t readableEnd = page + readable * kPageSize;
        if (cached)
            remember(page, readableEnd);
        reached = readableEnd;
        if (readable < asked)
            break;
    }
    if (cached)
        g_readableBusy.store(false, std::memory_order_release);
    return reached >= end ? length : (reached > address ? reached - address : 0);
}

namespace {

// Async-signal-safe. Forgets every remembered range, unless another reader holds them now.
void forgetReadablePages()
{
    if (g_readableBusy.exchange(true, std::memory_order_acquire))
        return;
    g_readableCount = 0;
    g_readableNext = 0;
    g_readableBusy.store(false, std::memory_order_release);
}

}  // namespace

void cecrash_async_readable_pages_begin()
{
    forgetReadablePages();
    g_walks.fetch_add(1);
}

void cecrash_async_readable_pages_end()
{
    g_walks.fetch_sub(1);
    forgetReadablePages();
}

cecrash_error_t cecrash_async_copy_from_task(uint64_t base, int64_t offset, void* destination, size_t length)
{
    uint64_t address = 0;
    if (!cecrash_async_offset_address(base, offset, &address))
        return CECRASH_ENOMEM;
    if (length == 0)
        return CECRASH_ESUCCESS;
    if (address + length < address)
        return CECRASH_ENOTFOUND;
    if (cecrash_async_readable_length(address, length) == length) {
        cecrash_async_copy_readable(destination, address, length);
        return CECRASH_ESUCCESS;
    }
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
