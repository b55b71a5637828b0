// Common-schema protocol extension ("protocol"): ticket keys and the device's maker and model.
#pragma once

#include "sdk/telemetry/Internals/Model/CommonSchema/ZECSExtension.h"

#include <vector>

namespace ze {

class ZEProtocolExtension : public ZECSExtension {
public:
    static constexpr const char* kClassName = "ZEProtocolExtension";

    std::optional<std::vector<std::string>> ticketKeys;
    std::optional<std::string> devMake;
    std::optional<std::string> devModel;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override
    {
        ZEJson json = ZEJson::object();
        ZESetIfPresent(json, "ticketKeys", ticketKeys);
        ZESetIfPresent(json, "devMake", devMake);
        ZESetIfPresent(json, "devModel", devModel);
        return nonEmpty(std::move(json));
    }
    bool isEqual(const ZESerializableObject& other) const override
    {
        const auto* ext = dynamic_cast<const ZEProtocolExtension*>(&other);
        return ext && ticketKeys == ext->ticketKeys && devMake == ext->devMake && devModel == ext->devModel;
    }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override
    {
        coder.encodeStringArray("ticketKeys", ticketKeys);
        coder.encodeString("devMake", devMake);
        coder.encodeString("devModel", devModel);
    }
    void initWithCoder(ZEKeyedUnarchiver& coder)
    {
        ticketKeys = coder.decodeStringArray("ticketKeys");
        devMake = coder.decodeString("devMake");
        devModel = coder.decodeString("devModel");
    }
};

} // namespace ze
