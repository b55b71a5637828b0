#include "sdk/telemetry/Model/ZEWrapperSdk.h"

namespace ze {

ZEWrapperSdk::ZEWrapperSdk(std::optional<std::string> wrapperSdkVersion_, std::optional<std::string> wrapperSdkName_,
    std::optional<std::string> wrapperRuntimeVersion_, std::optional<std::string> liveUpdateReleaseLabel_,
    std::optional<std::string> liveUpdateDeploymentKey_, std::optional<std::string> liveUpdatePackageHash_)
    : wrapperSdkVersion(std::move(wrapperSdkVersion_))
    , wrapperSdkName(std::move(wrapperSdkName_))
    , wrapperRuntimeVersion(std::move(wrapperRuntimeVersion_))
    , liveUpdateReleaseLabel(std::move(liveUpdateReleaseLabel_))
    , liveUpdateDeploymentKey(std::move(liveUpdateDeploymentKey_))
    , liveUpdatePackageHash(std::move(liveUpdatePackageHash_))
{
}

ZEJson ZEWrapperSdk::serializeToDictionary() const
{
    ZEJson json = ZEJson::object();
    ZESetIfPresent(json, "wrapperSdkVersion", wrapperSdkVersion);
    ZESetIfPresent(json, "wrapperSdkName", wrapperSdkName);
    ZESetIfPresent(json, "wrapperRuntimeVersion", wrapperRuntimeVersion);
    ZESetIfPresent(json, "liveUpdateReleaseLabel", liveUpdateReleaseLabel);
    ZESetIfPresent(json, "liveUpdateDeploymentKey", liveUpdateDeploymentKey);
    ZESetIfPresent(json, "liveUpdatePackageHash", liveUpdatePackageHash);
    return json;
}

bool ZEWrapperSdk::isEqual(const ZESerializableObject& other) const
{
    const auto* sdk = dynamic_cast<const ZEWrapperSdk*>(&other);
    return sdk && wrapperSdkVersion == sdk->wrapperSdkVersion && wrapperSdkName == sdk->wrapperSdkName
        && wrapperRuntimeVersion == sdk->wrapperRuntimeVersion && liveUpdateReleaseLabel == sdk->liveUpdateReleaseLabel
        && liveUpdateDeploymentKey == sdk->liveUpdateDeploymentKey && liveUpdatePackageHash == sdk->liveUpdatePackageHash;
}

void ZEWrapperSdk::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    coder.encodeString("wrapperSdkVersion", wrapperSdkVersion);
    coder.encodeString("wrapperSdkName", wrapperSdkName);
    coder.encodeString("wrapperRuntimeVersion", wrapperRuntimeVersion);
    coder.encodeString("liveUpdateReleaseLabel", liveUpdateReleaseLabel);
    coder.encodeString("liveUpdateDeploymentKey", liveUpdateDeploymentKey);
    coder.encodeString("liveUpdatePackageHash", liveUpdatePackageHash);
}

void ZEWrapperSdk::initWithCoder(ZEKeyedUnarchiver& coder)
{
    wrapperSdkVersion = coder.decodeString("wrapperSdkVersion");
    wrapperSdkName = coder.decodeString("wrapperSdkName");
    wrapperRuntimeVersion = coder.decodeString("wrapperRuntimeVersion");
    liveUpdateReleaseLabel = coder.decodeString("liveUpdateReleaseLabel");
    liveUpdateDeploymentKey = coder.decodeString("liveUpdateDeploymentKey");
    liveUpdatePackageHash = coder.decodeString("liveUpdatePackageHash");
}

} // namespace ze
