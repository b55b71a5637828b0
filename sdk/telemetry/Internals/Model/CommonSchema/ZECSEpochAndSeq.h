// The running numbering of common-schema logs per instrumentation key: an epoch (a UUID string
// chosen when the key is first seen) and the last sequence number given out in it.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace ze {

struct ZECSEpochAndSeq {
    std::string epoch;
    std::uint64_t seq = 0;
};

// The records of all keys, shared by the threads that enqueue logs: each stamp takes the next
// number under one lock, so no two logs of a key ever get the same one.
class ZECSEpochAndSeqTable {
public:
    ZECSEpochAndSeqTable() = default;
    ZECSEpochAndSeqTable(const ZECSEpochAndSeqTable&) = delete;
    ZECSEpochAndSeqTable& operator=(const ZECSEpochAndSeqTable&) = delete;

    // The key's epoch and its next sequence number (1 for the first log of a new epoch).
    ZECSEpochAndSeq next(const std::string& iKey);
    // Forgets every key: their next logs start new epochs.
    void clear();

private:
    std::mutex mutex_;
    std::map<std::string, ZECSEpochAndSeq> epochsAndSeqsByIKey_;
};

} // namespace ze
