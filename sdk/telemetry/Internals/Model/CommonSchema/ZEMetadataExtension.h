// Common-schema metadata extension ("metadata"): a dictionary whose own entries form the object
// (a set but empty dictionary writes {}). Read and written under a lock of its own.
#pragma once

#include "sdk/telemetry/Internals/Model/CommonSchema/ZECSExtension.h"

#include <mutex>

namespace ze {

class ZEMetadataExtension : public ZECSExtension {
public:
    static constexpr const char* kClassName = "ZEMetadataExtension";

    std::optional<ZEJson> metadata() const
    {
        std::lock_guard lock(mutex_);
        return metadata_;
    }
    void setMetadata(std::optional<ZEJson> metadata)
    {
        std::lock_guard lock(mutex_);
        metadata_ = std::move(metadata);
    }

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override { return metadata().value_or(ZEJson()); }
    bool isEqual(const ZESerializableObject& other) const override
    {
        const auto* ext = dynamic_cast<const ZEMetadataExtension*>(&other);
        if (!ext) {
            return false;
        }
        const auto mine = metadata();
        const auto theirs = ext->metadata();
        // Dictionaries compare by entries, whatever order they were built in.
        return mine.has_value() == theirs.has_value() && (!mine || nlohmann::json(*mine) == nlohmann::json(*theirs));
    }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override
    {
        if (auto value = metadata()) {
            coder.encodeUnkeyedJson(*value);
        }
    }
    void initWithCoder(ZEKeyedUnarchiver& coder) { setMetadata(coder.decodeUnkeyedJson()); }

private:
    mutable std::mutex mutex_;
    std::optional<ZEJson> metadata_;
};

} // namespace ze
