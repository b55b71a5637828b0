// A history entry holding the device record in force from its timestamp on.
#pragma once

#include "sdk/telemetry/Internals/Model/ZEHistoryInfo.h"
#include "sdk/telemetry/Model/ZEDevice.h"

#include <memory>

namespace ze {

class ZEDeviceHistoryInfo : public ZEHistoryInfo {
public:
    static constexpr const char* kClassName = "ZEDeviceHistoryInfo";

    ZEDeviceHistoryInfo() = default;
    ZEDeviceHistoryInfo(std::optional<ZEDate> timestamp, std::shared_ptr<ZEDevice> device)
        : ZEHistoryInfo(timestamp)
        , device(std::move(device))
    {
    }

    std::shared_ptr<ZEDevice> device;

    std::string archiveClassName() const override { return kClassName; }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override
    {
        ZEHistoryInfo::encodeWithCoder(coder);
        coder.encodeObject("deviceKey", device);
    }
    void initWithCoder(ZEKeyedUnarchiver& coder)
    {
        ZEHistoryInfo::initWithCoder(coder);
        device = coder.decodeObject<ZEDevice>("deviceKey");
    }
    bool isEqual(const ZEHistoryInfo& other) const override
    {
        return ZEHistoryInfo::isEqual(other)
            && ZEEqualObjects(device, static_cast<const ZEDeviceHistoryInfo&>(other).device);
    }
};

} // namespace ze
