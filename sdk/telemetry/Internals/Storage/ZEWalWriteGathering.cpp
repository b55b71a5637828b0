#include "sdk/telemetry/Internals/Storage/ZEWalWriteGathering.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace ze {

namespace {

// The write-ahead log's layout: a 32-byte header holding the page size, then frames of a 24-byte
// header and one page. A frame whose header's second word is not zero ends a commit.
constexpr sqlite3_int64 kLogHeaderSize = 32;
constexpr sqlite3_int64 kFrameHeaderSize = 24;
constexpr std::uint32_t kLogMagic = 0x377f0682;
// Past this, gathered bytes are written at the next frame's start even within a commit.
constexpr std::size_t kMostGathered = 256 * 1024;
// SQLite's own layer writes at most 128 KiB in one call; gathered bytes go in pieces of 64 KiB.
constexpr std::size_t kMostWritten = 64 * 1024;

std::uint32_t bigEndian32(const unsigned char* bytes)
{
    return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8) | bytes[3];
}

// The frame size a log header announces; 0 for anything that is not a log header.
sqlite3_int64 frameSizeFromLogHeader(const unsigned char* header)
{
    const std::uint32_t pageSize = bigEndian32(header + 8);
    if ((bigEndian32(header) & ~1u) != kLogMagic || pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0) {
        return 0;
    }
    return kFrameHeaderSize + pageSize;
}

struct Gathered {
    std::vector<unsigned char> bytes;
    sqlite3_int64 start = 0;
    sqlite3_int64 frameSize = 0; // 0 until known: writes then go straight through
    sqlite3_int64 commitEnd = -1; // where the commit frame seen among the gathered bytes ends

    sqlite3_int64 end() const { return start + static_cast<sqlite3_int64>(bytes.size()); }
    bool isFrameStart(sqlite3_int64 offset) const
    {
        return offset >= kLogHeaderSize && (offset - kLogHeaderSize) % frameSize == 0;
    }
};

// SQLite's file for the log, preceded by what this layer keeps; SQLite allocates the whole.
struct GatheredLog {
    sqlite3_file base;
    sqlite3_file* real;
    Gathered* gathered;
};

sqlite3_vfs* realLayer(sqlite3_vfs* layer)
{
    return static_cast<sqlite3_vfs*>(layer->pAppData);
}

GatheredLog& asLog(sqlite3_file* file)
{
    return *reinterpret_cast<GatheredLog*>(file);
}

sqlite3_file* real(sqlite3_file* file)
{
    return asLog(file).real;
}

int writeGathered(GatheredLog& log)
{
    Gathered& g = *log.gathered;
    if (g.bytes.empty()) {
        return SQLITE_OK;
    }
    int result = SQLITE_OK;
    for (std::size_t done = 0; done < g.bytes.size() && result == SQLITE_OK; done += kMostWritten) {
        const std::size_t amount = std::min(kMostWritten, g.bytes.size() - done);
        result = log.real->pMethods->xWrite(log.real, g.bytes.data() + done, static_cast<int>(amount),
            g.start + static_cast<sqlite3_int64>(done));
    }
    g.bytes.clear();
    g.commitEnd = -1;
    return result;
}

// Learns the frame size from the log's header on disk, for a log some other connection began.
void learnFrameSize(GatheredLog& log)
{
    unsigned char header[kLogHeaderSize];
    if (log.real->pMethods->xRead(log.real, header, sizeof header, 0) == SQLITE_OK) {
        log.gathered->frameSize = frameSizeFromLogHeader(header);
    }
}

int logWrite(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset)
{
    GatheredLog& log = asLog(file);
    Gathered& g = *log.gathered;
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (offset == 0 && amount >= kLogHeaderSize) {
        g.frameSize = frameSizeFromLogHeader(bytes);
    } else if (g.frameSize == 0 && g.bytes.empty()) {
        learnFrameSize(log);
    }
    if (g.frameSize == 0) {
        const int result = writeGathered(log);
        return result != SQLITE_OK ? result : log.real->pMethods->xWrite(log.real, data, amount, offset);
    }
    if (!g.bytes.empty() && (offset != g.end() || (g.bytes.size() >= kMostGathered && g.isFrameStart(offset)))) {
        const int result = writeGathered(log);
        if (result != SQLITE_OK) {
            return result;
        }
    }
    if (g.bytes.empty()) {
        g.start = offset;
    }
    g.bytes.insert(g.bytes.end(), bytes, bytes + amount);

    // Any frame header now wholly gathered that this write touched: does it end a commit?
    sqlite3_int64 header = std::max(g.start, offset - kFrameHeaderSize + 1);
    if (header < kLogHeaderSize) {
        header = kLogHeaderSize;
    } else if (!g.isFrameStart(header)) {
        header += g.frameSize - (header - kLogHeaderSize) % g.frameSize;
    }
    for (; header + kFrameHeaderSize <= g.end() && header < offset + amount; header += g.frameSize) {
        if (bigEndian32(g.bytes.data() + (header - g.start) + 4) != 0) {
            g.commitEnd = header + g.frameSize;
        }
    }
    if (g.commitEnd >= 0 && g.end() >= g.commitEnd) {
        return writeGathered(log);
    }
    return SQLITE_OK;
}

