#include "sdk/telemetry/Internals/Model/CommonSchema/ZECSExtensions.h"

namespace ze {

namespace {

void put(ZEJson& json, const char* key, const std::shared_ptr<ZECSExtension>& ext)
{
    if (ext) {
        ZEJson value = ext->serializeToDictionary();
        if (!value.is_null()) {
            json[key] = std::move(value);
        }
    }
}

} // namespace

ZEJson ZECSExtensions::serializeToDictionary() const
{
    ZEJson json = ZEJson::object();
    put(json, "metadata", metadataExt);
    put(json, "protocol", protocolExt);
    put(json, "user", userExt);
    put(json, "device", deviceExt);
    put(json, "os", osExt);
    put(json, "app", appExt);
    put(json, "net", netExt);
    put(json, "sdk", sdkExt);
    put(json, "loc", locExt);
    return json;
}

bool ZECSExtensions::isValid() const
{
    const std::pair<const char*, std::shared_ptr<ZECSExtension>> fields[] = {
        {"metadataExt", metadataExt}, {"protocolExt", protocolExt}, {"userExt", userExt},
        {"deviceExt", deviceExt}, {"osExt", osExt}, {"appExt", appExt}, {"netExt", netExt},
        {"sdkExt", sdkExt}, {"locExt", locExt}};
    for (const auto& [name, ext] : fields) {
        if (ext && !ext->isValid()) {
            ZELogInvalidField(kClassName, name);
            return false;
        }
    }
    return true;
}

bool ZECSExtensions::isEqual(const ZESerializableObject& other) const
{
    const auto* ext = dynamic_cast<const ZECSExtensions*>(&other);
    return ext && ZEEqualObjects(metadataExt, ext->metadataExt) && ZEEqualObjects(protocolExt, ext->protocolExt)
        && ZEEqualObjects(userExt, ext->userExt) && ZEEqualObjects(deviceExt, ext->deviceExt)
        && ZEEqualObjects(osExt, ext->osExt) && ZEEqualObjects(appExt, ext->appExt)
        && ZEEqualObjects(netExt, ext->netExt) && ZEEqualObjects(sdkExt, ext->sdkExt)
        && ZEEqualObjects(locExt, ext->locExt);
}

void ZECSExtensions::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    coder.encodeObject("metadata", metadataExt);
    coder.encodeObject("protocol", protocolExt);
    coder.encodeObject("user", userExt);
    coder.encodeObject("device", deviceExt);
    coder.encodeObject("os", osExt);
    coder.encodeObject("app", appExt);
    coder.encodeObject("net", netExt);
    coder.encodeObject("sdk", sdkExt);
    coder.encodeObject("loc", locExt);
}

void ZECSExtensions::initWithCoder(ZEKeyedUnarchiver& coder)
{
    metadataExt = coder.decodeObject<ZEMetadataExtension>("metadata");
    protocolExt = coder.decodeObject<ZEProtocolExtension>("protocol");
    userExt = coder.decodeObject<ZEUserExtension>("user");
    deviceExt = coder.decodeObject<ZEDeviceExtension>("device");
    osExt = coder.decodeObject<ZEOSExtension>("os");
    appExt = coder.decodeObject<ZEAppExtension>("app");
    netExt = coder.decodeObject<ZENetExtension>("net");
    sdkExt = coder.decodeObject<ZESDKExtension>("sdk");
    locExt = coder.decodeObject<ZELocExtension>("loc");
}

} // namespace ze
