// What an SDK that wraps this one (for another runtime) adds to the device record.
#pragma once

#include "sdk/telemetry/Internals/Model/ZESerializableObject.h"

namespace ze {

class ZEWrapperSdk : public ZESerializableObject, public ZEModel {
public:
    static constexpr const char* kClassName = "ZEWrapperSdk";

    ZEWrapperSdk() = default;
    ZEWrapperSdk(std::optional<std::string> wrapperSdkVersion, std::optional<std::string> wrapperSdkName,
        std::optional<std::string> wrapperRuntimeVersion, std::optional<std::string> liveUpdateReleaseLabel,
        std::optional<std::string> liveUpdateDeploymentKey, std::optional<std::string> liveUpdatePackageHash);

    std::optional<std::string> wrapperSdkVersion;
    std::optional<std::string> wrapperSdkName;
    std::optional<std::string> wrapperRuntimeVersion;
    std::optional<std::string> liveUpdateReleaseLabel;
    std::optional<std::string> liveUpdateDeploymentKey;
    std::optional<std::string> liveUpdatePackageHash;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    bool isValid() const override { return true; }
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

} // namespace ze
