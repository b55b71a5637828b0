#include "sdk/crashes/ZECrashTimeLogBuffer.h"

#include "sdk/telemetry/Internals/Util/ZELogger.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cfloat>
#include <cstdlib>
#include <cstring>

namespace ze {

namespace {

constexpr const char* kCrashesTag = "ZavEdurovCrashes";
constexpr std::size_t kPathCapacity = 1024;

struct Block {
    std::size_t length;
    std::uint8_t bytes[];
};

struct Slot {
    char bufferPath[kPathCapacity];
    char tokenPath[kPathCapacity];
    std::atomic<Block*> buffer;
    std::atomic<Block*> token;
};

// Zero-filled before any code runs; never destroyed, so a crash during exit still finds it.
Slot g_slots[kZECrashTimeLogSlotCount];
std::atomic<bool> g_crashing{false};
std::atomic<bool> g_writtenAtCrash{false};

Block* makeBlock(const std::uint8_t* bytes, std::size_t length)
{
    if (length == 0) {
        return nullptr;
    }
    auto* block = static_cast<Block*>(std::malloc(sizeof(Block) + length));
    if (block) {
        block->length = length;
        std::memcpy(block->bytes, bytes, length);
    }
    return block;
}

// A replaced block may still be read by a crash in progress; it is then left alone.
void retire(Block* block)
{
    if (block && !g_crashing.load()) {
        std::free(block);
    }
}

void publish(std::atomic<Block*>& target, Block* block)
{
    retire(target.exchange(block));
}

void copyPath(char (&target)[kPathCapacity], const std::string& path)
{
    if (path.size() < kPathCapacity) {
        std::memcpy(target, path.c_str(), path.size() + 1);
    } else {
        target[0] = '\0';
    }
}

// Async-signal-safe.
void writeFile(const char* path, const Block* block)
{
    if (path[0] == '\0') {
        return;
    }
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        return;
    }
    if (block) {
        std::size_t written = 0;
        while (written < block->length) {
            const ssize_t result = ::write(fd, block->bytes + written, block->length - written);
            if (result <= 0) {
                break;
            }
            written += static_cast<std::size_t>(result);
        }
    }
    ::close(fd);
}

} // namespace

ZECrashTimeLogBuffer& ZECrashTimeLogBuffer::shared()
{
    static ZECrashTimeLogBuffer* buffer = new ZECrashTimeLogBuffer();
    return *buffer;
}

std::filesystem::path ZECrashTimeLogBuffer::tokenPathFor(const std::filesystem::path& bufferPath)
{
    std::string text = bufferPath.string();
    const std::string from = kZELogBufferExtension;
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), kZETargetTokenExtension);
        at += std::strlen(kZETargetTokenExtension);
    }
    return text;
}

void ZECrashTimeLogBuffer::setup(const std::filesystem::path& directory)
{
    std::lock_guard lock(mutex_);
    for (int index = 0; index < kZECrashTimeLogSlotCount; ++index) {
        const auto path = directory / (std::to_string(index) + "." + kZELogBufferExtension);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
        if (fd >= 0) {
            ::close(fd);
        }
        copyPath(g_slots[index].bufferPath, path.string());
        copyPath(g_slots[index].tokenPath, tokenPathFor(path).string());
        publish(g_slots[index].buffer, nullptr);
        publish(g_slots[index].token, nullptr);
        internalIds_[index].clear();
        timestamps_[index] = 0;
    }
}

void ZECrashTimeLogBuffer::store(const ZEData& archive, const std::string& encryptedToken, const std::string& internalId,
    double now)
{
    std::lock_guard lock(mutex_);
    int target = -1;
    int oldestIndex = 0;
    double oldest = DBL_MAX;
    for (int index = 0; index < kZECrashTimeLogSlotCount; ++index) {
        if (!g_slots[index].buffer.load()) {
            ZELogVerbose(kCrashesTag, "Found an empty buffer position.");
            target = index;
            break;
        }
        if (timestamps_[index] < oldest) {
            oldestIndex = index;
            oldest = timestamps_[index];
            ZELogVerbose(kCrashesTag, "Remembering index %ld for oldest timestamp %f.", static_cast<long>(index), oldest);
        }
    }
    if (target < 0) {
        ZELogVerbose(kCrashesTag, "Reached end of buffer. Next step is overwriting the oldest one.");
        target = oldestIndex;
        ZELogVerbose(kCrashesTag, "Overwrote buffered log at index %ld.", static_cast<long>(target));
    }
    auto& slot = g_slots[target];
    // The token goes first: a crash between the two writes then pairs the old log with no token
    // rather than the new log with the old log's token.
    publish(slot.token, nullptr);
    publish(slot.buffer, makeBlock(archive.data(), archive.size()));
    publish(slot.token, makeBlock(reinterpret_cast<const std::uint8_t*>(encryptedToken.data()), encryptedToken.size()));
    internalIds_[target] = internalId;
    timestamps_[target] = now;
}

void ZECrashTimeLogBuffer::clear(const std::string& internalId)
{
    if (internalId.empty()) {
        return;
    }
    std::lock_guard lock(mutex_);
    for (int index = 0; index < kZECrashTimeLogSlotCount; ++index) {
        if (internalIds_[index] != internalId) {
            continue;
        }
        ZELogVerbose(kCrashesTag, "Deleting a log from buffer with id %@", internalId);
        auto& slot = g_slots[index];
        publish(slot.buffer, nullptr);
        publish(slot.token, nullptr);
        internalIds_[index].clear();
        timestamps_[index] = 0;
        if (g_writtenAtCrash.load()) {
            ::unlink(slot.bufferPath);
            ZELogVerbose(kCrashesTag, "Deleted crash buffer file: %@.", std::string(slot.bufferPath));
        }
    }
}

int ZECrashTimeLogBuffer::usedSlotCount() const
{
    std::lock_guard lock(mutex_);
    int used = 0;
    for (const auto& slot : g_slots) {
        used += slot.buffer.load() ? 1 : 0;
    }
    return used;
}

void ZECrashTimeLogBuffer::writeLogBufferOnCrash(siginfo_t*, ucontext_t*, void*)
{
    g_crashing.store(true);
    g_writtenAtCrash.store(true);
    for (auto& slot : g_slots) {
        writeFile(slot.bufferPath, slot.buffer.load());
        const Block* token = slot.token.load();
        if (token) {
            writeFile(slot.tokenPath, token);
        }
    }
}

} // namespace ze
