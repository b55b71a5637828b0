// A dictionary that keeps its keys in the order they were first set; setting an existing key
// replaces its value in place. Equal only to another ordered dictionary with the same order.
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZETypes.h"

#include <optional>
#include <string>
#include <vector>

namespace ze {

class ZEOrderedDictionary {
public:
    void setObject(const ZEJson& value, const std::string& key) { json_[key] = value; }
    std::optional<ZEJson> objectForKey(const std::string& key) const
    {
        const auto found = json_.find(key);
        return found == json_.end() ? std::nullopt : std::optional(*found);
    }
    std::size_t count() const { return json_.size(); }
    std::vector<std::string> keys() const
    {
        std::vector<std::string> keys;
        for (const auto& [key, value] : json_.items()) {
            keys.push_back(key);
        }
        return keys;
    }
    void removeAllObjects() { json_ = ZEJson::object(); }
    // Same entries in the same order.
    bool isEqualToDictionary(const ZEOrderedDictionary& other) const { return json_ == other.json_; }
    // The JSON object, members in first-insertion order.
    const ZEJson& json() const { return json_; }

private:
    ZEJson json_ = ZEJson::object();
};

} // namespace ze
