// Common-schema network extension ("net"): the mobile carrier, never known on a desktop.
#pragma once

#include "sdk/telemetry/Internals/Model/CommonSchema/ZECSExtension.h"

namespace ze {

class ZENetExtension : public ZECSExtension {
public:
    static constexpr const char* kClassName = "ZENetExtension";

    std::optional<std::string> provider;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override
    {
        ZEJson json = ZEJson::object();
        ZESetIfPresent(json, "provider", provider);
        return nonEmpty(std::move(json));
    }
    bool isEqual(const ZESerializableObject& other) const override
    {
        const auto* ext = dynamic_cast<const ZENetExtension*>(&other);
        return ext && provider == ext->provider;
    }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override { coder.encodeString("provider", provider); }
    void initWithCoder(ZEKeyedUnarchiver& coder) { provider = coder.decodeString("provider"); }
};

} // namespace ze
