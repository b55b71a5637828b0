#include "sdk/telemetry/Internals/Model/CommonSchema/ZECSEpochAndSeq.h"

#include "sdk/telemetry/Internals/Util/Platform/ZEUuid.h"

namespace ze {

ZECSEpochAndSeq ZECSEpochAndSeqTable::next(const std::string& iKey)
{
    std::lock_guard lock(mutex_);
    auto [entry, created] = epochsAndSeqsByIKey_.try_emplace(iKey);
    if (created) {
        entry->second.epoch = ZEUuid::create().UUIDString();
    }
    ++entry->second.seq;
    return entry->second;
}

void ZECSEpochAndSeqTable::clear()
{
    std::lock_guard lock(mutex_);
    epochsAndSeqsByIKey_.clear();
}

} // namespace ze
