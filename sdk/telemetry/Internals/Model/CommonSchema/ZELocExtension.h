// Common-schema location extension ("loc"): the local time's offset from UTC as "+02:00".
#pragma once

#include "sdk/telemetry/Internals/Model/CommonSchema/ZECSExtension.h"

namespace ze {

class ZELocExtension : public ZECSExtension {
public:
    static constexpr const char* kClassName = "ZELocExtension";

    std::optional<std::string> tz;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override
    {
        ZEJson json = ZEJson::object();
        ZESetIfPresent(json, "tz", tz);
        return nonEmpty(std::move(json));
    }
    bool isEqual(const ZESerializableObject& other) const override
    {
        const auto* ext = dynamic_cast<const ZELocExtension*>(&other);
        return ext && tz == ext->tz;
    }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override { coder.encodeString("tz", tz); }
    void initWithCoder(ZEKeyedUnarchiver& coder) { tz = coder.decodeString("tz"); }
};

} // namespace ze
