// Logs that a channel unit has prepared but the store has not taken yet would die with a crash.
// The buffer keeps a copy of each in one of 60 fixed slots until the store has it, and writes
// every slot to its own file when the process crashes, so the next launch can queue them again.
//
// Each slot's bytes are published as one immutable block through an atomic pointer, so the
// crash-time writer sees either the old or the new block whole, never a freed one: once a crash
// has begun, replaced blocks are no longer freed.
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZETypes.h"

#include <csignal>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <ucontext.h>

namespace ze {

inline constexpr int kZECrashTimeLogSlotCount = 60;
inline constexpr const char* kZELogBufferExtension = "zecrasheslogbuffer";
inline constexpr const char* kZETargetTokenExtension = "targettoken";

class ZECrashTimeLogBuffer {
public:
    // The process-wide buffer; its slot table lives in static storage.
    static ZECrashTimeLogBuffer& shared();

    // Names the slot files "<n>.zecrasheslogbuffer" in `directory` and creates the missing ones
    // empty; files a crash left behind keep their content for the replay.
    void setup(const std::filesystem::path& directory);
    // Takes the first free slot, or the one filled longest ago when all are full.
    void store(const ZEData& archive, const std::string& encryptedToken, const std::string& internalId, double now);
    // Frees every slot holding that log; after a crash was written, also deletes its file.
    void clear(const std::string& internalId);
    // How many slots hold a log.
    int usedSlotCount() const;
    // The token file beside a buffer file.
    static std::filesystem::path tokenPathFor(const std::filesystem::path& bufferPath);

    // The crash engine's post-crash callback: writes every slot to its file (a free slot leaves
    // an empty file) and, where there is one, its token file.
    // Async-signal-safe.
    static void writeLogBufferOnCrash(siginfo_t* info, ucontext_t* context, void* userContext);

private:
    ZECrashTimeLogBuffer() = default;

    mutable std::mutex mutex_;
    std::string internalIds_[kZECrashTimeLogSlotCount];
    double timestamps_[kZECrashTimeLogSlotCount] = {};
};

} // namespace ze
