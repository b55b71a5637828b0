// The data part ("data") of a common-schema log: "baseType" and "baseData" lead, then the
// event's properties. Archived as one unkeyed dictionary.
#pragma once

#include "sdk/telemetry/Internals/Model/CommonSchema/ZECSExtension.h"

#include <mutex>

namespace ze {

class ZECSData : public ZECSExtension {
public:
    static constexpr const char* kClassName = "ZECSData";

    std::optional<ZEJson> properties() const
    {
        std::lock_guard lock(mutex_);
        return properties_;
    }
    void setProperties(std::optional<ZEJson> properties)
    {
        std::lock_guard lock(mutex_);
        properties_ = std::move(properties);
    }

    std::string archiveClassName() const override { return kClassName; }
    // Null when no properties are set.
    ZEJson serializeToDictionary() const override
    {
        const auto all = properties();
        if (!all) {
            return ZEJson();
        }
        ZEJson json = ZEJson::object();
        for (const char* leading : {"baseType", "baseData"}) {
            if (all->is_object() && all->contains(leading)) {
                json[leading] = (*all)[leading];
            }
        }
        if (all->is_object()) {
            for (const auto& [key, value] : all->items()) {
                if (!json.contains(key)) {
                    json[key] = value;
                }
            }
        }
        return json;
    }
    bool isEqual(const ZESerializableObject& other) const override
    {
        const auto* data = dynamic_cast<const ZECSData*>(&other);
        if (!data) {
            return false;
        }
        const auto mine = properties();
        const auto theirs = data->properties();
        return mine.has_value() == theirs.has_value() && (!mine || nlohmann::json(*mine) == nlohmann::json(*theirs));
    }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override
    {
        if (auto value = properties()) {
            coder.encodeUnkeyedJson(*value);
        }
    }
    void initWithCoder(ZEKeyedUnarchiver& coder) { setProperties(coder.decodeUnkeyedJson()); }

private:
    mutable std::mutex mutex_;
    std::optional<ZEJson> properties_;
};

} // namespace ze
