// Reading and writing a history (an array of entries, oldest first) as a keyed archive under one
// key of the SDK's settings, and finding the entry in force at a time.
#pragma once

#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Util/ZEArchiverUtil.h"
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

// A history persisted under one key. Its stored entries read as nothing until the SDK has
// registered the classes they were archived as, which it does when it is first touched; a host
// may make the services, and with them the contexts, before that. So the stored entries are read
// at creation only when the classes are known, and otherwise by `load`, which the SDK's
// configuration calls; they go in front of the entries made meanwhile, and nothing is written
// before they are read, so that a launch never writes itself over the launches before it.
template <class Entry>
class ZEHistory {
public:
    explicit ZEHistory(std::string key)
        : key_(std::move(key))
    {
        if (ZEArchiverUtil::hasAllowedZavEdurovModuleClasses()) {
            load();
        }
    }

    // Reads the stored entries, once; answers whether it read them now.
    bool load()
    {
        if (loaded_) {
            return false;
        }
        auto stored = ZELoadHistory<Entry>(key_);
        stored.insert(stored.end(), entries.begin(), entries.end());
        entries = std::move(stored);
        loaded_ = true;
        return true;
    }
    bool isLoaded() const { return loaded_; }
    // Drops the stored entries with the ones made so far.
    void clear()
    {
        entries.clear();
        loaded_ = true;
    }
    void persist() const
    {
        if (loaded_) {
            ZESaveHistory(key_, entries);
        }
    }

    std::vector<std::shared_ptr<Entry>> entries;

private:
    std::string key_;
    bool loaded_ = false;
};

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
