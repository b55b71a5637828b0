// Common-schema SDK extension ("sdk"): library version, the epoch and sequence number of the log
// within its instrumentation key's run, and the install id.
#pragma once

#include "sdk/telemetry/Internals/Model/CommonSchema/ZECSExtension.h"

#include <cstdint>

namespace ze {

class ZESDKExtension : public ZECSExtension {
public:
    static constexpr const char* kClassName = "ZESDKExtension";

    std::optional<std::string> libVer;
    std::optional<std::string> epoch;
    // Written only when not 0.
    std::int64_t seq = 0;
    std::optional<ZEUuid> installId;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override
    {
        ZEJson json = ZEJson::object();
        ZESetIfPresent(json, "libVer", libVer);
        ZESetIfPresent(json, "epoch", epoch);
        if (seq != 0) {
            json["seq"] = seq;
        }
        if (installId) {
            json["installId"] = installId->UUIDString();
        }
        return nonEmpty(std::move(json));
    }
    bool isEqual(const ZESerializableObject& other) const override
    {
        const auto* ext = dynamic_cast<const ZESDKExtension*>(&other);
        return ext && libVer == ext->libVer && epoch == ext->epoch && seq == ext->seq && installId == ext->installId;
    }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override
    {
        coder.encodeString("libVer", libVer);
        coder.encodeString("epoch", epoch);
        coder.encodeInt64("seq", seq);
        coder.encodeUuid("installId", installId);
    }
    void initWithCoder(ZEKeyedUnarchiver& coder)
    {
        libVer = coder.decodeString("libVer");
        epoch = coder.decodeString("epoch");
        seq = coder.decodeInt64("seq");
        installId = coder.decodeUuid("installId");
    }
};

} // namespace ze
