// Common-schema device extension ("device"): the device id chosen by the property configurator.
#pragma once

#include "sdk/telemetry/Internals/Model/CommonSchema/ZECSExtension.h"

namespace ze {

class ZEDeviceExtension : public ZECSExtension {
public:
    static constexpr const char* kClassName = "ZEDeviceExtension";

    std::optional<std::string> localId;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override
    {
        ZEJson json = ZEJson::object();
        ZESetIfPresent(json, "localId", localId);
        return nonEmpty(std::move(json));
    }
    bool isEqual(const ZESerializableObject& other) const override
    {
        const auto* ext = dynamic_cast<const ZEDeviceExtension*>(&other);
        return ext && localId == ext->localId;
    }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override { coder.encodeString("localId", localId); }
    void initWithCoder(ZEKeyedUnarchiver& coder) { localId = coder.decodeString("localId"); }
};

} // namespace ze