// Everything else that touches the log sees the file as SQLite wrote it: gathered bytes go first.
template <class Call>
int afterWriting(sqlite3_file* file, Call call)
{
    const int result = writeGathered(asLog(file));
    return result != SQLITE_OK ? result : call(real(file));
}

int logClose(sqlite3_file* file)
{
    GatheredLog& log = asLog(file);
    const int written = writeGathered(log);
    delete log.gathered;
    log.gathered = nullptr;
    const int closed = log.real->pMethods->xClose(log.real);
    return written != SQLITE_OK ? written : closed;
}

const sqlite3_io_methods kLogMethods = {
    3,
    logClose,
    [](sqlite3_file* file, void* data, int amount, sqlite3_int64 offset) {
        return afterWriting(file, [&](sqlite3_file* r) { return r->pMethods->xRead(r, data, amount, offset); });
    },
    logWrite,
    [](sqlite3_file* file, sqlite3_int64 size) {
        return afterWriting(file, [&](sqlite3_file* r) { return r->pMethods->xTruncate(r, size); });
    },
    [](sqlite3_file* file, int flags) {
        return afterWriting(file, [&](sqlite3_file* r) { return r->pMethods->xSync(r, flags); });
    },
    [](sqlite3_file* file, sqlite3_int64* size) {
        return afterWriting(file, [&](sqlite3_file* r) { return r->pMethods->xFileSize(r, size); });
    },
    [](sqlite3_file* file, int lock) {
        return afterWriting(file, [&](sqlite3_file* r) { return r->pMethods->xLock(r, lock); });
    },
    [](sqlite3_file* file, int lock) {
        return afterWriting(file, [&](sqlite3_file* r) { return r->pMethods->xUnlock(r, lock); });
    },
    [](sqlite3_file* file, int* reserved) { return real(file)->pMethods->xCheckReservedLock(real(file), reserved); },
    [](sqlite3_file* file, int operation, void* argument) {
        return afterWriting(file, [&](sqlite3_file* r) { return r->pMethods->xFileControl(r, operation, argument); });
    },
    [](sqlite3_file* file) { return real(file)->pMethods->xSectorSize(real(file)); },
    [](sqlite3_file* file) { return real(file)->pMethods->xDeviceCharacteristics(real(file)); },
    [](sqlite3_file* file, int page, int pageSize, int extend, void volatile** mapped) {
        const sqlite3_io_methods* methods = real(file)->pMethods;
        return methods->iVersion >= 2 ? methods->xShmMap(real(file), page, pageSize, extend, mapped) : SQLITE_IOERR;
    },
    [](sqlite3_file* file, int offset, int count, int flags) {
        const sqlite3_io_methods* methods = real(file)->pMethods;
        return methods->iVersion >= 2 ? methods->xShmLock(real(file), offset, count, flags) : SQLITE_IOERR;
    },
    [](sqlite3_file* file) {
        const sqlite3_io_methods* methods = real(file)->pMethods;
        if (methods->iVersion >= 2) {
            methods->xShmBarrier(real(file));
        }
    },
    [](sqlite3_file* file, int deleteFlag) {
        const sqlite3_io_methods* methods = real(file)->pMethods;
        return methods->iVersion >= 2 ? methods->xShmUnmap(real(file), deleteFlag) : SQLITE_OK;
    },
    [](sqlite3_file* file, sqlite3_int64 offset, int amount, void** page) {
        const sqlite3_io_methods* methods = real(file)->pMethods;
        if (methods->iVersion >= 3) {
            return afterWriting(file, [&](sqlite3_file* r) { return methods->xFetch(r, offset, amount, page); });
        }
        *page = nullptr;
        return SQLITE_OK;
    },
    [](sqlite3_file* file, sqlite3_int64 offset, void* page) {
        const sqlite3_io_methods* methods = real(file)->pMethods;
        return methods->iVersion >= 3 ? methods->xUnfetch(real(file), offset, page) : SQLITE_OK;
    },
};

