// The extensions of a common-schema log ("ext"): each written under its key when it is set and
// writes something.
#pragma once

#include "sdk/telemetry/Internals/Model/CommonSchema/ZEAppExtension.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZEDeviceExtension.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZELocExtension.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZEMetadataExtension.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZENetExtension.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZEOSExtension.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZEProtocolExtension.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZESDKExtension.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZEUserExtension.h"

#include <memory>

namespace ze {

class ZECSExtensions : public ZESerializableObject, public ZEModel {
public:
    static constexpr const char* kClassName = "ZECSExtensions";

    std::shared_ptr<ZEMetadataExtension> metadataExt;
    std::shared_ptr<ZEProtocolExtension> protocolExt;
    std::shared_ptr<ZEUserExtension> userExt;
    std::shared_ptr<ZEDeviceExtension> deviceExt;
    std::shared_ptr<ZEOSExtension> osExt;
    std::shared_ptr<ZEAppExtension> appExt;
    std::shared_ptr<ZENetExtension> netExt;
    std::shared_ptr<ZESDKExtension> sdkExt;
    std::shared_ptr<ZELocExtension> locExt;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    bool isValid() const override;
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

} // namespace ze
