// Common-schema operating-system extension ("os"): version with build, and name.
#pragma once

#include "sdk/telemetry/Internals/Model/CommonSchema/ZECSExtension.h"

namespace ze {

class ZEOSExtension : public ZECSExtension {
public:
    static constexpr const char* kClassName = "ZEOSExtension";

    std::optional<std::string> name;
    std::optional<std::string> ver;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override
    {
        ZEJson json = ZEJson::object();
        ZESetIfPresent(json, "ver", ver);
        ZESetIfPresent(json, "name", name);
        return nonEmpty(std::move(json));
    }
    bool isEqual(const ZESerializableObject& other) const override
    {
        const auto* ext = dynamic_cast<const ZEOSExtension*>(&other);
        return ext && ver == ext->ver && name == ext->name;
    }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override
    {
        coder.encodeString("name", name);
        coder.encodeString("ver", ver);
    }
    void initWithCoder(ZEKeyedUnarchiver& coder)
    {
        name = coder.decodeString("name");
        ver = coder.decodeString("ver");
    }
};

} // namespace ze