constexpr int kRealFileOffset = (sizeof(GatheredLog) + 15) & ~15;

int open(sqlite3_vfs* layer, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
{
    sqlite3_vfs* below = realLayer(layer);
    if ((flags & SQLITE_OPEN_WAL) == 0) {
        return below->xOpen(below, name, file, flags, outFlags);
    }
    GatheredLog& log = asLog(file);
    log.base.pMethods = nullptr;
    log.real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + kRealFileOffset);
    log.real->pMethods = nullptr;
    log.gathered = nullptr;
    const int result = below->xOpen(below, name, log.real, flags, outFlags);
    if (result != SQLITE_OK) {
        if (log.real->pMethods) {
            log.real->pMethods->xClose(log.real);
        }
        return result;
    }
    log.gathered = new (std::nothrow) Gathered;
    if (!log.gathered) {
        log.real->pMethods->xClose(log.real);
        return SQLITE_NOMEM;
    }
    log.base.pMethods = &kLogMethods;
    return SQLITE_OK;
}

sqlite3_vfs makeLayer(sqlite3_vfs* below)
{
    sqlite3_vfs layer{};
    layer.iVersion = std::min(below->iVersion, 3);
    layer.szOsFile = kRealFileOffset + below->szOsFile;
    layer.mxPathname = below->mxPathname;
    layer.zName = "ze-wal-write-gathering";
    layer.pAppData = below;
    layer.xOpen = open;
    layer.xDelete = [](sqlite3_vfs* l, const char* name, int syncDir) { return realLayer(l)->xDelete(realLayer(l), name, syncDir); };
    layer.xAccess = [](sqlite3_vfs* l, const char* name, int flags, int* out) { return realLayer(l)->xAccess(realLayer(l), name, flags, out); };
    layer.xFullPathname = [](sqlite3_vfs* l, const char* name, int size, char* out) {
        return realLayer(l)->xFullPathname(realLayer(l), name, size, out);
    };
    layer.xDlOpen = [](sqlite3_vfs* l, const char* name) { return realLayer(l)->xDlOpen(realLayer(l), name); };
    layer.xDlError = [](sqlite3_vfs* l, int size, char* message) { realLayer(l)->xDlError(realLayer(l), size, message); };
    layer.xDlSym = [](sqlite3_vfs* l, void* handle, const char* symbol) { return realLayer(l)->xDlSym(realLayer(l), handle, symbol); };
    layer.xDlClose = [](sqlite3_vfs* l, void* handle) { realLayer(l)->xDlClose(realLayer(l), handle); };
    layer.xRandomness = [](sqlite3_vfs* l, int size, char* out) { return realLayer(l)->xRandomness(realLayer(l), size, out); };
    layer.xSleep = [](sqlite3_vfs* l, int microseconds) { return realLayer(l)->xSleep(realLayer(l), microseconds); };
    layer.xCurrentTime = [](sqlite3_vfs* l, double* now) { return realLayer(l)->xCurrentTime(realLayer(l), now); };
    layer.xGetLastError = [](sqlite3_vfs* l, int size, char* out) { return realLayer(l)->xGetLastError(realLayer(l), size, out); };
    if (layer.iVersion >= 2) {
        layer.xCurrentTimeInt64 = [](sqlite3_vfs* l, sqlite3_int64* now) { return realLayer(l)->xCurrentTimeInt64(realLayer(l), now); };
    }
    if (layer.iVersion >= 3) {
        layer.xSetSystemCall = [](sqlite3_vfs* l, const char* name, sqlite3_syscall_ptr call) {
            return realLayer(l)->xSetSystemCall(realLayer(l), name, call);
        };
        layer.xGetSystemCall = [](sqlite3_vfs* l, const char* name) { return realLayer(l)->xGetSystemCall(realLayer(l), name); };
        layer.xNextSystemCall = [](sqlite3_vfs* l, const char* name) { return realLayer(l)->xNextSystemCall(realLayer(l), name); };
    }
    return layer;
}

} // namespace

const char* ZEWalWriteGatheringName()
{
    static const char* name = [] () -> const char* {
        sqlite3_vfs* below = sqlite3_vfs_find(nullptr);
        if (!below) {
            return nullptr;
        }
        static sqlite3_vfs layer = makeLayer(below);
        return sqlite3_vfs_register(&layer, 0) == SQLITE_OK ? layer.zName : nullptr;
    }();
    return name;
}

} // namespace ze
