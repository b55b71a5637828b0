// Reading and writing a history (an array of entries, oldest first) as a keyed archive under one
// key of the SDK's settings, and finding the entry in force at a time.
#pragma once

#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

#include <memory>
#include <vector>

namespace ze {

template <class Entry>
std::vector<std::shared_ptr<Entry>> ZELoadHistory(const std::string& key)
{
    const auto stored = ZEZavEdurovUserDefaults::shared().objectForKey(key);
    const auto* data = stored ? std::get_if<ZEData>(&*stored) : nullptr;
    if (!data) {
        return {};
    }
    return ZEUtility::unarchiveKeyedArray<Entry>(*data).value_or(std::vector<std::shared_ptr<Entry>>());
}

template <class Entry>
void ZESaveHistory(const std::string& key, const std::vector<std::shared_ptr<Entry>>& history)
{
    if (auto data = ZEUtility::archiveKeyedArray(history)) {
        ZEZavEdurovUserDefaults::shared().setObject(std::move(*data), key);
    }
}

// The newest entry stamped strictly before `date`, or none.
template <class Entry>
std::shared_ptr<Entry> ZEEntryInForceAt(const std::vector<std::shared_ptr<Entry>>& history, ZEDate date)
{
    for (auto it = history.rbegin(); it != history.rend(); ++it) {
        if ((*it)->timestamp && *(*it)->timestamp < date) {
            return *it;
        }
    }
    return nullptr;
}

} // namespace ze
